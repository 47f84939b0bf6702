#include <QtCore/QJsonDocument>
#include <QtTest/QtTest>

#include "checkservice.h"

// The simulated check service reads requests as the real one does: whatever a client sends, it
// answers later, through the event loop, with the request's uid, and never crashes.
class tst_CheckService : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void answersTheFirstStep();
    void refusesRequests_data();
    void refusesRequests();
    void completesWithTheRightCode_data();
    void completesWithTheRightCode();
    void scriptedAnswers_data();
    void scriptedAnswers();
    void duplicatesArriveOneByOne();
    void leavesUnansweredRequestsAlone();
    void answersInTheOrderOfTheirDelays();

private:
    QVariantMap answerTo(const QVariantMap &request);

    CheckServiceBehaviour behaviour;
};

namespace {

const QString Uid = QStringLiteral("1234567890");

QVariantMap entry(const QString &name, const QVariant &value)
{
    return QVariantMap{{QStringLiteral("name"), name}, {QStringLiteral("value"), value}};
}

// A check request as the pay screen puts it on the bus.
QVariantMap request(const QVariant &step, const QVariantList &payParamList, const QString &uid = Uid)
{
    const QVariantMap checkdata{{QStringLiteral("currentStep"), step},
                                {QStringLiteral("payParamList"), payParamList}};
    return QVariantMap{
        {QStringLiteral("code"), QStringLiteral("check")},
        {QStringLiteral("uid"), uid},
        {QStringLiteral("msgType"), QStringLiteral("tavrinPluginRequest")},
        {QStringLiteral("params"), QVariantMap{{QStringLiteral("checkdata"),
            QString::fromUtf8(QJsonDocument::fromVariant(checkdata).toJson(QJsonDocument::Compact))}}},
    };
}

QVariantMap firstStep(const QString &msisdn = QStringLiteral("79161234567"))
{
    return request(QStringLiteral("1"), {entry(QStringLiteral("msisdn"), msisdn)});
}

QVariantMap secondStep(const QVariant &code, const QString &msisdn = QStringLiteral("79161234567"))
{
    return request(QStringLiteral("2"), {entry(QStringLiteral("msisdn"), msisdn),
                                         entry(QStringLiteral("smscode"), code)});
}

QVariantMap withCheckdata(const QVariant &checkdata)
{
    QVariantMap changed = firstStep();
    changed.insert(QStringLiteral("params"), QVariantMap{{QStringLiteral("checkdata"), checkdata}});
    return changed;
}

QVariantMap body(const QVariantMap &answer)
{
    return answer.value(QStringLiteral("message")).toMap();
}

QVariantMap step(const QVariantMap &answer)
{
    return body(answer).value(QStringLiteral("params")).toMap();
}

} // namespace

void tst_CheckService::init()
{
    behaviour = CheckServiceBehaviour();
    behaviour.delay = 0;
    behaviour.msisdn = QStringLiteral("79161234567");
    behaviour.smsCode = QStringLiteral("4827");
    behaviour.wrongCodeDescription = QStringLiteral("Неверный код");
    behaviour.parameters = {QVariantMap{{QStringLiteral("name"), QStringLiteral("surname")},
                                        {QStringLiteral("value"), QStringLiteral("Иванова")}},
                            QVariantMap{{QStringLiteral("name"), QStringLiteral("smscode")},
                                        {QStringLiteral("isEditable"), true}}};
    behaviour.completion = {QVariantMap{{QStringLiteral("name"), QStringLiteral("surname")},
                                        {QStringLiteral("value"), QStringLiteral("Иванова")}}};
}

QVariantMap tst_CheckService::answerTo(const QVariantMap &message)
{
    CheckService service(behaviour);
    QSignalSpy answers(&service, &CheckService::answerReady);
    service.handleRequest(firstStep());
    if (!answers.wait(5000))
        return QVariantMap();
    answers.clear();
    service.handleRequest(message);
    if (!answers.wait(5000))
        return QVariantMap();
    return answers.first().first().toMap();
}

