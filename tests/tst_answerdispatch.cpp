#include <QtTest/QtTest>

#include "dialoguedriver.h"

namespace {

const QString DataError = QStringLiteral("Ошибка запроса данных");
const QString TimeoutText = QStringLiteral("Превышен интервал ожидания ответа от сервера");

QString resultError(int result)
{
    return QStringLiteral("Ошибка обработки запроса (%1).Попробуйте поздее").arg(result);
}

QVariantMap editable(const QString &name)
{
    return BusProbe::parameter(name, name, QString(), true);
}

QVariantMap skipped(const QString &name, const QVariant &value)
{
    return BusProbe::parameter(name, name, value, false);
}

const QVariantList SurnameAndCode{editable("surname"), editable("smscode")};
const QVariantMap Good{{"error", false}, {"result", 0}};
const QVariantMap Failed{{"error", true}, {"result", 0}};

QVariantMap step(int number, bool completed, bool error = false, const QString &status = QString())
{
    return {{"currentStep", number}, {"isCompleted", completed}, {"isError", error},
            {"statusDescription", status}, {"payParamList", SurnameAndCode}};
}

QVariantMap with(QVariantMap map, const QString &key, const QVariant &value)
{
    map.insert(key, value);
    return map;
}

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
    void backToPhoneScreenDropsPendingRequest();
    void retryAfterSecondStepError_data();
    void retryAfterSecondStepError();
    void everyParameterSkipped_data();
    void everyParameterSkipped();
    void nothingToAsk_data();
    void nothingToAsk();
    void waitingMessageTimesOut_data();
    void waitingMessageTimesOut();
    void answerToReplacedRequestIsDropped();
    void lateCloseOfAnOldWaitingMessage_data();
    void lateCloseOfAnOldWaitingMessage();

private:
    bool reachFirstRequest();
    bool reachSecondRequest();
    // What an answer may change: requests sent, messages and screens shown, payment details
    // and cancellations asked for.
    QList<int> effects() const;
    QString lastShownName() const { return d->lastShownInput().parameter.name(); }

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
    return d->start() && d->enter("9161234567") && d->sentCount() == 1;
}

bool tst_AnswerDispatch::reachSecondRequest()
{
    if (!reachFirstRequest())
        return false;
    d->answerStep(1, true, SurnameAndCode);
    return d->enter("Петров") && d->enter("1234") && d->sentCount() == 2;
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

    QTest::newRow("complete first step asks the parameters")
        << 1 << Good << step(1, true) << QString() << AsksParameters;
    QTest::newRow("first answer completing step two shows the payment at once")
        << 1 << Good << step(2, true) << QString() << ShowsPayment;
    QTest::newRow("incomplete step cancels") << 2 << Good << step(2, false) << DataError << Cancels;
    QTest::newRow("result error on the second request cancels, no retry")
        << 2 << with(Good, "result", 5) << step(2, true) << resultError(5) << Cancels;
    QTest::newRow("error on the second request lets the customer retry")
        << 2 << Failed << step(2, false) << DataError << Retries;
}

void tst_AnswerDispatch::stateTable()
{
    QFETCH(int, pending);
    QFETCH(QString, text);
    QFETCH(Outcome, outcome);

    QVERIFY(pending == 1 ? reachFirstRequest() : reachSecondRequest());
    QPointer<MessageWidgetController> waiting = d->lastShownMessage().controller;
    const int messagesBefore = d->shownMessages.size();
    const int inputsBefore = d->shownInputs.size();

    QFETCH(QVariantMap, body);
    QFETCH(QVariantMap, step);
    d->answer(body, step);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY2(!waiting, "the waiting message outlived the answer");

    QCOMPARE(d->shownMessages.size(), messagesBefore + (text.isEmpty() ? 0 : 1));
    if (!text.isEmpty()) {
        QCOMPARE(d->lastMessageSummary(), text + "|60|1");
        if (outcome == Retries)
            QTest::ignoreMessage(QtWarningMsg, "RETRY_INPUT_PARAMS 1");
        d->lastShownMessage().controller->accept();
    }

    QCOMPARE(d->cancels(), outcome == Cancels ? 1 : 0);
    QCOMPARE(d->payDetails(), outcome == ShowsPayment ? 1 : 0);
    QCOMPARE(d->sentCount(), pending);
    const bool asks = outcome == AsksParameters || outcome == Retries;
    QCOMPARE(d->shownInputs.size(), inputsBefore + (asks ? 1 : 0));
    if (asks) {
        QCOMPARE(lastShownName(), "surname");
        // A retry shows what the customer entered before.
        QCOMPARE(d->lastShownInput().parameter.value(), outcome == Retries ? "Петров" : "");
    }
}

