#include <QtTest/QtTest>
#include <QtWidgets/QApplication>

#include "dialoguedriver.h"

namespace {

const QString CancelQuestion =
    QStringLiteral("Все введенные данные будут потеряны. Продолжить отмену платежа?");

QVariantMap smsCode()
{
    return BusProbe::parameter("smscode", "Код", QString(), true);
}

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
class tst_Cancellation : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void questionAnswered_data();
    void questionAnswered();
    void askingAgainUsesAFreshView();
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
    // The first customer's dialogue, up to the parameter entry.
    bool reachParameters();
    // The next customer's Next sends the number just typed, and only that.
    void nextCustomerSendsOnlyTheirNumber(int sentBefore);

    QScopedPointer<DialogueDriver> d;
};

void tst_Cancellation::init()
{
    d.reset(new DialogueDriver);
    QVERIFY2(d->fixture.isLoaded(), qPrintable(d->fixture.errorString()));
}

void tst_Cancellation::cleanup()
{
    MessageWidgetController::setTimeScale(1.0);
    QTest::ignoreMessage(QtDebugMsg, "TavrinPluginHandler plugin destructor");
    d.reset();
}

QList<FormViewer *> tst_Cancellation::helperViews() const
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return d->viewer() ? d->viewer()->findChildren<FormViewer *>(QString(), Qt::FindDirectChildrenOnly)
                       : QList<FormViewer *>();
}

bool tst_Cancellation::reachParameters()
{
    if (!d->start() || !d->enter("9161234567"))
        return false;
    d->answerStep(1, true, {BusProbe::parameter("surname", "Фамилия", QString(), true), smsCode()});
    return d->lastShownInput().parameter.name() == "surname";
}

void tst_Cancellation::questionAnswered_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("cancels");

    QTest::newRow("Yes cancels once") << 1 << 1;
    QTest::newRow("No keeps the dialogue") << 0 << 0;
    QTest::newRow("no answer in time keeps the dialogue") << -1 << 0;
}

void tst_Cancellation::questionAnswered()
{
    QFETCH(int, code);
    QFETCH(int, cancels);

    if (code < 0)
        MessageWidgetController::setTimeScale(0.001);
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

    if (code < 0)
        QTRY_VERIFY(!question || !question->isOpen());
    else
        question->close(code);

    QCOMPARE(d->cancels(), cancels);
    QVERIFY(helperViews().isEmpty());
    QVERIFY2(!helper, "the declined question's view stayed behind");
    QVERIFY(!question);
    if (cancels == 0) {
        QVERIFY(d->enter("9161234567"));
        QCOMPARE(d->sentCount(), 1);
    }
}

void tst_Cancellation::askingAgainUsesAFreshView()
{
    QVERIFY(d->start());
    for (int round = 0; round < 3; ++round) {
        QVERIFY(d->back());
        const QList<FormViewer *> helpers = helperViews();
        QCOMPARE(helpers.size(), 1);
        QPointer<FormViewer> helper = helpers.first();
        QVERIFY(!helper->isHidden());
        d->lastShownMessage().controller->reject();
        QVERIFY(helperViews().isEmpty());
        QVERIFY(!helper);
    }
    QCOMPARE(d->cancels(), 0);
    QCOMPARE(d->fixture.messages().size(), 0);
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
    IPayWidget *first = d->fixture.plugin->start(d->fixture.provider.data(), Currency(643), &d->fixture.session);
    QVERIFY(first);
    QVERIFY(d->start());
    QCOMPARE(static_cast<IPayWidget *>(d->viewer()), first);

    // Wired once: one request on the bus, one answer handled.
    QVERIFY(d->enter("9161234567"));
    QCOMPARE(d->sentCount(), 1);
    d->answerStep(1, true, {smsCode()});
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
    QTest::addColumn<QString>("state");
    QTest::addColumn<QByteArray>("slot");

    // One row per kind of event: a pay screen gone by stop or by the host's hand reads alike.
    const QString stopped("after stop"), deleted("after the host deleted the pay screen");
    const QList<QPair<QByteArray, QString>> rows{
        {"inputAccountScreenAcceptHandler", stopped}, {"inputCurrentPayParameterNextHandler", stopped},
        {"inputCurrentPayParameterBackHandler", stopped}, {"inputCurrentPayParameterFinishHandler", stopped},
        {"stompIncomingMessagesHandler", deleted}, {"showInitScreen", "before start"},
        {"permitCancel", deleted}, {"cancelAcceptHandler", stopped}, {"exitFromMessage", deleted},
        {"sendAccCheckCommandTimeout", deleted}, {"retryInputParams", deleted},
        {"sendCheckCommandTimeout", stopped}};
    for (const auto &row : rows)
        QTest::addRow("%s %s", row.first.constData(), qPrintable(row.second)) << row.second << row.first;
}