void tst_CheckService::answersTheFirstStep()
{
    CheckService service(behaviour);
    QSignalSpy answers(&service, &CheckService::answerReady);
    QSignalSpy sms(&service, &CheckService::smsSent);
    service.handleRequest(firstStep());
    QCOMPARE(answers.count(), 0); // never inside the send
    QCOMPARE(service.pendingAnswers(), 1);
    QVERIFY(answers.wait(5000));

    const QVariantMap answer = answers.first().first().toMap();
    QCOMPARE(body(answer).value(QStringLiteral("uid")).toString(), Uid);
    QCOMPARE(body(answer).value(QStringLiteral("msgType")).toString(), QStringLiteral("tavrinPluginRequest"));
    QCOMPARE(body(answer).value(QStringLiteral("result")).toInt(), 0);
    QCOMPARE(body(answer).value(QStringLiteral("error")).toBool(), false);
    QCOMPARE(step(answer).value(QStringLiteral("isCompleted")).toBool(), true);
    QCOMPARE(step(answer).value(QStringLiteral("currentStep")).toInt(), 1);
    QCOMPARE(step(answer).value(QStringLiteral("payParamList")).toList(), behaviour.parameters);
    QCOMPARE(sms.count(), 1);
    QCOMPARE(sms.first().at(1).toString(), QStringLiteral("4827"));
}

void tst_CheckService::refusesRequests_data()
{
    QTest::addColumn<QVariantMap>("message");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("statusDescription");

    QVariantMap changed = firstStep();
    changed.remove(QStringLiteral("uid"));
    QTest::newRow("no uid") << changed << int(CheckService::BadRequestResult) << QString();
    changed = firstStep();
    changed.insert(QStringLiteral("code"), QStringLiteral("pay"));
    QTest::newRow("code other than check") << changed << int(CheckService::BadRequestResult) << QString();
    changed = firstStep();
    changed.remove(QStringLiteral("params"));
    QTest::newRow("no params") << changed << int(CheckService::BadRequestResult) << QString();
    QTest::newRow("checkdata as a map") << withCheckdata(QVariantMap{{QStringLiteral("currentStep"), 1}})
                                        << int(CheckService::BadRequestResult) << QString();
    QTest::newRow("checkdata not JSON") << withCheckdata(QStringLiteral("{\"currentStep\":"))
                                        << int(CheckService::BadRequestResult) << QString();
    QTest::newRow("checkdata a JSON list") << withCheckdata(QStringLiteral("[1,2]"))
                                           << int(CheckService::BadRequestResult) << QString();
    QTest::newRow("no current step")
        << withCheckdata(QStringLiteral("{\"payParamList\":[]}")) << int(CheckService::BadRequestResult) << QString();
    QTest::newRow("step 3") << request(QStringLiteral("3"), {entry(QStringLiteral("msisdn"), QStringLiteral("79161234567"))})
                            << int(CheckService::BadRequestResult) << QString();
    QTest::newRow("step 1.5") << request(1.5, {}) << int(CheckService::BadRequestResult) << QString();
    QTest::newRow("payParamList not a list")
        << withCheckdata(QStringLiteral("{\"currentStep\":\"1\",\"payParamList\":{}}"))
        << int(CheckService::BadRequestResult) << QString();
    QTest::newRow("entry without a name")
        << withCheckdata(QStringLiteral("{\"currentStep\":\"1\",\"payParamList\":[{\"value\":\"79161234567\"}]}"))
        << int(CheckService::BadRequestResult) << QString();

    QTest::newRow("number of nine digits") << firstStep(QStringLiteral("7916123456")) << 0
                                           << QStringLiteral("Неверный номер телефона");
    QTest::newRow("number with 8 in front") << firstStep(QStringLiteral("89161234567")) << 0
                                            << QStringLiteral("Неверный номер телефона");
    QTest::newRow("number with letters") << firstStep(QStringLiteral("7916123456a")) << 0
                                         << QStringLiteral("Неверный номер телефона");
    QTest::newRow("number as a JSON number") << request(QStringLiteral("1"), {entry(QStringLiteral("msisdn"), 79161234567.0)})
                                             << 0 << QStringLiteral("Неверный номер телефона");
    QTest::newRow("no number") << request(QStringLiteral("1"), {}) << 0 << QStringLiteral("Неверный номер телефона");
    QTest::newRow("unknown customer") << firstStep(QStringLiteral("79990000000")) << 0
                                      << QStringLiteral("Абонент не найден");
    QTest::newRow("wrong code") << secondStep(QStringLiteral("1111")) << 0 << QStringLiteral("Неверный код");
    QTest::newRow("code as a number") << secondStep(4827.5) << 0 << QStringLiteral("Неверный код");
    QTest::newRow("code null") << secondStep(QVariant()) << 0 << QStringLiteral("Не указан код подтверждения");
    QTest::newRow("no code entry")
        << request(QStringLiteral("2"), {entry(QStringLiteral("msisdn"), QStringLiteral("79161234567"))})
        << 0 << QStringLiteral("Не указан код подтверждения");
}

