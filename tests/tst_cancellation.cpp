#include <QtTest/QtTest>
#include <QtWidgets/QApplication>

#include "dialoguetest.h"

namespace {

const QString CancelQuestion =
    QStringLiteral("Все введенные данные будут потеряны. Продолжить отмену платежа?");

int visibleWindows()
{
    int count = 0;
    for (QWidget *widget : QApplication::topLevelWidgets())
        count += widget->isVisible() ? 1 : 0;
    return count;
}

} // namespace

// The cancel question on the helper view, and the beginning and end of a dialogue: nothing of
// one dialogue may act once it is over.
class tst_Cancellation : public DialogueTest
{
    Q_OBJECT

private slots:
    void questionAnswered_data();
    void questionAnswered();
    void secondQuestionWhileOpen();
    void exitFromMessageCancels();
    void startTwiceKeepsTheWidget();
    void stopTwice();
    void startWithoutProvider();
    void nothingHappensWithoutDialogue_data();
    void nothingHappensWithoutDialogue();
    void stopSilencesTheDialogue_data();
    void stopSilencesTheDialogue();
    void deletedPayScreenLeavesNothingBehind();
    void phoneScreenWithoutPhoneParameter_data();
    void phoneScreenWithoutPhoneParameter();

private:
    QList<FormViewer *> helperViews() const;
    // The next customer's Next sends the number just typed, and only that.
    void nextCustomerSendsOnlyTheirNumber(int sentBefore);
};

QList<FormViewer *> tst_Cancellation::helperViews() const
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return d->viewer() ? d->viewer()->findChildren<FormViewer *>(QString(), Qt::FindDirectChildrenOnly)
                       : QList<FormViewer *>();
}

void tst_Cancellation::questionAnswered_data()
{
    QTest::addColumn<double>("timeScale");
    QTest::addColumn<int>("code"); // the customer's answer; none when negative
    QTest::addColumn<int>("cancels");

    QTest::newRow("Yes cancels once") << 1.0 << 1 << 1;
    QTest::newRow("No keeps the dialogue") << 1.0 << 0 << 0;
    QTest::newRow("no answer in time keeps the dialogue") << 0.001 << -1 << 0;
}

void tst_Cancellation::questionAnswered()
{
    QFETCH(double, timeScale);
    QFETCH(int, code);
    QFETCH(int, cancels);

    MessageWidgetController::setTimeScale(timeScale);
    QVERIFY(d->start());
    PluginProviderParameterInputController *phone = d->lastShownInput().controller;
    QVERIFY(helperViews().isEmpty());
    QVERIFY(d->back());
    QCOMPARE(d->lastMessageSummary(), CancelQuestion + "|15|110");
    QPointer<MessageWidgetController> question = d->lastShownMessage().controller;
    QPointer<FormViewer> helper = helperViews().value(0);
    QCOMPARE(helperViews().size(), 1);
    QVERIFY(!helper->isHidden());
    // The question lies over the phone screen, which stays as it was.
    QCOMPARE(d->fixture.inputs(), QList<PluginProviderParameterInputController *>{phone});
    QCOMPARE(d->cancels(), 0);

    if (code >= 0)
        question->close(code);
    QTRY_VERIFY(!question);

    QCOMPARE(d->cancels(), cancels);
    QVERIFY(helperViews().isEmpty());
    // Each question gets a view of its own: kept, they would pile up.
    QVERIFY2(!helper, "the declined question's view stayed behind");
    // The phone screen below still takes the number.
    QVERIFY(d->enter("9161234567"));
    QCOMPARE(d->sentCount(), 1);
}

void tst_Cancellation::secondQuestionWhileOpen()
{
    QVERIFY(d->start());
    QVERIFY(d->back());
    QPointer<MessageWidgetController> first = d->lastShownMessage().controller;
    QVERIFY(d->back());
    QPointer<MessageWidgetController> second = d->lastShownMessage().controller;
    QVERIFY(first != second);

    QCOMPARE(helperViews().size(), 1);
    QVERIFY(!first);
    QCOMPARE(d->fixture.messages().size(), 1);
    second->accept();
    QCOMPARE(d->cancels(), 1);
    QVERIFY(helperViews().isEmpty());
}

void tst_Cancellation::exitFromMessageCancels()
{
    QVERIFY(d->start());
    QVERIFY(d->enter("9161234567"));
    QCOMPARE(d->fixture.messages().size(), 1);
    QVERIFY(QMetaObject::invokeMethod(d->fixture.pluginObject, "exitFromMessage"));
    QCOMPARE(d->cancels(), 1);
    QCOMPARE(d->fixture.messages().size(), 0);
}

