#include <QtTest/QtTest>

#include "dialoguetest.h"

namespace {

const QString TimeoutText = QStringLiteral("Превышен интервал ожидания ответа от сервера");
const QVariantMap Good{{"error", false}, {"result", 0}};
const QVariantMap Failed{{"error", true}, {"result", 0}};

QVariantMap step(int number, bool completed, bool error = false)
{
    return {{"currentStep", number}, {"isCompleted", completed}, {"isError", error},
            {"payParamList", QVariantList{BusProbe::parameter("surname", "surname", QString(), true),
                                          BusProbe::parameter("smscode", "smscode", QString(), true)}}};
}

} // namespace

// How the service's answers are matched to the pending request and what each one does.
class tst_AnswerDispatch : public DialogueTest
{
    Q_OBJECT

private slots:
    void droppedWhilePending_data();
    void droppedWhilePending();
    void precedence_data();
    void precedence();
    void resultErrorNeverRetries();
    void deliveredTwice_data();
    void deliveredTwice();
    void strayAnswerWithoutUid_data();
    void strayAnswerWithoutUid();
    void backToPhoneScreenDropsPendingRequest();
    void retryAfterSecondStepError();
    void everyParameterSkippedSendsAtOnce();
    void errorAfterEverythingSkippedCancels();
    void nothingToAsk_data();
    void nothingToAsk();
    void waitingMessageTimesOut_data();
    void waitingMessageTimesOut();
    void answerToReplacedRequestIsDropped();
    void firstStepAgainStartsTheListOver();
};

void tst_AnswerDispatch::droppedWhilePending_data()
{
    QTest::addColumn<QVariantMap>("body");

    QTest::newRow("another plugin's message type") << with(Good, "msgType", "otherPluginRequest");
    QTest::newRow("another uid") << with(Good, "uid", "1");
}

void tst_AnswerDispatch::droppedWhilePending()
{
    QFETCH(QVariantMap, body);

    QVERIFY(reachFirstRequest());
    QPointer<MessageWidgetController> waiting = d->lastShownMessage().controller;
    const Effects before = effects();
    d->answer(body, step(1, true));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(effects(), before);
    QVERIFY2(waiting && waiting->isOpen(), "a dropped answer closed the waiting message");
    // The request is still pending: its own answer still counts.
    d->answerStep(1, true, SurnameAndCode);
    QCOMPARE(lastShownName(), "surname");
}

void tst_AnswerDispatch::precedence_data()
{
    QTest::addColumn<QVariantMap>("body");
    QTest::addColumn<QVariantMap>("step");
    QTest::addColumn<QString>("text");

    const QVariantMap complete = step(1, true);
    const QVariantMap stepError = with(with(complete, "isError", true), "statusDescription", "Неверные данные");

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
    const Effects before = effects();
    // As the pay screen hands it over: the screen itself lets only its own type through.
    emit d->viewer()->incomingMessage(
        BusProbe::answer(with(with(body, "msgType", MessageType), "uid", d->lastUid()), step));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QVERIFY(!waiting);
    QCOMPARE(d->lastShownMessage().text, text);
    d->lastShownMessage().controller->reject();
    QCOMPARE(effects(), (Effects{before.sent, before.messages + 1, before.inputs, 0, 1}));
}

void tst_AnswerDispatch::resultErrorNeverRetries()
{
    // On the second request the customer's entries would allow a retry: a failed request
    // offers none.
    QVERIFY(reachSecondRequest());
    const Effects before = effects();
    d->answer(with(Good, "result", 5), step(2, true));
    QCOMPARE(d->lastMessageSummary(), resultError(5) + "|60|1");
    d->lastShownMessage().controller->accept();
    QCOMPARE(effects(), (Effects{2, before.messages + 1, before.inputs, 0, 1}));
}

