#include <QtTest/QtTest>

#include "dialoguedriver.h"

namespace {

const QString DataError = QStringLiteral("Ошибка запроса данных");
const QString TimeoutText = QStringLiteral("Превышен интервал ожидания ответа от сервера");

QString resultError(int result)
{
    return QStringLiteral("Ошибка обработки запроса (%1).Попробуйте поздее").arg(result);
}

QVariantMap editable(const QString &name, const QVariant &value = QString())
{
    return BusProbe::parameter(name, name, value, true);
}

QVariantMap skipped(const QString &name, const QVariant &value)
{
    return BusProbe::parameter(name, name, value, false);
}

const QVariantList SurnameAndCode{editable(QStringLiteral("surname")),
                                  editable(QStringLiteral("smscode"))};

} // namespace

// How the service's answers are matched to the pending request and what each one does.
class tst_AnswerDispatch : public QObject
{
    Q_OBJECT

public:
    enum Outcome { Cancels, Retries, AsksParameters, ShowsPayment };
    Q_ENUM(Outcome)

private slots:
    void init();
    void cleanup();
    void stateTable_data();
    void stateTable();
    void precedence_data();
    void precedence();
    void deliveredTwice_data();
    void deliveredTwice();
    void strayAnswerWithoutUid_data();
    void strayAnswerWithoutUid();
    void answerToReplacedRequestIsDropped();
    void backToPhoneScreenDropsPendingRequest();
    void retryAfterSecondStepError_data();
    void retryAfterSecondStepError();
    void everyParameterSkipped_data();
    void everyParameterSkipped();
    void nothingToAsk_data();
    void nothingToAsk();
    void waitingMessageTimesOut_data();
    void waitingMessageTimesOut();
    void lateCloseOfAnOldWaitingMessage_data();
    void lateCloseOfAnOldWaitingMessage();

private:
    bool reachFirstRequest();
    bool reachSecondRequest();
    // What an answer may change: requests sent, messages and screens shown, payment details
    // and cancellations asked for.
    QList<int> effects() const;

    QScopedPointer<DialogueDriver> d;
};

void tst_AnswerDispatch::init()
{
    d.reset(new DialogueDriver);
    QVERIFY2(d->fixture.isLoaded(), qPrintable(d->fixture.errorString()));
}

void tst_AnswerDispatch::cleanup()
{
    MessageWidgetController::setTimeScale(1.0);
    QTest::ignoreMessage(QtDebugMsg, "TavrinPluginHandler plugin destructor");
    d.reset();
}

bool tst_AnswerDispatch::reachFirstRequest()
{
    return d->start() && d->enter(QStringLiteral("9161234567")) && d->sentCount() == 1;
}

bool tst_AnswerDispatch::reachSecondRequest()
{
    if (!reachFirstRequest())
        return false;
    d->answerStep(1, true, SurnameAndCode);
    return d->enter(QStringLiteral("Петров")) && d->enter(QStringLiteral("1234"))
        && d->sentCount() == 2;
}

QList<int> tst_AnswerDispatch::effects() const
{
    return {d->sentCount(), d->shownMessages.size(), d->shownInputs.size(), d->payDetails(),
            d->cancels()};
}

