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
    void answers_data();
    void answers();
    void duplicatesArriveOneByOne();
    void leavesUnansweredRequestsAlone();
    void answersInTheOrderOfTheirDelays();

private:
    CheckServiceBehaviour behaviour;
};

namespace {

const QString Uid = QStringLiteral("1234567890");
const QString Msisdn = QStringLiteral("79161234567");
using Kind = CheckServiceBehaviour::AnswerKind;

QVariantMap entry(const QString &name, const QVariant &value)
{
    return {{"name", name}, {"value", value}};
}

// A check request as the pay screen puts it on the bus.
QVariantMap request(const QVariant &step, const QVariantList &payParamList, const QString &uid = Uid)
{
    const QVariantMap checkdata{{"currentStep", step}, {"payParamList", payParamList}};
    const QString json = QString::fromUtf8(QJsonDocument::fromVariant(checkdata).toJson(QJsonDocument::Compact));
    return {{"code", "check"}, {"uid", uid}, {"msgType", "tavrinPluginRequest"},
            {"params", QVariantMap{{"checkdata", json}}}};
}

QVariantMap firstStep(const QVariant &msisdn = Msisdn)
{
    return request("1", {entry("msisdn", msisdn)});
}

QVariantMap secondStep(const QVariant &code)
{
    return request("2", {entry("msisdn", Msisdn), entry("smscode", code)});
}

CheckServiceBehaviour::Rule rule(int request, Kind answer, int duplicates = 0)
{
    CheckServiceBehaviour::Rule rule;
    rule.request = request;
    rule.answer = answer;
    rule.duplicates = duplicates;
    return rule;
}

QVariantMap with(QVariantMap map, const QString &key, const QVariant &value)
{
    if (value.isValid())
        map.insert(key, value);
    else
        map.remove(key);
    return map;
}

QVariantMap withCheckdata(const QVariant &checkdata)
{
    return with(firstStep(), "params", QVariantMap{{"checkdata", checkdata}});
}

QVariantMap body(const QVariantMap &answer)
{
    return answer.value("message").toMap();
}

// The answer in one line: its flags and result, then its step data with the parameters' names.
QString summary(const QVariantMap &answer)
{
    const QVariantMap step = body(answer).value("params").toMap();
    QStringList names;
    for (const QVariant &parameter : step.value("payParamList").toList())
        names << parameter.toMap().value("name").toString();
    return QStringLiteral("error=%1 result=%2 | step=%3 completed=%4 failed=%5 status=%6 params=%7")
        .arg(body(answer).value("error").toString(), body(answer).value("result").toString(),
             step.value("currentStep").toString(), step.value("isCompleted").toString(),
             step.value("isError").toString(), step.value("statusDescription").toString(), names.join(','));
}

const QString Refused = QStringLiteral("error=true result=400 | step= completed= failed= status= params=");

QString stepError(int step, const QString &status)
{
    return QStringLiteral("error=false result=0 | step=%1 completed=false failed=true status=%2 params=")
        .arg(step).arg(status);
}

QString completed(int step, const QString &params)
{
    return QStringLiteral("error=false result=0 | step=%1 completed=true failed=false status= params=%2")
        .arg(step).arg(params);
}

} // namespace

void tst_CheckService::init()
{
    behaviour = CheckServiceBehaviour();
    behaviour.delay = 0;
    behaviour.msisdn = Msisdn;
    behaviour.smsCode = QStringLiteral("4827");
    behaviour.wrongCodeDescription = QStringLiteral("Неверный код");
    behaviour.parameters = {QVariantMap{{"name", "surname"}, {"value", "Иванова"}},
                            QVariantMap{{"name", "smscode"}, {"isEditable", true}}};
    behaviour.completion = {QVariantMap{{"name", "surname"}, {"value", "Иванова"}}};
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
    QCOMPARE(body(answer).value("uid").toString(), Uid);
    QCOMPARE(body(answer).value("msgType").toString(), "tavrinPluginRequest");
    QCOMPARE(summary(answer), completed(1, "surname,smscode"));
    QCOMPARE(body(answer).value("params").toMap().value("payParamList").toList(), behaviour.parameters);
    QCOMPARE(sms.first(), (QVariantList{Msisdn, "4827"}));
}

