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

QVariantMap step(int number, bool completed, bool error = false)
{
    return {{"currentStep", number}, {"isCompleted", completed}, {"isError", error},
            {"payParamList", SurnameAndCode}};
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

private slots:
    void init();
    void cleanup();
    void precedence_data();
    void precedence();
    void resultErrorNeverRetries();
    void deliveredTwice_data();
    void deliveredTwice();
    void strayAnswerWithoutUid_data();
    void strayAnswerWithoutUid();
    void backToPhoneScreenDropsPendingRequest();
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

void tst_AnswerDispatch::precedence_data()
{
    QTest::addColumn<QVariantMap>("body");
    QTest::addColumn<QVariantMap>("step");
    QTest::addColumn<QString>("text"); // none for an answer that is dropped

    const QVariantMap complete{{"currentStep", 1}, {"isCompleted", true}, {"payParamList", SurnameAndCode}};
    const QVariantMap stepError = with(with(complete, "isError", true), "statusDescription", "Неверные данные");

    QTest::newRow("another plugin's message type is dropped")
        << with(Good, "msgType", "otherPluginRequest") << complete << QString();
    QTest::newRow("another uid is dropped") << with(Good, "uid", "1") << complete << QString();
    QTest::newRow("an incomplete step cancels") << Good << with(complete, "isCompleted", false) << DataError;
    QTest::newRow("result wins over a step error") << with(Good, "result", 4) << stepError << resultError(4);
    QTest::newRow("error flag wins over a complete step and shows no description")
        << with(with(Failed, "description", "Сбой"), "resultDescription", "сервиса")
        << with(complete, "statusDescription", "Текст") << DataError;
    QTest::newRow("step error wins over completion with its description")
        << Good << stepError << "Неверные данные";
    QTest::newRow("step error without a description shows the fallback")
        << Good << with(stepError, "statusDescription", "") << DataError;
}

void tst_AnswerDispatch::precedence()
{
    QFETCH(QVariantMap, body);
    QFETCH(QVariantMap, step);
    QFETCH(QString, text);

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

    if (text.isEmpty()) {
        QCOMPARE(effects(), before);
        QVERIFY2(waiting && waiting->isOpen(), "a dropped answer closed the waiting message");
        // The request is still pending: its own answer still counts.
        d->answerStep(1, true, SurnameAndCode);
        QCOMPARE(lastShownName(), "surname");
        return;
    }
    QVERIFY(!waiting);
    QCOMPARE(d->shownMessages.size(), before.at(1) + 1);
    QCOMPARE(d->lastShownMessage().text, text);
    QCOMPARE(d->shownInputs.size(), before.at(2));
    d->lastShownMessage().controller->reject();
    QCOMPARE(d->cancels(), 1);
}

void tst_AnswerDispatch::resultErrorNeverRetries()
{
    // On the second request the customer's entries would allow a retry: a failed request
    // offers none.
    QVERIFY(reachSecondRequest());
    const int inputs = d->shownInputs.size();
    d->answer(with(Good, "result", 5), step(2, true));
    QCOMPARE(d->lastMessageSummary(), resultError(5) + "|60|1");
    d->lastShownMessage().controller->accept();
    QCOMPARE(d->cancels(), 1);
    QCOMPARE(d->shownInputs.size(), inputs);
    QCOMPARE(d->sentCount(), 2);
    QCOMPARE(d->payDetails(), 0);
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

void tst_AnswerDispatch::retryAfterSecondStepError()
{
    QVERIFY(reachSecondRequest());
    d->answer(Good, {{"isError", true}, {"statusDescription", "Неверный код"}});
    QCOMPARE(d->lastShownMessage().text, "Неверный код");
    // The message running out leads back to the entry as its OK does.
    QTest::ignoreMessage(QtWarningMsg, "RETRY_INPUT_PARAMS 0");
    d->lastShownMessage().controller->close(0);

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