void tst_Cancellation::startTwiceKeepsTheWidget()
{
    PluginBaseFormViewer *first = d->open(d->fixture.provider.data());
    QVERIFY(first);
    QVERIFY(d->start());
    QCOMPARE(d->viewer(), first);

    // Wired once: one request on the bus, one answer handled.
    QVERIFY(d->enter("9161234567"));
    QCOMPARE(d->sentCount(), 1);
    d->answerStep(1, true, {editable("smscode")});
    QCOMPARE(d->shownInputs.size(), 2);
}

void tst_Cancellation::stopTwice()
{
    QVERIFY(d->start());
    QVERIFY(d->back());
    QPointer<PluginBaseFormViewer> viewer = d->viewer();
    QPointer<FormViewer> helper = helperViews().value(0);
    QVERIFY(helper);

    d->fixture.plugin->stop();
    d->fixture.plugin->stop();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!viewer);
    QVERIFY(!helper);
    QCOMPARE(d->fixture.messages().size() + d->fixture.inputs().size(), 0);
}

void tst_Cancellation::startWithoutProvider()
{
    const int windows = QApplication::topLevelWidgets().size();
    QTest::ignoreMessage(QtWarningMsg, "TAVRIN_START_REFUSED no provider given");
    QVERIFY(!d->fixture.plugin->start(nullptr, Currency(643), &d->fixture.session));
    d->fixture.plugin->showInitScreen();
    QCOMPARE(QApplication::topLevelWidgets().size(), windows);
    QVERIFY(d->shownInputs.isEmpty());
}

void tst_Cancellation::nothingHappensWithoutDialogue_data()
{
    QTest::addColumn<QStringList>("typed"); // on the parameter screens first
    QTest::addColumn<bool>("hostDeletesScreen"); // else the host stops the dialogue
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QVariant>("argument"); // none when invalid

    // One row per kind of event: a pay screen gone by stop or by the host's hand reads alike.
    const QVariant none;
    const QVariant number("9161234567");
    const QVariant code(0);
    const QStringList nothing;
    QTest::newRow("Next on the phone screen after stop")
        << nothing << false << QByteArray("inputAccountScreenAcceptHandler") << number;
    QTest::newRow("Next on a parameter after stop")
        << nothing << false << QByteArray("inputCurrentPayParameterNextHandler") << number;
    QTest::newRow("Back on a parameter after stop")
        << nothing << false << QByteArray("inputCurrentPayParameterBackHandler") << none;
    QTest::newRow("finish of the entry after stop")
        << nothing << false << QByteArray("inputCurrentPayParameterFinishHandler") << none;
    // An answer counts only while its request is pending: the second one is.
    QTest::newRow("the pending answer after the host deleted the pay screen")
        << QStringList{"Петров", "1234"} << true << QByteArray("stompIncomingMessagesHandler") << none;
    QTest::newRow("the cancel question after the host deleted the pay screen")
        << nothing << true << QByteArray("permitCancel") << none;
    QTest::newRow("cancel accepted after stop") << nothing << false << QByteArray("cancelAcceptHandler") << none;
    QTest::newRow("leaving a message after the host deleted the pay screen")
        << nothing << true << QByteArray("exitFromMessage") << none;
    QTest::newRow("first request's time-out after the host deleted the pay screen")
        << nothing << true << QByteArray("sendAccCheckCommandTimeout") << none;
    QTest::newRow("retry after the host deleted the pay screen")
        << nothing << true << QByteArray("retryInputParams") << code;
    QTest::newRow("second request's time-out after stop")
        << nothing << false << QByteArray("sendCheckCommandTimeout") << code;
}

void tst_Cancellation::nothingHappensWithoutDialogue()
{
    QFETCH(QStringList, typed);
    QFETCH(bool, hostDeletesScreen);
    QFETCH(QByteArray, slot);
    QFETCH(QVariant, argument);

    QVERIFY(reachFirstRequest());
    d->answerStep(1, true, SurnameAndCode);
    QVERIFY(d->enterEach(typed));
    // The answer to the request pending now.
    if (slot == "stompIncomingMessagesHandler")
        argument = BusProbe::stepAnswer(d->lastUid(), 2, true);
    if (hostDeletesScreen)
        delete d->viewer();
    else
        d->fixture.plugin->stop();
    const Effects before = effects();
    const int held = d->fixture.messages().size() + d->fixture.inputs().size();
    const int windows = QApplication::topLevelWidgets().size();

    const QGenericArgument given(argument.typeName(), argument.constData());
    QVERIFY(QMetaObject::invokeMethod(d->fixture.pluginObject, slot.constData(),
                                      argument.isValid() ? given : QGenericArgument()));
    QCOMPARE(effects(), before);
    QCOMPARE(d->fixture.messages().size() + d->fixture.inputs().size(), held);
    QCOMPARE(QApplication::topLevelWidgets().size(), windows);
    QCOMPARE(visibleWindows(), 0);
}