void tst_AnswerDispatch::stateTable_data()
{
    QTest::addColumn<int>("pending");
    QTest::addColumn<QVariantMap>("body");
    QTest::addColumn<QVariantMap>("step");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Outcome>("outcome");

    const QVariantMap good{{QStringLiteral("error"), false}, {QStringLiteral("result"), 0}};
    const QVariantMap failed{{QStringLiteral("error"), true}, {QStringLiteral("result"), 0}};
    const QVariantMap result5{{QStringLiteral("error"), false}, {QStringLiteral("result"), 5}};
    auto step = [](int number, bool completed, bool error = false, const QString &status = QString()) {
        return QVariantMap{{QStringLiteral("currentStep"), number},
                           {QStringLiteral("isCompleted"), completed},
                           {QStringLiteral("isError"), error},
                           {QStringLiteral("statusDescription"), status},
                           {QStringLiteral("payParamList"), SurnameAndCode}};
    };

    QTest::newRow("result error on the first request cancels")
        << 1 << result5 << step(1, true) << resultError(5) << Cancels;
    QTest::newRow("result error on the second request cancels")
        << 2 << result5 << step(2, true) << resultError(5) << Cancels;
    QTest::newRow("complete first step asks the parameters")
        << 1 << good << step(1, true) << QString() << AsksParameters;
    QTest::newRow("complete second step shows the payment")
        << 2 << good << step(2, true) << QString() << ShowsPayment;
    QTest::newRow("first answer completing step two shows the payment at once")
        << 1 << good << step(2, true) << QString() << ShowsPayment;
    QTest::newRow("incomplete step on the first request cancels")
        << 1 << good << step(1, false) << DataError << Cancels;
    QTest::newRow("incomplete step on the second request cancels")
        << 2 << good << step(2, false) << DataError << Cancels;
    QTest::newRow("step error on the first request cancels")
        << 1 << good << step(1, true, true, QStringLiteral("Абонент не найден"))
        << QStringLiteral("Абонент не найден") << Cancels;
    QTest::newRow("error on the first request cancels")
        << 1 << failed << step(1, false) << DataError << Cancels;
    QTest::newRow("step error on the second request lets the customer retry")
        << 2 << good << step(2, false, true, QStringLiteral("Неверный код"))
        << QStringLiteral("Неверный код") << Retries;
    QTest::newRow("error on the second request lets the customer retry")
        << 2 << failed << step(2, false) << DataError << Retries;
}

void tst_AnswerDispatch::stateTable()
{
    QFETCH(int, pending);
    QFETCH(QVariantMap, body);
    QFETCH(QVariantMap, step);
    QFETCH(QString, text);
    QFETCH(Outcome, outcome);

    QVERIFY(pending == 1 ? reachFirstRequest() : reachSecondRequest());
    QPointer<MessageWidgetController> waiting = d->lastShownMessage().controller;
    const int messagesBefore = d->shownMessages.size();
    const int inputsBefore = d->shownInputs.size();

    d->answer(body, step);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY2(!waiting, "the waiting message outlived the answer");

    if (text.isEmpty()) {
        QCOMPARE(d->shownMessages.size(), messagesBefore);
    } else {
        QCOMPARE(d->shownMessages.size(), messagesBefore + 1);
        QCOMPARE(d->lastShownMessage().text, text);
        QCOMPARE(d->lastShownMessage().timeout, 60);
        QCOMPARE(d->lastShownMessage().buttons, 1);
        if (outcome == Retries)
            QTest::ignoreMessage(QtWarningMsg, "RETRY_INPUT_PARAMS 1");
        d->lastShownMessage().controller->accept();
    }

    QCOMPARE(d->cancels(), outcome == Cancels ? 1 : 0);
    QCOMPARE(d->payDetails(), outcome == ShowsPayment ? 1 : 0);
    QCOMPARE(d->sentCount(), pending);
    if (outcome == AsksParameters || outcome == Retries) {
        QCOMPARE(d->shownInputs.size(), inputsBefore + 1);
        QCOMPARE(d->lastShownInput().parameter.name(), QStringLiteral("surname"));
        // A retry shows what the customer entered before.
        QCOMPARE(d->lastShownInput().parameter.value(),
                 outcome == Retries ? QStringLiteral("Петров") : QString());
    } else {
        QCOMPARE(d->shownInputs.size(), inputsBefore);
    }
}