void tst_Cancellation::nothingHappensWithoutDialogue()
{
    QFETCH(QString, state);
    QFETCH(QByteArray, slot);

    if (state != "before start") {
        QVERIFY(reachParameters());
        // An answer counts only while its request is pending: send the second one.
        if (slot == "stompIncomingMessagesHandler")
            QVERIFY(d->enter("Петров") && d->enter("1234") && d->sentCount() == 2);
        if (state == "after stop")
            d->fixture.plugin->stop();
        else
            delete d->viewer();
    }
    const auto traces = [this] {
        return QList<int>{d->sentCount(), d->shownMessages.size() + d->shownInputs.size(),
                          d->fixture.messages().size() + d->fixture.inputs().size(),
                          QApplication::topLevelWidgets().size()};
    };
    const QList<int> before = traces();

    QObject *plugin = d->fixture.pluginObject;
    const char *name = slot.constData();
    const QVariantMap answer = BusProbe::stepAnswer(d->lastUid(), 2, true);
    if (slot == "stompIncomingMessagesHandler")
        QVERIFY(QMetaObject::invokeMethod(plugin, name, Q_ARG(QVariantMap, answer)));
    else if (slot == "inputAccountScreenAcceptHandler" || slot == "inputCurrentPayParameterNextHandler")
        QVERIFY(QMetaObject::invokeMethod(plugin, name, Q_ARG(QString, "9161234567")));
    else if (slot == "retryInputParams" || slot == "sendCheckCommandTimeout")
        QVERIFY(QMetaObject::invokeMethod(plugin, name, Q_ARG(int, 0)));
    else if (slot == "showInitScreen")
        d->fixture.plugin->showInitScreen();
    else
        QVERIFY(QMetaObject::invokeMethod(plugin, name));

    QCOMPARE(traces(), before);
    QCOMPARE(visibleWindows(), 0);
}

void tst_Cancellation::stopSilencesTheDialogue_data()
{
    QTest::addColumn<QString>("leftOver");
    QTest::addColumn<bool>("hostDeletesScreen");
    QTest::newRow("an error message closing later") << "error message" << false;
    QTest::newRow("a waiting message closing later") << "waiting message" << false;
    QTest::newRow("the parameter screen pressed later") << "parameter screen" << false;
    QTest::newRow("the cancel question answered later") << "cancel question" << false;
    // No stop(): the host deleted the pay screen and starts the next dialogue.
    QTest::newRow("a deleted screen's error message closing later") << "error message" << true;
}

void tst_Cancellation::stopSilencesTheDialogue()
{
    QFETCH(QString, leftOver);
    QFETCH(bool, hostDeletesScreen);

    // The first customer gets to the second step.
    QVERIFY(reachParameters());
    QVERIFY(d->enter("Петров"));
    QPointer<PluginProviderParameterInputController> screen = d->lastShownInput().controller;
    QVERIFY(d->enter("1234"));
    if (leftOver == "error message") {
        d->answer({{"error", true}, {"result", 0}});
    } else if (leftOver == "cancel question") {
        QVERIFY(QMetaObject::invokeMethod(d->fixture.pluginObject, "permitCancel"));
        QCOMPARE(d->lastShownMessage().text, CancelQuestion);
    }
    QPointer<MessageWidgetController> message = d->lastShownMessage().controller;

    // The terminal moves on to the next customer before that message is through.
    if (hostDeletesScreen)
        delete d->viewer();
    else
        d->fixture.plugin->stop();
    QVERIFY(d->start());
    d->clearShown();
    const int sent = d->sentCount();

    if (leftOver == "parameter screen") {
        QVERIFY(screen);
        screen->setText("4321");
        screen->next();
        screen->back();
    } else {
        QVERIFY(message);
        message->accept();
    }
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
    QVERIFY(reachParameters());
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
    QTest::addColumn<bool>("stopFirst");
    QTest::newRow("next dialogue after stop") << true;
    QTest::newRow("next dialogue started without stop") << false;
}

void tst_Cancellation::phoneScreenWithoutPhoneParameter()
{
    QFETCH(bool, stopFirst);

    QVERIFY(d->start());
    QVERIFY(d->enter("9161234567"));
    if (stopFirst)
        d->fixture.plugin->stop();

    Provider phoneless(72000434, 434, "Без телефона", {ProviderParameter("account", "Счёт")});
    QVERIFY(d->fixture.plugin->start(&phoneless, Currency(643), &d->fixture.session));
    d->fixture.plugin->showInitScreen();
    QCOMPARE(d->lastShownInput().providerName, "Без телефона");
    QVERIFY2(d->lastShownInput().parameter.value().isEmpty(), "the previous customer's number is shown");
    QVERIFY(d->lastShownInput().parameter.name().isEmpty());
    d->fixture.plugin->stop();
}

QTEST_MAIN(tst_Cancellation)
#include "tst_cancellation.moc"