void tst_Cancellation::stopSilencesTheDialogue_data()
{
    QTest::addColumn<QVariantMap>("answer"); // to the second request, none when empty
    QTest::addColumn<QByteArray>("asked"); // what the customer asked for then, by slot
    QTest::addColumn<bool>("hostDeletesScreen"); // else the host stops the dialogue

    const QVariantMap error{{"error", true}, {"result", 0}};
    QTest::newRow("an error message closing later") << error << QByteArray() << false;
    QTest::newRow("a waiting message closing later") << QVariantMap() << QByteArray() << false;
    QTest::newRow("the cancel question answered later") << QVariantMap() << QByteArray("permitCancel") << false;
    // No stop(): the host deleted the pay screen and starts the next dialogue.
    QTest::newRow("a deleted screen's error message closing later") << error << QByteArray() << true;
}

void tst_Cancellation::stopSilencesTheDialogue()
{
    QFETCH(QVariantMap, answer);
    QFETCH(QByteArray, asked);
    QFETCH(bool, hostDeletesScreen);

    // The first customer gets to the second step; the last screen and message are left over.
    QVERIFY(reachSecondRequest());
    QPointer<PluginProviderParameterInputController> screen = d->lastShownInput().controller;
    if (!answer.isEmpty())
        d->answer(answer);
    if (!asked.isEmpty())
        QVERIFY(QMetaObject::invokeMethod(d->fixture.pluginObject, asked.constData()));
    QPointer<MessageWidgetController> message = d->lastShownMessage().controller;
    QVERIFY(screen && message);

    // The terminal moves on to the next customer before they are through.
    if (hostDeletesScreen)
        delete d->viewer();
    else
        d->fixture.plugin->stop();
    QVERIFY(d->start());
    d->clearShown();
    const int sent = d->sentCount();

    message->accept();
    screen->setText("4321");
    screen->next();
    screen->back();
    QCOMPARE(d->sentCount(), sent);
    QVERIFY2(d->shownInputs.isEmpty() && d->shownMessages.isEmpty(), "the previous dialogue changed the screen");
    QCOMPARE(d->cancels(), 0);

    nextCustomerSendsOnlyTheirNumber(sent);
}

void tst_Cancellation::nextCustomerSendsOnlyTheirNumber(int sentBefore)
{
    PluginProviderParameterInputController *phone = d->fixture.lastInput();
    QVERIFY(phone);
    QCOMPARE(phone->parameter().name(), "phone");
    phone->setText("9037654321");
    phone->next();
    QCOMPARE(d->sentCount(), sentBefore + 1);
    const QVariantMap msisdn{{"name", "msisdn"}, {"value", "79037654321"}};
    QCOMPARE(d->fixture.bus.lastCheckData(),
             (QVariantMap{{"currentStep", "1"}, {"payParamList", QVariantList{msisdn}}}));
}

void tst_Cancellation::deletedPayScreenLeavesNothingBehind()
{
    // The host deletes the pay screen in the middle of the parameter entry, without stop(),
    // and starts the next dialogue.
    QVERIFY(reachFirstRequest());
    d->answerStep(1, true, SurnameAndCode);
    QPointer<PluginProviderParameterInputController> screen = d->lastShownInput().controller;
    delete d->viewer();
    d->clearShown();
    const int sent = d->sentCount();
    QVERIFY(d->fixture.plugin->start(d->fixture.provider.data(), Currency(643), &d->fixture.session));

    // Its form went with the pay screen: what may still come, before the next customer's
    // first screen, is the old screen's signals.
    QVERIFY(screen);
    emit screen->needNext("Петров");
    emit screen->needNext("1234");
    emit screen->needBack();
    QCOMPARE(d->sentCount(), sent);
    QVERIFY2(d->shownInputs.isEmpty() && d->shownMessages.isEmpty(), "the previous dialogue changed the screen");

    d->fixture.plugin->showInitScreen();
    nextCustomerSendsOnlyTheirNumber(sent);
}

void tst_Cancellation::phoneScreenWithoutPhoneParameter_data()
{
    QTest::addColumn<int>("stops"); // before the next dialogue starts
    QTest::newRow("next dialogue after stop") << 1;
    QTest::newRow("next dialogue started without stop") << 0;
}

void tst_Cancellation::phoneScreenWithoutPhoneParameter()
{
    QFETCH(int, stops);

    QVERIFY(reachFirstRequest());
    for (int i = 0; i < stops; ++i)
        d->fixture.plugin->stop();
    d->fixture.provider.reset(PluginFixture::makeProvider(72000434));
    QVERIFY(d->start());
    QCOMPARE(d->lastShownInput().providerName, "Без телефона");
    QVERIFY2(d->lastShownInput().parameter.value().isEmpty(), "the previous customer's number is shown");
    QVERIFY(d->lastShownInput().parameter.name().isEmpty());
}

QTEST_MAIN(tst_Cancellation)
#include "tst_cancellation.moc"