void tst_AnswerDispatch::precedence_data()
{
    QTest::addColumn<QVariantMap>("body");
    QTest::addColumn<QVariantMap>("step");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("dropped");

    const QVariantMap complete{{QStringLiteral("currentStep"), 1},
                               {QStringLiteral("isCompleted"), true},
                               {QStringLiteral("payParamList"), SurnameAndCode}};
    auto with = [](QVariantMap map, const QString &key, const QVariant &value) {
        map.insert(key, value);
        return map;
    };
    const QVariantMap good{{QStringLiteral("error"), false}, {QStringLiteral("result"), 0}};
    const QVariantMap failed = with(good, QStringLiteral("error"), true);
    const QVariantMap stepError = with(with(complete, QStringLiteral("isError"), true),
                                       QStringLiteral("statusDescription"), QStringLiteral("Неверные данные"));

    QTest::newRow("another plugin's message type is dropped")
        << with(good, QStringLiteral("msgType"), QStringLiteral("otherPluginRequest")) << complete
        << QString() << true;
    QTest::newRow("another uid is dropped")
        << with(good, QStringLiteral("uid"), QStringLiteral("1")) << complete << QString() << true;
    QTest::newRow("an empty uid is dropped")
        << with(good, QStringLiteral("uid"), QString()) << complete << QString() << true;
    QTest::newRow("result wins over a complete step")
        << with(good, QStringLiteral("result"), 3) << complete << resultError(3) << false;
    QTest::newRow("result wins over a step error")
        << with(good, QStringLiteral("result"), 4) << stepError << resultError(4) << false;
    QTest::newRow("a negative result keeps its sign")
        << with(good, QStringLiteral("result"), -7) << complete << resultError(-7) << false;
    QTest::newRow("a missing result reads as minus one")
        << QVariantMap{{QStringLiteral("error"), false}} << complete << resultError(-1) << false;
    QTest::newRow("a result sent as text zero is no failure")
        << with(good, QStringLiteral("result"), QStringLiteral("0")) << complete << QString() << false;
    QTest::newRow("error flag wins over a complete step")
        << failed << complete << DataError << false;
    QTest::newRow("a missing error flag reads as an error")
        << QVariantMap{{QStringLiteral("result"), 0}} << complete << DataError << false;
    QTest::newRow("step error wins over completion with its description")
        << good << stepError << QStringLiteral("Неверные данные") << false;
    QTest::newRow("step error without a description shows the fallback")
        << good << with(stepError, QStringLiteral("statusDescription"), QString()) << DataError << false;
    QTest::newRow("a description without a step error is not shown")
        << failed << with(complete, QStringLiteral("statusDescription"), QStringLiteral("Текст"))
        << DataError << false;
    QTest::newRow("the answer's own description is never shown")
        << with(with(failed, QStringLiteral("description"), QStringLiteral("Сбой")),
                QStringLiteral("resultDescription"), QStringLiteral("сервиса"))
        << complete << DataError << false;
}

void tst_AnswerDispatch::precedence()
{
    QFETCH(QVariantMap, body);
    QFETCH(QVariantMap, step);
    QFETCH(QString, text);
    QFETCH(bool, dropped);

    QVERIFY(reachFirstRequest());
    QPointer<MessageWidgetController> waiting = d->lastShownMessage().controller;
    const QList<int> before = effects();

    if (!body.contains(QStringLiteral("msgType")))
        body.insert(QStringLiteral("msgType"), QStringLiteral("tavrinPluginRequest"));
    if (!body.contains(QStringLiteral("uid")))
        body.insert(QStringLiteral("uid"), d->lastUid());
    // As the pay screen hands it over: the screen itself lets only its own type through.
    emit d->viewer()->incomingMessage(BusProbe::answer(body, step));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    if (dropped) {
        QCOMPARE(effects(), before);
        QVERIFY2(waiting && waiting->isOpen(), "a dropped answer closed the waiting message");
        // The request is still pending: its own answer still counts.
        d->answerStep(1, true, SurnameAndCode);
        QCOMPARE(d->lastShownInput().parameter.name(), QStringLiteral("surname"));
        return;
    }
    QVERIFY(!waiting);
    if (text.isEmpty()) {
        QCOMPARE(d->shownMessages.size(), before.at(1));
        QCOMPARE(d->lastShownInput().parameter.name(), QStringLiteral("surname"));
        return;
    }
    QCOMPARE(d->shownMessages.size(), before.at(1) + 1);
    QCOMPARE(d->lastShownMessage().text, text);
    QCOMPARE(d->shownInputs.size(), before.at(2));
    d->lastShownMessage().controller->reject();
    QCOMPARE(d->cancels(), 1);
}