void tst_CheckService::answers_data()
{
    QTest::addColumn<QVariantMap>("message");
    // The service's answer to its second request, scripted or on its own (-1).
    QTest::addColumn<int>("scripted");
    QTest::addColumn<bool>("anyCustomer");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no uid") << with(firstStep(), "uid", QVariant()) << -1 << false << Refused;
    QTest::newRow("code other than check") << with(firstStep(), "code", "pay") << -1 << false << Refused;
    QTest::newRow("no params") << with(firstStep(), "params", QVariant()) << -1 << false << Refused;
    QTest::newRow("checkdata as a map")
        << withCheckdata(QVariantMap{{"currentStep", 1}}) << -1 << false << Refused;
    QTest::newRow("checkdata not JSON") << withCheckdata("{\"currentStep\":") << -1 << false << Refused;
    QTest::newRow("step 3") << request("3", {entry("msisdn", Msisdn)}) << -1 << false << Refused;
    QTest::newRow("step 1.5") << request(1.5, {}) << -1 << false << Refused;
    QTest::newRow("payParamList not a list")
        << withCheckdata("{\"currentStep\":\"1\",\"payParamList\":{}}") << -1 << false << Refused;
    QTest::newRow("entry without a name")
        << withCheckdata("{\"currentStep\":\"1\",\"payParamList\":[{\"value\":\"79161234567\"}]}") << -1 << false
        << Refused;

    const QString badNumber = QStringLiteral("Неверный номер телефона");
    QTest::newRow("number with 8 in front")
        << firstStep("89161234567") << -1 << false << stepError(1, badNumber);
    QTest::newRow("number as a JSON number")
        << firstStep(79161234567.0) << -1 << false << stepError(1, badNumber);
    QTest::newRow("unknown customer")
        << firstStep("79990000000") << -1 << false << stepError(1, "Абонент не найден");
    QTest::newRow("wrong code") << secondStep("1111") << -1 << false << stepError(2, "Неверный код");
    QTest::newRow("code null")
        << secondStep(QVariant()) << -1 << false << stepError(2, "Не указан код подтверждения");

    QTest::newRow("the right code, the step as a number")
        << request(2, {entry("msisdn", Msisdn), entry("smscode", "4827")}) << -1 << false
        << completed(2, "surname");
    QTest::newRow("any number and any code, for a service that knows no customer")
        << request("2", {entry("msisdn", "79990000000"), entry("smscode", "1")}) << -1 << true
        << completed(2, "surname");

    const QString scriptedPart = QStringLiteral(" | step=1 completed=false failed=%1 status=%2 params=");
    QTest::newRow("scripted result error") << firstStep() << int(Kind::ResultError) << false
                                           << "error=true result=5" + scriptedPart.arg("false", "");
    QTest::newRow("scripted error without a result") << firstStep() << int(Kind::Error) << false
                                                     << "error=true result=0" + scriptedPart.arg("false", "");
    QTest::newRow("scripted step error") << firstStep() << int(Kind::StepError) << false
                                         << "error=false result=0" + scriptedPart.arg("true", "Сбой шага");
    QTest::newRow("scripted incomplete step") << firstStep() << int(Kind::Incomplete) << false
                                              << "error=false result=0" + scriptedPart.arg("false", "Сбой шага");
}

void tst_CheckService::answers()
{
    QFETCH(QVariantMap, message);
    QFETCH(int, scripted);
    QFETCH(bool, anyCustomer);

    if (anyCustomer)
        behaviour.msisdn = behaviour.smsCode = QString();
    if (scripted >= 0) {
        behaviour.rules = {rule(2, Kind(scripted))};
        behaviour.rules[0].result = 5;
        behaviour.rules[0].statusDescription = QStringLiteral("Сбой шага");
    }
    CheckService service(behaviour);
    QSignalSpy answers(&service, &CheckService::answerReady);
    service.handleRequest(firstStep(anyCustomer ? "79990000000" : Msisdn));
    service.handleRequest(message);
    QTRY_COMPARE_WITH_TIMEOUT(answers.count(), 2, 5000);

    const QVariantMap answer = answers.last().first().toMap();
    QCOMPARE(body(answer).value("uid").toString(), message.value("uid").toString());
    QTEST(summary(answer), "expected");
    if (body(answer).value("result").toInt() == CheckService::BadRequestResult)
        QVERIFY(!body(answer).value("resultDescription").toString().isEmpty());
}

void tst_CheckService::duplicatesArriveOneByOne()
{
    behaviour.rules = {rule(1, Kind::Normal, 2)};
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
    behaviour.rules = {rule(1, Kind::None)};
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
    behaviour.rules = {rule(2, Kind::ResultError)};
    behaviour.rules[0].delay = 0;
    CheckService service(behaviour);
    service.setTimeScale(0.001);
    QSignalSpy answers(&service, &CheckService::answerReady);
    service.handleRequest(request("1", {entry("msisdn", Msisdn)}, "first"));
    service.handleRequest(request("1", {entry("msisdn", Msisdn)}, "second"));
    QTRY_COMPARE_WITH_TIMEOUT(answers.count(), 2, 5000);
    QCOMPARE(body(answers.at(0).first().toMap()).value("uid").toString(), "second");
    QCOMPARE(body(answers.at(1).first().toMap()).value("uid").toString(), "first");
}

QTEST_GUILESS_MAIN(tst_CheckService)
#include "tst_checkservice.moc"