void tst_AnswerDispatch::deliveredTwice_data()
{
    QTest::addColumn<QVariantMap>("step");
    QTest::addColumn<int>("pending");

    QTest::newRow("first-step answer") << step(1, true) << 1;
    QTest::newRow("incomplete first step") << step(1, false) << 1;
    QTest::newRow("second-step error") << step(2, false, true) << 2;
    QTest::newRow("completing answer") << step(2, true) << 2;
}

void tst_AnswerDispatch::deliveredTwice()
{
    QFETCH(QVariantMap, step);
    QFETCH(int, pending);

    QVERIFY(reachRequest(pending));
    const QVariantMap answer = BusProbe::answer(with(with(Good, "msgType", MessageType), "uid", d->lastUid()), step);
    d->fixture.bus.answerNow(answer);
    const Effects once = effects();
    d->fixture.bus.answerNow(answer);
    QCOMPARE(effects(), once);
}

void tst_AnswerDispatch::strayAnswerWithoutUid_data()
{
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QVariantList>("answers"); // bodies answering the pending request first

    QTest::newRow("on the phone screen") << QStringList() << QVariantList();
    QTest::newRow("during the parameter entry")
        << QStringList{"9161234567"} << QVariantList{with(Good, "params", step(1, true))};
    QTest::newRow("under an error message")
        << QStringList{"9161234567"} << QVariantList{QVariantMap{{"result", 2}}};
}

void tst_AnswerDispatch::strayAnswerWithoutUid()
{
    QFETCH(QStringList, typed);
    QFETCH(QVariantList, answers);

    QVERIFY(d->start());
    QVERIFY(d->enterEach(typed));
    for (const QVariant &body : answers)
        d->answer(body.toMap());
    const Effects before = effects();
    d->answer(with(with(Good, "result", 9), "uid", ""), {{"currentStep", 2}, {"isCompleted", true}});
    QCOMPARE(effects(), before);
}