void tst_AnswerDispatch::deliveredTwice_data()
{
    QTest::addColumn<QVariantMap>("step");
    QTest::addColumn<int>("pending");

    auto step = [](int number, bool completed, bool error) {
        return QVariantMap{{QStringLiteral("currentStep"), number},
                           {QStringLiteral("isCompleted"), completed},
                           {QStringLiteral("isError"), error},
                           {QStringLiteral("payParamList"), SurnameAndCode}};
    };
    QTest::newRow("first-step answer") << step(1, true, false) << 1;
    QTest::newRow("first-step error") << step(1, false, true) << 1;
    QTest::newRow("second-step error") << step(2, false, true) << 2;
    QTest::newRow("completing answer") << step(2, true, false) << 2;
}

void tst_AnswerDispatch::deliveredTwice()
{
    QFETCH(QVariantMap, step);
    QFETCH(int, pending);

    QVERIFY(pending == 1 ? reachFirstRequest() : reachSecondRequest());
    const QVariantMap answer = BusProbe::answer(
        QVariantMap{{QStringLiteral("msgType"), QStringLiteral("tavrinPluginRequest")},
                    {QStringLiteral("uid"), d->lastUid()},
                    {QStringLiteral("error"), false},
                    {QStringLiteral("result"), 0}},
        step);
    d->fixture.bus.answerNow(answer);
    const QList<int> once = effects();
    d->fixture.bus.answerNow(answer);
    QCOMPARE(effects(), once);
}

void tst_AnswerDispatch::strayAnswerWithoutUid_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QVariantMap>("body");

    const QVariantMap completing{{QStringLiteral("error"), false}, {QStringLiteral("result"), 0},
                                 {QStringLiteral("uid"), QString()}};
    const QVariantMap failing{{QStringLiteral("error"), false}, {QStringLiteral("result"), 9},
                              {QStringLiteral("uid"), QString()}};
    const QStringList states{QStringLiteral("on the phone screen"),
                             QStringLiteral("during the parameter entry"),
                             QStringLiteral("under an error message")};
    for (const QString &state : states) {
        QTest::addRow("completing answer %s", qPrintable(state)) << state << completing;
        QTest::addRow("result error %s", qPrintable(state)) << state << failing;
    }
}

void tst_AnswerDispatch::strayAnswerWithoutUid()
{
    QFETCH(QString, state);
    QFETCH(QVariantMap, body);

    if (state == QLatin1String("on the phone screen")) {
        QVERIFY(d->start());
    } else {
        QVERIFY(reachFirstRequest());
        if (state == QLatin1String("during the parameter entry"))
            d->answerStep(1, true, SurnameAndCode);
        else
            d->answer(QVariantMap{{QStringLiteral("result"), 2}});
    }
    const QList<int> before = effects();
    d->answer(body, QVariantMap{{QStringLiteral("currentStep"), 2},
                                {QStringLiteral("isCompleted"), true}});
    QCOMPARE(effects(), before);
}

void tst_AnswerDispatch::answerToReplacedRequestIsDropped()
{
    QVERIFY(reachFirstRequest());
    const QString firstUid = d->lastUid();
    // Next pressed again on the phone screen under the waiting message: the same request at
    // another moment still gets a uid of its own.
    d->lastShownInput().controller->next();
    QCOMPARE(d->sentCount(), 2);
    QCOMPARE(d->fixture.bus.sent.at(1).value(QStringLiteral("params")),
             d->fixture.bus.sent.at(0).value(QStringLiteral("params")));
    QVERIFY(d->lastUid() != firstUid);
    QCOMPARE(d->fixture.messages().size(), 1);

    const QList<int> before = effects();
    d->fixture.bus.answerNow(BusProbe::stepAnswer(firstUid, 1, true, SurnameAndCode));
    QCOMPARE(effects(), before);

    d->answerStep(1, true, SurnameAndCode);
    QCOMPARE(d->lastShownInput().parameter.name(), QStringLiteral("surname"));
}