void tst_CheckService::refusesRequests()
{
    QFETCH(QVariantMap, message);
    QFETCH(int, result);
    QFETCH(QString, statusDescription);

    const QVariantMap answer = answerTo(message);
    QVERIFY(!answer.isEmpty());
    QCOMPARE(body(answer).value(QStringLiteral("uid")).toString(), message.value(QStringLiteral("uid")).toString());
    QCOMPARE(body(answer).value(QStringLiteral("result")).toInt(), result);
    if (result != 0) {
        QCOMPARE(body(answer).value(QStringLiteral("error")).toBool(), true);
        QVERIFY(!body(answer).value(QStringLiteral("resultDescription")).toString().isEmpty());
    } else {
        QCOMPARE(body(answer).value(QStringLiteral("error")).toBool(), false);
        QCOMPARE(step(answer).value(QStringLiteral("isError")).toBool(), true);
        QCOMPARE(step(answer).value(QStringLiteral("isCompleted")).toBool(), false);
        QCOMPARE(step(answer).value(QStringLiteral("statusDescription")).toString(), statusDescription);
    }
}

void tst_CheckService::completesWithTheRightCode_data()
{
    QTest::addColumn<QVariant>("stepValue");
    QTest::addColumn<QString>("knownNumber");
    QTest::addColumn<QString>("expectedCode");

    QTest::newRow("step as text, as the plugin sends it") << QVariant(QStringLiteral("2"))
                                                          << QStringLiteral("79161234567") << QStringLiteral("4827");
    QTest::newRow("step as a number") << QVariant(2) << QStringLiteral("79161234567") << QStringLiteral("4827");
    QTest::newRow("any number and any code") << QVariant(QStringLiteral("2")) << QString() << QString();
}

void tst_CheckService::completesWithTheRightCode()
{
    QFETCH(QVariant, stepValue);
    QFETCH(QString, knownNumber);
    QFETCH(QString, expectedCode);
    behaviour.msisdn = knownNumber;
    behaviour.smsCode = expectedCode;

    const QVariantMap answer = answerTo(request(stepValue, {entry(QStringLiteral("msisdn"), QStringLiteral("79161234567")),
                                                            entry(QStringLiteral("smscode"), QStringLiteral("4827"))}));
    QCOMPARE(body(answer).value(QStringLiteral("result")).toInt(), 0);
    QCOMPARE(step(answer).value(QStringLiteral("isError")).toBool(), false);
    QCOMPARE(step(answer).value(QStringLiteral("isCompleted")).toBool(), true);
    QCOMPARE(step(answer).value(QStringLiteral("currentStep")).toInt(), 2);
    QCOMPARE(step(answer).value(QStringLiteral("payParamList")).toList(), behaviour.completion);
}

void tst_CheckService::scriptedAnswers_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("error");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("stepError");
    QTest::addColumn<bool>("completed");

    using Kind = CheckServiceBehaviour::AnswerKind;
    QTest::newRow("result error") << int(Kind::ResultError) << true << 5 << false << false;
    QTest::newRow("error without a result") << int(Kind::Error) << true << 0 << false << false;
    QTest::newRow("step error") << int(Kind::StepError) << false << 0 << true << false;
    QTest::newRow("incomplete step") << int(Kind::Incomplete) << false << 0 << false << false;
    QTest::newRow("normal") << int(Kind::Normal) << false << 0 << false << true;
}