void tst_AnswerDispatch::backToPhoneScreenDropsPendingRequest()
{
    QVERIFY(reachSecondRequest());
    QPointer<MessageWidgetController> waiting = d->lastShownMessage().controller;
    // Back past the end shows the last parameter, Back on the second one the first one.
    QVERIFY(d->back());
    QCOMPARE(lastShownName(), "smscode");
    QVERIFY(d->back());
    QCOMPARE(lastShownName(), "surname");
    QVERIFY(d->back());
    QCOMPARE(lastShownName(), "phone");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY2(!waiting, "the waiting message stayed over the phone screen");

    const Effects before = effects();
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

void tst_AnswerDispatch::everyParameterSkippedSendsAtOnce()
{
    QVERIFY(reachSecondRequest({fixed("surname", "Петров"), fixed("smscode", "0000")}, {}));
    QCOMPARE(d->shownInputs.size(), 1);
    QCOMPARE(d->fixture.bus.lastCheckData().value("currentStep").toString(), "2");
    d->answerStep(2, true);
    QCOMPARE(d->payDetails(), 1);
    QCOMPARE(d->fixture.provider->parameters().at(1).value(), "Петров");
}

void tst_AnswerDispatch::errorAfterEverythingSkippedCancels()
{
    // With nothing to enter again, a failed second request cancels rather than resends.
    QVERIFY(reachSecondRequest({fixed("smscode", "0000")}, {}));
    d->answer(Failed);
    QCOMPARE(d->lastShownMessage().text, DataError);
    const Effects shown = effects();
    d->lastShownMessage().controller->accept();
    QCOMPARE(effects(), (Effects{2, shown.messages, shown.inputs, 0, 1}));
}

void tst_AnswerDispatch::nothingToAsk_data()
{
    QTest::addColumn<qint64>("id");
    QTest::addColumn<qint64>("base");
    QTest::addColumn<QStringList>("parameters"); // of the provider
    QTest::addColumn<QString>("shown"); // name|mask of the screen shown last
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("cancels"); // once the message left open is closed

    const QString waiting = QStringLiteral("Запрос данных пользователя. Пожалуйста, подождите...|60|0");
    const QStringList withCard{"phone", "card_num"};
    QTest::newRow("provider without a card number shows an error")
        << qint64(71000454) << qint64(454) << QStringList{"phone"} << "phone|" << DataError + "|60|1" << 1;
    QTest::newRow("provider outside the card family with a card number shows an error")
        << qint64(71000454) << qint64(454) << withCard << "phone|" << DataError + "|60|1" << 1;
    // Added from the provider behind the service's parameters, so the mask is not its.
    QTest::newRow("provider of the card family asks for its card number")
        << qint64(113003105) << qint64(3105) << withCard << "card_num|" << waiting << 0;
    QTest::newRow("the card provider itself asks for its card number")
        << qint64(3105) << qint64(0) << withCard << "card_num|" << waiting << 0;
}

void tst_AnswerDispatch::nothingToAsk()
{
    QFETCH(qint64, id);
    QFETCH(qint64, base);
    QFETCH(QStringList, parameters);
    QFETCH(QString, shown);
    QFETCH(QString, message);
    QFETCH(int, cancels);

    QList<ProviderParameter> list;
    for (const QString &name : parameters)
        list << ProviderParameter(name);
    d->fixture.provider.reset(new Provider(id, base, "Провайдер", list));
    QVERIFY(reachFirstRequest());
    d->answerStep(1, true);
    const ProviderParameter asked = d->lastShownInput().parameter;
    QCOMPARE(asked.name() + "|" + asked.mask(), shown);
    QCOMPARE(d->lastMessageSummary(), message);
    for (MessageWidgetController *open : d->fixture.messages())
        open->reject();
    QCOMPARE(d->cancels(), cancels);
    QCOMPARE(d->sentCount(), 1);
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
    QVERIFY(reachRequest(pending));
    const QString uid = d->lastUid();

    QTRY_COMPARE(d->lastMessageSummary(), TimeoutText + "|20|1");
    QCOMPARE(d->lastShownMessage().controller->okCaption(), "Continue");

    // The service answers after all, too late.
    const Effects before = effects();
    d->fixture.bus.answerNow(BusProbe::stepAnswer(uid, pending, true, SurnameAndCode));
    QCOMPARE(effects(), before);

    QTRY_COMPARE(d->cancels(), 1);
    QCOMPARE(effects(), (Effects{pending, before.messages, before.inputs, 0, 1}));
}

void tst_AnswerDispatch::answerToReplacedRequestIsDropped()
{
    QVERIFY(reachFirstRequest());
    const QString firstUid = d->lastUid();
    QPointer<MessageWidgetController> old = d->lastShownMessage().controller;
    // Next pressed again on the phone screen under the waiting message: the same request gets
    // a uid of its own, and only the answer to it counts.
    d->lastShownInput().controller->next();
    QCOMPARE(d->sentCount(), 2);
    QCOMPARE(d->fixture.bus.sent.at(1).value("params"), d->fixture.bus.sent.at(0).value("params"));
    QVERIFY(d->lastUid() != firstUid);
    const Effects before = effects();
    d->fixture.bus.answerNow(BusProbe::stepAnswer(firstUid, 1, true, SurnameAndCode));
    // The replaced waiting message closing late changes nothing either.
    QVERIFY(old);
    old->reject();
    QCOMPARE(effects(), before);
    QCOMPARE(d->fixture.messages().size(), 1);
    d->answerStep(1, true, SurnameAndCode);
    QCOMPARE(lastShownName(), "surname");
}

void tst_AnswerDispatch::firstStepAgainStartsTheListOver()
{
    // The service may answer the second request with a first step of new parameters.
    QVERIFY(reachSecondRequest());
    d->answerStep(1, true, {editable("again"), editable("smscode")});
    QCOMPARE(lastShownName(), "again");
}

QTEST_MAIN(tst_AnswerDispatch)
#include "tst_answerdispatch.moc"