void tst_AnswerDispatch::precedence_data()
{
    QTest::addColumn<QVariantMap>("body");
    QTest::addColumn<QVariantMap>("step");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("dropped");

    const QVariantMap complete{{"currentStep", 1}, {"isCompleted", true}, {"payParamList", SurnameAndCode}};
    const QVariantMap stepError = with(with(complete, "isError", true), "statusDescription", "Неверные данные");

    QTest::newRow("another plugin's message type is dropped")
        << with(Good, "msgType", "otherPluginRequest") << complete << QString() << true;
    QTest::newRow("another uid is dropped") << with(Good, "uid", "1") << complete << QString() << true;
    QTest::newRow("an empty uid is dropped") << with(Good, "uid", "") << complete << QString() << true;
    QTest::newRow("result wins over a step error")
        << with(Good, "result", 4) << stepError << resultError(4) << false;
    QTest::newRow("a result sent as text zero is no failure")
        << with(Good, "result", "0") << complete << QString() << false;
    QTest::newRow("error flag wins over a complete step") << Failed << complete << DataError << false;
    QTest::newRow("step error wins over completion with its description")
        << Good << stepError << "Неверные данные" << false;
    QTest::newRow("step error without a description shows the fallback")
        << Good << with(stepError, "statusDescription", "") << DataError << false;
    QTest::newRow("a description without a step error is not shown")
        << Failed << with(complete, "statusDescription", "Текст") << DataError << false;
    QTest::newRow("the answer's own description is never shown")
        << with(with(Failed, "description", "Сбой"), "resultDescription", "сервиса") << complete
        << DataError << false;
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

    if (!body.contains("msgType"))
        body.insert("msgType", "tavrinPluginRequest");
    if (!body.contains("uid"))
        body.insert("uid", d->lastUid());
    // As the pay screen hands it over: the screen itself lets only its own type through.
    emit d->viewer()->incomingMessage(BusProbe::answer(body, step));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    if (dropped) {
        QCOMPARE(effects(), before);
        QVERIFY2(waiting && waiting->isOpen(), "a dropped answer closed the waiting message");
        // The request is still pending: its own answer still counts.
        d->answerStep(1, true, SurnameAndCode);
        QCOMPARE(lastShownName(), "surname");
        return;
    }
    QVERIFY(!waiting);
    QCOMPARE(d->shownMessages.size(), before.at(1) + (text.isEmpty() ? 0 : 1));
    if (text.isEmpty()) {
        QCOMPARE(lastShownName(), "surname");
        return;
    }
    QCOMPARE(d->lastShownMessage().text, text);
    QCOMPARE(d->shownInputs.size(), before.at(2));
    d->lastShownMessage().controller->reject();
    QCOMPARE(d->cancels(), 1);
}

void tst_AnswerDispatch::deliveredTwice_data()
{
    QTest::addColumn<QVariantMap>("step");
    QTest::addColumn<int>("pending");

    QTest::newRow("first-step answer") << step(1, true) << 1;
    QTest::newRow("second-step error") << step(2, false, true) << 2;
    QTest::newRow("completing answer") << step(2, true) << 2;
}

void tst_AnswerDispatch::deliveredTwice()
{
    QFETCH(QVariantMap, step);
    QFETCH(int, pending);

    QVERIFY(pending == 1 ? reachFirstRequest() : reachSecondRequest());
    const QVariantMap answer = BusProbe::answer(
        with(with(Good, "msgType", "tavrinPluginRequest"), "uid", d->lastUid()), step);
    d->fixture.bus.answerNow(answer);
    const QList<int> once = effects();
    d->fixture.bus.answerNow(answer);
    QCOMPARE(effects(), once);
}

void tst_AnswerDispatch::strayAnswerWithoutUid_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QVariantMap>("body");

    for (const char *state : {"on the phone screen", "during the parameter entry", "under an error message"})
        QTest::addRow("%s", state) << state << with(with(Good, "result", 9), "uid", "");
}

void tst_AnswerDispatch::strayAnswerWithoutUid()
{
    QFETCH(QString, state);
    QFETCH(QVariantMap, body);

    if (state == "on the phone screen") {
        QVERIFY(d->start());
    } else {
        QVERIFY(reachFirstRequest());
        if (state == "during the parameter entry")
            d->answerStep(1, true, SurnameAndCode);
        else
            d->answer({{"result", 2}});
    }
    const QList<int> before = effects();
    d->answer(body, {{"currentStep", 2}, {"isCompleted", true}});
    QCOMPARE(effects(), before);
}

void tst_AnswerDispatch::backToPhoneScreenDropsPendingRequest()
{
    QVERIFY(reachSecondRequest());
    QPointer<MessageWidgetController> waiting = d->lastShownMessage().controller;
    for (int i = 0; i < 3; ++i)
        QVERIFY(d->back());
    QCOMPARE(lastShownName(), "phone");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY2(!waiting, "the waiting message stayed over the phone screen");

    const QList<int> before = effects();
    d->answerStep(2, true);
    QCOMPARE(effects(), before);

    // The next attempt files nothing of the one left.
    QVERIFY(d->enter("9160000000"));
    d->answerStep(1, true, {editable("smscode")});
    QVERIFY(d->enter("1234"));
    d->answerStep(2, true);
    QCOMPARE(d->payDetails(), 1);
    QCOMPARE(d->fixture.provider->parameters().at(0).value(), "9160000000");
    QCOMPARE(d->fixture.provider->parameters().at(1).value(), "");
}