void tst_CheckService::scriptedAnswers()
{
    QFETCH(int, kind);
    QFETCH(bool, error);
    QFETCH(int, result);
    QFETCH(bool, stepError);
    QFETCH(bool, completed);

    CheckServiceBehaviour::Rule rule;
    rule.request = 1;
    rule.answer = CheckServiceBehaviour::AnswerKind(kind);
    rule.result = 5;
    rule.statusDescription = QStringLiteral("Сбой шага");
    behaviour.rules = {rule};
    CheckService service(behaviour);
    QSignalSpy answers(&service, &CheckService::answerReady);
    service.handleRequest(firstStep());
    QVERIFY(answers.wait(5000));

    const QVariantMap answer = answers.first().first().toMap();
    QCOMPARE(body(answer).value(QStringLiteral("uid")).toString(), Uid);
    QCOMPARE(body(answer).value(QStringLiteral("error")).toBool(), error);
    QCOMPARE(body(answer).value(QStringLiteral("result")).toInt(), result);
    QCOMPARE(step(answer).value(QStringLiteral("isError")).toBool(), stepError);
    QCOMPARE(step(answer).value(QStringLiteral("isCompleted")).toBool(), completed);
    QCOMPARE(step(answer).value(QStringLiteral("currentStep")).toInt(), 1);
}

void tst_CheckService::duplicatesArriveOneByOne()
{
    CheckServiceBehaviour::Rule rule;
    rule.request = 1;
    rule.duplicates = 2;
    behaviour.rules = {rule};
    CheckService service(behaviour);
    QSignalSpy answers(&service, &CheckService::answerReady);
    // Each copy must come in an event of its own, as a broker delivers them.
    int deliveriesInOneEvent = 0;
    int maximum = 0;
    connect(&service, &CheckService::answerReady, this, [&] {
        maximum = qMax(maximum, ++deliveriesInOneEvent);
        QTimer::singleShot(0, this, [&] { deliveriesInOneEvent = 0; });
    });
    service.handleRequest(firstStep());
    QCOMPARE(service.pendingAnswers(), 3);
    QTRY_COMPARE_WITH_TIMEOUT(answers.count(), 3, 5000);
    QCOMPARE(answers.at(2).first().toMap(), answers.at(0).first().toMap());
    QCOMPARE(maximum, 1);
    QCOMPARE(service.pendingAnswers(), 0);
}

void tst_CheckService::leavesUnansweredRequestsAlone()
{
    CheckServiceBehaviour::Rule rule;
    rule.request = 1;
    rule.answer = CheckServiceBehaviour::AnswerKind::None;
    behaviour.rules = {rule};
    CheckService service(behaviour);
    QSignalSpy answers(&service, &CheckService::answerReady);
    service.handleRequest(firstStep());
    QCOMPARE(service.pendingAnswers(), 0);
    // The next request is the service's own again.
    service.handleRequest(firstStep());
    QCOMPARE(service.requestCount(), 2);
    QVERIFY(answers.wait(5000));
    QCOMPARE(answers.count(), 1);
}

void tst_CheckService::answersInTheOrderOfTheirDelays()
{
    behaviour.delay = 30;
    CheckServiceBehaviour::Rule quick;
    quick.request = 2;
    quick.answer = CheckServiceBehaviour::AnswerKind::ResultError;
    quick.delay = 0;
    behaviour.rules = {quick};
    CheckService service(behaviour);
    service.setTimeScale(0.001);
    QSignalSpy answers(&service, &CheckService::answerReady);
    service.handleRequest(request(QStringLiteral("1"), {entry(QStringLiteral("msisdn"), QStringLiteral("79161234567"))},
                                  QStringLiteral("first")));
    service.handleRequest(request(QStringLiteral("1"), {entry(QStringLiteral("msisdn"), QStringLiteral("79161234567"))},
                                  QStringLiteral("second")));
    QTRY_COMPARE_WITH_TIMEOUT(answers.count(), 2, 5000);
    QCOMPARE(body(answers.at(0).first().toMap()).value(QStringLiteral("uid")).toString(), QStringLiteral("second"));
    QCOMPARE(body(answers.at(1).first().toMap()).value(QStringLiteral("uid")).toString(), QStringLiteral("first"));
}

QTEST_GUILESS_MAIN(tst_CheckService)
#include "tst_checkservice.moc"