void tst_AnswerDispatch::backToPhoneScreenDropsPendingRequest()
{
    QVERIFY(reachSecondRequest());
    QPointer<MessageWidgetController> waiting = d->lastShownMessage().controller;
    for (int i = 0; i < 3; ++i)
        QVERIFY(d->back());
    QCOMPARE(d->lastShownInput().parameter.name(), QStringLiteral("phone"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY2(!waiting, "the waiting message stayed over the phone screen");

    const QList<int> before = effects();
    d->answerStep(2, true);
    QCOMPARE(effects(), before);

    // The next attempt files nothing of the one left.
    QVERIFY(d->enter(QStringLiteral("9160000000")));
    d->answerStep(1, true, QVariantList{editable(QStringLiteral("smscode"))});
    QVERIFY(d->enter(QStringLiteral("1234")));
    d->answerStep(2, true);
    QCOMPARE(d->payDetails(), 1);
    QCOMPARE(d->fixture.provider->parameters().at(0).value(), QStringLiteral("9160000000"));
    QCOMPARE(d->fixture.provider->parameters().at(1).value(), QString());
}

void tst_AnswerDispatch::retryAfterSecondStepError_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("message confirmed") << 1;
    QTest::newRow("message timed out") << 0;
    QTest::newRow("message closed with another code") << 7;
}

void tst_AnswerDispatch::retryAfterSecondStepError()
{
    QFETCH(int, code);

    QVERIFY(reachSecondRequest());
    d->answer(QVariantMap{{QStringLiteral("error"), false}, {QStringLiteral("result"), 0}},
              QVariantMap{{QStringLiteral("isError"), true},
                          {QStringLiteral("statusDescription"), QStringLiteral("Неверный код")}});
    QCOMPARE(d->lastShownMessage().text, QStringLiteral("Неверный код"));
    QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("RETRY_INPUT_PARAMS %1").arg(code)));
    d->lastShownMessage().controller->close(code);

    QCOMPARE(d->cancels(), 0);
    QCOMPARE(d->sentCount(), 2);
    QCOMPARE(d->lastShownInput().parameter.name(), QStringLiteral("surname"));
    QCOMPARE(d->lastShownInput().parameter.value(), QStringLiteral("Петров"));
    QCOMPARE(d->fixture.inputs().size(), 1);

    QVERIFY(d->enter(QStringLiteral("Петров")));
    QCOMPARE(d->lastShownInput().parameter.value(), QStringLiteral("1234"));
    QVERIFY(d->enter(QStringLiteral("4321")));
    QCOMPARE(d->sentCount(), 3);
    const QVariantList sentParams = d->fixture.bus.lastCheckData().value(QStringLiteral("payParamList")).toList();
    QCOMPARE(sentParams.value(1).toMap().value(QStringLiteral("value")).toString(), QStringLiteral("4321"));

    d->answerStep(2, true);
    QCOMPARE(d->payDetails(), 1);
    QCOMPARE(d->fixture.provider->parameters().at(1).value(), QStringLiteral("Петров"));
}

void tst_AnswerDispatch::everyParameterSkipped_data()
{
    QTest::addColumn<bool>("completes");
    QTest::newRow("the second request's completion is accepted") << true;
    QTest::newRow("the second request's error cancels rather than resends") << false;
}

void tst_AnswerDispatch::everyParameterSkipped()
{
    QFETCH(bool, completes);

    QVERIFY(reachFirstRequest());
    d->answerStep(1, true, QVariantList{skipped(QStringLiteral("surname"), QStringLiteral("Петров")),
                                        skipped(QStringLiteral("smscode"), QStringLiteral("0000"))});
    // Nothing to ask: the second request leaves at once.
    QCOMPARE(d->sentCount(), 2);
    QCOMPARE(d->shownInputs.size(), 1);
    QCOMPARE(d->fixture.bus.lastCheckData().value(QStringLiteral("currentStep")).toString(),
             QStringLiteral("2"));

    if (completes) {
        d->answerStep(2, true);
        QCOMPARE(d->payDetails(), 1);
        QCOMPARE(d->fixture.provider->parameters().at(1).value(), QStringLiteral("Петров"));
        return;
    }
    d->answer(QVariantMap{{QStringLiteral("error"), true}, {QStringLiteral("result"), 0}});
    QCOMPARE(d->lastShownMessage().text, DataError);
    const int messages = d->shownMessages.size();
    d->lastShownMessage().controller->accept();
    QCOMPARE(d->cancels(), 1);
    QCOMPARE(d->sentCount(), 2);
    QCOMPARE(d->shownMessages.size(), messages);
}