void tst_AnswerDispatch::retryAfterSecondStepError_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("message confirmed") << 1;
    QTest::newRow("message timed out") << 0;
}

void tst_AnswerDispatch::retryAfterSecondStepError()
{
    QFETCH(int, code);

    QVERIFY(reachSecondRequest());
    d->answer(Good, {{"isError", true}, {"statusDescription", "Неверный код"}});
    QCOMPARE(d->lastShownMessage().text, "Неверный код");
    QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("RETRY_INPUT_PARAMS %1").arg(code)));
    d->lastShownMessage().controller->close(code);

    QCOMPARE(d->cancels(), 0);
    QCOMPARE(d->sentCount(), 2);
    QCOMPARE(lastShownName(), "surname");
    QCOMPARE(d->lastShownInput().parameter.value(), "Петров");
    QCOMPARE(d->fixture.inputs().size(), 1);

    QVERIFY(d->enter("Петров"));
    QCOMPARE(d->lastShownInput().parameter.value(), "1234");
    QVERIFY(d->enter("4321"));
    QCOMPARE(d->sentCount(), 3);
    const QVariantList sent = d->fixture.bus.lastCheckData().value("payParamList").toList();
    QCOMPARE(sent.value(1).toMap().value("value").toString(), "4321");

    d->answerStep(2, true);
    QCOMPARE(d->payDetails(), 1);
    QCOMPARE(d->fixture.provider->parameters().at(1).value(), "Петров");
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
    d->answerStep(1, true, {skipped("surname", "Петров"), skipped("smscode", "0000")});
    // Nothing to ask: the second request leaves at once.
    QCOMPARE(d->sentCount(), 2);
    QCOMPARE(d->shownInputs.size(), 1);
    QCOMPARE(d->fixture.bus.lastCheckData().value("currentStep").toString(), "2");

    if (completes) {
        d->answerStep(2, true);
        QCOMPARE(d->payDetails(), 1);
        QCOMPARE(d->fixture.provider->parameters().at(1).value(), "Петров");
        return;
    }
    d->answer(Failed);
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
        QCOMPARE(lastShownName(), "card_num");
        QCOMPARE(d->lastShownInput().parameter.mask(), "");
        return;
    }
    QCOMPARE(d->sentCount(), 1);
    QCOMPARE(d->lastMessageSummary(), DataError + "|60|1");
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

    QTRY_COMPARE(d->lastMessageSummary(), TimeoutText + "|20|1");
    QCOMPARE(d->lastShownMessage().controller->okCaption(), "Continue");

    // The service answers after all, too late.
    const QList<int> before = effects();
    d->fixture.bus.answerNow(BusProbe::stepAnswer(uid, pending, true, SurnameAndCode));
    QCOMPARE(effects(), before);

    QTRY_COMPARE(d->cancels(), 1);
    QCOMPARE(d->sentCount(), pending);
    QCOMPARE(d->payDetails(), 0);
}

void tst_AnswerDispatch::answerToReplacedRequestIsDropped()
{
    QVERIFY(reachFirstRequest());
    const QString firstUid = d->lastUid();
    // Next pressed again on the phone screen under the waiting message: the same request gets
    // a uid of its own, and only the answer to it counts.
    d->lastShownInput().controller->next();
    QCOMPARE(d->sentCount(), 2);
    QCOMPARE(d->fixture.bus.sent.at(1).value("params"), d->fixture.bus.sent.at(0).value("params"));
    QVERIFY(d->lastUid() != firstUid);
    const QList<int> before = effects();
    d->fixture.bus.answerNow(BusProbe::stepAnswer(firstUid, 1, true, SurnameAndCode));
    QCOMPARE(effects(), before);
    d->answerStep(1, true, SurnameAndCode);
    QCOMPARE(lastShownName(), "surname");
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
    const QString firstUid = d->lastUid();
    QPointer<MessageWidgetController> old = d->lastShownMessage().controller;
    if (answered) {
        d->answerStep(1, true, SurnameAndCode);
    } else {
        QVERIFY(d->enter("9161234568"));
        QVERIFY(d->lastUid() != firstUid);
    }
    QVERIFY(old);
    const QList<int> before = effects();
    old->reject();
    QCOMPARE(effects(), before);
    if (!answered)
        QCOMPARE(d->fixture.messages().size(), 1);

    // Whatever was pending still is.
    if (answered) {
        QVERIFY(d->enter("Петров"));
        QVERIFY(d->enter("1234"));
    }
    d->answerStep(answered ? 2 : 1, true, SurnameAndCode);
    if (answered)
        QCOMPARE(d->payDetails(), 1);
    else
        QCOMPARE(lastShownName(), "surname");
}

QTEST_MAIN(tst_AnswerDispatch)
#include "tst_answerdispatch.moc"