void tst_AnswerDispatch::nothingToAsk_data()
{
    QTest::addColumn<bool>("withCard");
    QTest::newRow("provider without a card number shows an error") << false;
    QTest::newRow("provider with a card number asks for it") << true;
}

void tst_AnswerDispatch::nothingToAsk()
{
    QFETCH(bool, withCard);

    if (withCard)
        d->fixture.provider.reset(PluginFixture::make3105Provider());
    QVERIFY(reachFirstRequest());
    d->answerStep(1, true);

    if (withCard) {
        QCOMPARE(d->lastShownInput().parameter.name(), QStringLiteral("card_num"));
        QVERIFY(d->lastShownInput().parameter.mask().isEmpty());
        return;
    }
    QCOMPARE(d->sentCount(), 1);
    QCOMPARE(d->lastShownMessage().text, DataError);
    QCOMPARE(d->lastShownMessage().timeout, 60);
    QCOMPARE(d->lastShownMessage().buttons, 1);
    const int messages = d->shownMessages.size();
    d->lastShownMessage().controller->reject();
    QCOMPARE(d->cancels(), 1);
    QCOMPARE(d->sentCount(), 1);
    QCOMPARE(d->shownMessages.size(), messages);
}

void tst_AnswerDispatch::waitingMessageTimesOut_data()
{
    QTest::addColumn<int>("pending");
    QTest::newRow("first request") << 1;
    QTest::newRow("second request") << 2;
}

void tst_AnswerDispatch::waitingMessageTimesOut()
{
    QFETCH(int, pending);

    // Message times a thousand times shorter: 60 s become 60 ms.
    MessageWidgetController::setTimeScale(0.001);
    QVERIFY(pending == 1 ? reachFirstRequest() : reachSecondRequest());
    const QString uid = d->lastUid();

    QTRY_COMPARE(d->lastShownMessage().text, TimeoutText);
    QCOMPARE(d->lastShownMessage().timeout, 20);
    QCOMPARE(d->lastShownMessage().buttons, 1);
    QCOMPARE(d->lastShownMessage().controller->okCaption(), QStringLiteral("Continue"));

    // The service answers after all, too late.
    const QList<int> before = effects();
    d->fixture.bus.answerNow(BusProbe::stepAnswer(uid, pending, true, SurnameAndCode));
    QCOMPARE(effects(), before);

    QTRY_COMPARE(d->cancels(), 1);
    QCOMPARE(d->sentCount(), pending);
    QCOMPARE(d->payDetails(), 0);
}

void tst_AnswerDispatch::lateCloseOfAnOldWaitingMessage_data()
{
    QTest::addColumn<bool>("answered");
    QTest::newRow("released by its answer") << true;
    QTest::newRow("replaced by a newer request") << false;
}

void tst_AnswerDispatch::lateCloseOfAnOldWaitingMessage()
{
    QFETCH(bool, answered);

    QVERIFY(reachFirstRequest());
    QPointer<MessageWidgetController> old = d->lastShownMessage().controller;
    if (answered)
        d->answerStep(1, true, SurnameAndCode);
    else
        QVERIFY(d->enter(QStringLiteral("9161234568")));
    QVERIFY(old);
    const QList<int> before = effects();
    old->reject();
    QCOMPARE(effects(), before);

    // Whatever was pending still is.
    if (answered) {
        QVERIFY(d->enter(QStringLiteral("Петров")));
        QVERIFY(d->enter(QStringLiteral("1234")));
    }
    d->answerStep(answered ? 2 : 1, true, SurnameAndCode);
    if (answered)
        QCOMPARE(d->payDetails(), 1);
    else
        QCOMPARE(d->lastShownInput().parameter.name(), QStringLiteral("surname"));
}

QTEST_MAIN(tst_AnswerDispatch)
#include "tst_answerdispatch.moc"
