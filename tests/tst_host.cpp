#include <QtTest/QtTest>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>

#include <memory>

#include "busprobe.h"
#include "inprocessbus.h"
#include "paymenti64idgenerator.h"
#include "pluginfixture.h"
#include "pluginviewloadhelper.h"
#include "widgetnames.h"

namespace {

const QString MessageType = QStringLiteral("tavrinPluginRequest");
const QString MessagesView = QStringLiteral("messagesView");

QVariantMap busMessage(const QString &msgType)
{
    return BusProbe::answer({{QStringLiteral("msgType"), msgType}, {QStringLiteral("uid"), "7"}});
}

QString shownText(WidgetsController *ui)
{
    return ui->widget<QLabel>(QStringLiteral("messageText"))->text();
}

QPushButton *button(WidgetsController *ui, const QString &name)
{
    return ui->widget<QPushButton>(name);
}

} // namespace

// The stand-in host as the plugin, the tests and the terminal simulator rely on it.
class tst_Host : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void valueTypes();
    void activeProject();
    void relaysItsOwnType_data();
    void relaysItsOwnType();
    void sendFillsEmptyType_data();
    void sendFillsEmptyType();
    void endpointsCanBeReplacedAndCleared();
    void busAnswersThroughTheEventLoop();
    void messageCloses_data();
    void messageCloses();
    void nextMessageOnTheSameForm_data();
    void nextMessageOnTheSameForm();
    void messageWithoutFormClosesOnTime();
    void replacedMessageLeavesTheNewerOne_data();
    void replacedMessageLeavesTheNewerOne();
    void controllersOutliveTheViewer();
    void deletingControllersEmitsNothing();
    void nextNeedsAnAcceptedValue_data();
    void nextNeedsAnAcceptedValue();
    void controllerMayBeReleasedBySlot_data();
    void controllerMayBeReleasedBySlot();
    void idsDiffer();
    void formViewerLoadsForms();
    void brokenFormIsRefused_data();
    void brokenFormIsRefused();
    void loadHelperSurvivesItsViewer();
    void pluginSharesTheHostClasses();

private:
    WidgetsController *messageForm();
    PluginProviderParameterInputController *inputFor(const ProviderParameter &parameter);

    double m_timeScale = 1.0;
    std::unique_ptr<FormProject> m_project;
    std::unique_ptr<SessionManager> m_session;
    std::unique_ptr<PluginBaseFormViewer> m_viewer;
    std::unique_ptr<PluginProviderParameterInputController> m_input;
};

void tst_Host::init()
{
    m_timeScale = MessageWidgetController::timeScale();
    m_project.reset(new FormProject(QStringLiteral(TAVRIN_FORMS_PATH)));
    m_session.reset(new SessionManager);
    m_session->setActiveProject(m_project.get());
    m_viewer.reset(new PluginBaseFormViewer(m_session.get(), nullptr, Currency(), MessageType));
}

void tst_Host::cleanup()
{
    m_input.reset();
    m_viewer.reset();
    m_session.reset();
    m_project.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    MessageWidgetController::setTimeScale(m_timeScale);
}

WidgetsController *tst_Host::messageForm()
{
    const QString file = QDir(m_project->projectDir()).filePath(WidgetNames().messageViewFileName());
    if (!m_viewer->getUi(MessagesView))
        m_viewer->loadFromFile(file, MessagesView, {});
    return m_viewer->getUi(MessagesView);
}

PluginProviderParameterInputController *tst_Host::inputFor(const ProviderParameter &parameter)
{
    m_input.reset(new PluginProviderParameterInputController(m_session.get(), m_viewer.get(),
                                                             QString(), QString()));
    m_input->setParameter(QStringLiteral("Провайдер"), parameter, false);
    return m_input.get();
}

void tst_Host::valueTypes()
{
    Provider provider(71000454, 454, QStringLiteral("Перевод"), {ProviderParameter("phone")});
    provider.parameters()[0].setValue(QStringLiteral("9123456789"));
    provider.parameters().append(ProviderParameter("card_num"));
    const Provider &seen = provider;
    QCOMPARE(seen.parameters().size(), 2);
    QCOMPARE(seen.parameters().first().value(), QStringLiteral("9123456789"));

    ProviderParameter full(QStringLiteral("pas_num"), QStringLiteral("Номер"), QStringLiteral("1"));
    full.setCheckLabel(QStringLiteral("Паспорт"));
    full.setRegExp(QStringLiteral("^\\d{6}$"));
    full.setMask(QStringLiteral("999999"));
    full.setKeyboardType(QStringLiteral("number"));
    full.setMaskedView(true);
    full.setValues({{QStringLiteral("Да"), 1}});
    ProviderParameter copy;
    copy = ProviderParameter(full);
    QCOMPARE((QStringList{copy.name(), copy.label(), copy.checkLabel(), copy.regExp(), copy.mask(),
                          copy.value(), copy.keyboardType()}),
             (QStringList{"pas_num", "Номер", "Паспорт", "^\\d{6}$", "999999", "1", "number"}));
    QVERIFY(copy.maskedView());
    QCOMPARE(copy.values(), (QVariantMap{{QStringLiteral("Да"), 1}}));

    QCOMPARE(Currency().number3(), 643);
    QCOMPARE(KovraInfo().kovraId(), 0u);
    QCOMPARE(KovraInfo(4000000000u).kovraId(), 4000000000u);
}

void tst_Host::activeProject()
{
    SessionManager session;
    QVERIFY(!session.activeProject());
    auto *project = new FormProject(QStringLiteral("/srv/forms"));
    session.setActiveProject(project);
    QCOMPARE(session.activeProject(), project);
    delete project;
    QVERIFY(!session.activeProject());
}

void tst_Host::relaysItsOwnType_data()
{
    QTest::addColumn<QVariantMap>("message");
    QTest::addColumn<bool>("relayed");

    QTest::newRow("its own type") << busMessage(MessageType) << true;
    QTest::newRow("another type") << busMessage("otherPluginRequest") << false;
    QTest::newRow("its type in another letter case") << busMessage("TavrinPluginRequest") << false;
    QTest::newRow("an empty type") << busMessage(QString()) << false;
    QTest::newRow("its type outside the body") << QVariantMap{{"msgType", MessageType}} << false;
}

void tst_Host::relaysItsOwnType()
{
    QFETCH(QVariantMap, message);
    QFETCH(bool, relayed);

    BusProbe bus;
    QVERIFY(m_viewer->setMessageSender(&bus, SIGNAL(deliver(QVariantMap))));
    QSignalSpy incoming(m_viewer.get(), SIGNAL(incomingMessage(QVariantMap)));
    bus.answerNow(message);
    QCOMPARE(incoming.count(), relayed ? 1 : 0);
    if (relayed)
        QCOMPARE(incoming.first().first().toMap(), message);
}

void tst_Host::sendFillsEmptyType_data()
{
    QTest::addColumn<QVariant>("msgType");
    QTest::addColumn<QString>("sentType");

    QTest::newRow("absent type filled in") << QVariant() << MessageType;
    QTest::newRow("empty type filled in") << QVariant(QString()) << MessageType;
    QTest::newRow("own type kept") << QVariant(QStringLiteral("otherRequest")) << "otherRequest";
}

void tst_Host::sendFillsEmptyType()
{
    QFETCH(QVariant, msgType);
    QFETCH(QString, sentType);

    BusProbe bus;
    QVERIFY(m_viewer->setMessageReciever(&bus, SLOT(take(QVariantMap))));
    QVariantMap message{{"uid", "17"}, {"params", QVariantMap{{"checkdata", "{}"}}}};
    if (msgType.isValid())
        message.insert(QStringLiteral("msgType"), msgType);
    m_viewer->sendStompMessage(message);

    message.insert(QStringLiteral("msgType"), sentType);
    QCOMPARE(bus.sent, QList<QVariantMap>{message});
}

void tst_Host::endpointsCanBeReplacedAndCleared()
{
    // Hosts hand signatures with or without the code that SIGNAL() and SLOT() put in front.
    const auto wire = [this](BusProbe *bus, const char *signal, const char *slot) {
        QVERIFY(m_viewer->setMessageSender(bus, signal));
        QVERIFY(m_viewer->setMessageReciever(bus, slot));
    };
    QSignalSpy incoming(m_viewer.get(), SIGNAL(incomingMessage(QVariantMap)));
    const auto exchange = [&](BusProbe *bus) {
        m_viewer->sendStompMessage({{"uid", "1"}});
        if (bus)
            bus->answerNow(busMessage(MessageType));
    };

    exchange(nullptr); // never wired: it goes nowhere
    BusProbe first, second;
    wire(&first, SIGNAL(deliver(QVariantMap)), SLOT(take(QVariantMap)));
    wire(&first, "deliver(QVariantMap)", "take(QVariantMap)");
    exchange(&first);
    QCOMPARE(first.sent.size(), 1);
    QCOMPARE(incoming.count(), 1);

    wire(&second, "2deliver(const QVariantMap &)", "take(const QVariantMap&)");
    exchange(&first);
    exchange(&second);
    QCOMPARE(first.sent.size(), 1);
    QCOMPARE(second.sent.size(), 2);
    QCOMPARE(incoming.count(), 2);

    m_viewer->setMessageSender(nullptr, SIGNAL(deliver(QVariantMap)));
    m_viewer->setMessageReciever(nullptr, SLOT(take(QVariantMap)));
    exchange(&second);
    QCOMPARE(second.sent.size(), 2);
    QCOMPARE(incoming.count(), 2);
}

void tst_Host::busAnswersThroughTheEventLoop()
{
    InProcessBus bus;
    QVERIFY(m_viewer->setMessageReciever(&bus, SLOT(send(QVariantMap))));
    QVERIFY(m_viewer->setMessageSender(&bus, SIGNAL(messageReceived(QVariantMap))));
    QSignalSpy requests(&bus, SIGNAL(requestReceived(QVariantMap)));
    QSignalSpy incoming(m_viewer.get(), SIGNAL(incomingMessage(QVariantMap)));
    int incomingRightAfterPublish = -1;
    connect(&bus, &InProcessBus::requestReceived, this, [&] {
        bus.publish(busMessage(MessageType));
        incomingRightAfterPublish = incoming.count();
    });

    m_viewer->sendStompMessage({{"uid", "7"}});
    QCOMPARE(requests.count(), 0);
    QTRY_COMPARE(incoming.count(), 1);
    QCOMPARE(incomingRightAfterPublish, 0);

    QSignalSpy cancel(m_viewer.get(), SIGNAL(cancelRequested()));
    QSignalSpy details(m_viewer.get(), SIGNAL(payDetailRequested(QVariantMap)));
    m_viewer->needCancel();
    m_viewer->needShowPayDetail({{"sum", 100}});
    QCOMPARE(cancel.count(), 1);
    QCOMPARE(details.first().first().toMap(), (QVariantMap{{"sum", 100}}));
}

void tst_Host::messageCloses_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("code");

    const int none = MessageWidgetController::NoButtons;
    const int ok = MessageWidgetController::OkButton;
    const int yesNo = MessageWidgetController::YesNoButtons;
    QTest::newRow("OK button gives 1") << ok << "okButton" << 1;
    QTest::newRow("Yes button gives 1") << yesNo << "yesButton" << 1;
    QTest::newRow("No button gives 0") << yesNo << "noButton" << 0;
    QTest::newRow("time running out gives 0") << ok << "timeout" << 0;
    QTest::newRow("waiting message running out gives 0") << none << "timeout" << 0;
    QTest::newRow("accept gives 1") << none << "accept" << 1;
    QTest::newRow("reject gives 0") << yesNo << "reject" << 0;
}

void tst_Host::messageCloses()
{
    QFETCH(int, buttons);
    QFETCH(QString, action);
    QFETCH(int, code);

    MessageWidgetController::setTimeScale(0.01);
    WidgetsController *ui = messageForm();
    QVERIFY(ui);
    MessageWidgetController message;
    message.setUi(ui);
    QStringList events;
    connect(&message, &MessageWidgetController::needClose, this,
            [&] { events << QStringLiteral("needClose, shown %1").arg(ui->isShown()); });
    connect(&message, &MessageWidgetController::finish, this,
            [&](int exitCode) { events << QStringLiteral("finish %1").arg(exitCode); });
    message.initMessage(QStringLiteral("Подождите"), action == "timeout" ? 1 : 60, buttons);
    QVERIFY(ui->isShown());
    QCOMPARE(shownText(ui), QStringLiteral("Подождите"));

    if (action.endsWith(QLatin1String("Button"))) {
        QVERIFY(button(ui, action)->isVisibleTo(ui->form()));
        button(ui, action)->click();
    } else if (action == "accept") {
        message.accept();
    } else if (action == "reject") {
        message.reject();
    }
    QTRY_COMPARE(events, (QStringList{"needClose, shown 0", QStringLiteral("finish %1").arg(code)}));
    message.close(1);
    QCOMPARE(events.size(), 2);
}

void tst_Host::nextMessageOnTheSameForm_data()
{
    QTest::addColumn<bool>("sameController");
    QTest::newRow("the same controller shows it") << true;
    QTest::newRow("a new controller shows it") << false;
}

void tst_Host::nextMessageOnTheSameForm()
{
    QFETCH(bool, sameController);

    WidgetsController *ui = messageForm();
    QVERIFY(ui);
    MessageWidgetController first, second;
    first.setUi(ui);
    first.initMessage(QStringLiteral("Ошибка"), 60, MessageWidgetController::OkButton);
    connect(&first, &MessageWidgetController::needClose, this, [&] {
        MessageWidgetController *next = sameController ? &first : &second;
        next->setUi(ui);
        next->initMessage(QStringLiteral("Отменить?"), 15, MessageWidgetController::YesNoButtons);
    });
    first.accept();
    QVERIFY(ui->isShown());
    QCOMPARE(shownText(ui), QStringLiteral("Отменить?"));
    QVERIFY(button(ui, QStringLiteral("yesButton"))->isVisibleTo(ui->form()));
}

void tst_Host::messageWithoutFormClosesOnTime()
{
    MessageWidgetController::setTimeScale(0.01);
    MessageWidgetController message;
    message.setUi(nullptr);
    QSignalSpy needClose(&message, SIGNAL(needClose()));
    QSignalSpy finish(&message, SIGNAL(finish(int)));
    message.initMessage(QStringLiteral("Подождите"), 1, MessageWidgetController::NoButtons);
    QVERIFY(finish.isEmpty());
    QTRY_COMPARE(finish.count(), 1);
    QCOMPARE(finish.first().first().toInt(), 0);
    QCOMPARE(needClose.count(), 1);
}

void tst_Host::replacedMessageLeavesTheNewerOne_data()
{
    QTest::addColumn<QString>("olderEnds");
    QTest::newRow("older one closed") << "closed";
    QTest::newRow("older one timed out") << "timed out";
    QTest::newRow("older one deleted") << "deleted";
    QTest::newRow("the form's No answers the newer one") << "noButton";
}

void tst_Host::replacedMessageLeavesTheNewerOne()
{
    QFETCH(QString, olderEnds);

    MessageWidgetController::setTimeScale(0.01);
    WidgetsController *ui = messageForm();
    QVERIFY(ui);
    auto *older = new MessageWidgetController(this);
    older->setUi(ui);
    older->initMessage(QStringLiteral("Отменить?"), olderEnds == "timed out" ? 1 : 60,
                       MessageWidgetController::YesNoButtons);
    QSignalSpy olderFinish(older, SIGNAL(finish(int)));
    MessageWidgetController newer;
    newer.setUi(ui);
    newer.initMessage(QStringLiteral("Точно отменить?"), 60, MessageWidgetController::YesNoButtons);

    if (olderEnds == "noButton") {
        button(ui, olderEnds)->click();
        QVERIFY(!newer.isOpen());
        QVERIFY(older->isOpen());
        QCOMPARE(olderFinish.count(), 0);
        return;
    }
    if (olderEnds == "closed")
        older->reject();
    else if (olderEnds == "timed out")
        QTRY_COMPARE(olderFinish.count(), 1);
    older->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QVERIFY(ui->isShown());
    QCOMPARE(shownText(ui), QStringLiteral("Точно отменить?"));
    QVERIFY(newer.isOpen());
}

void tst_Host::controllersOutliveTheViewer()
{
    MessageWidgetController::setTimeScale(0.01);
    MessageWidgetController message;
    message.setUi(messageForm());
    QVERIFY(message.ui());
    message.initMessage(QStringLiteral("Подождите"), 60, MessageWidgetController::OkButton);
    ProviderParameter code(QStringLiteral("smscode"));
    code.setMask(QStringLiteral("9999"));
    PluginProviderParameterInputController *input = inputFor(code);
    QVERIFY(input->ui());

    m_viewer.reset();
    QSignalSpy finish(&message, SIGNAL(finish(int)));
    message.accept();
    message.initMessage(QStringLiteral("Ещё раз"), 1, MessageWidgetController::NoButtons);
    QTRY_COMPARE(finish.count(), 2);

    QSignalSpy next(input, SIGNAL(needNext(QString)));
    input->setParameter(QStringLiteral("Провайдер"), code, false);
    input->setText(QStringLiteral("1234"));
    input->next();
    QCOMPARE(next.count(), 1);
}

void tst_Host::deletingControllersEmitsNothing()
{
    MessageWidgetController::setTimeScale(0.01);
    auto *message = new MessageWidgetController;
    message->setUi(messageForm());
    message->initMessage(QStringLiteral("Подождите"), 1, MessageWidgetController::OkButton);
    QSignalSpy needClose(message, SIGNAL(needClose()));
    QSignalSpy finish(message, SIGNAL(finish(int)));
    PluginProviderParameterInputController *input = inputFor(ProviderParameter("fam"));
    QSignalSpy next(input, SIGNAL(needNext(QString)));
    QSignalSpy back(input, SIGNAL(needBack()));

    message->deleteLater();
    m_input.release()->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTest::qWait(50); // past the message's time
    QCOMPARE(needClose.count() + finish.count() + next.count() + back.count(), 0);
}

void tst_Host::nextNeedsAnAcceptedValue_data()
{
    QTest::addColumn<QString>("regExp");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<bool>("choice");
    QTest::addColumn<QString>("entered");
    QTest::addColumn<bool>("accepted");

    const QString phone = QStringLiteral("(999) 999-99-99");
    QTest::newRow("anything without pattern or mask") << "" << "" << false << "abc" << true;
    QTest::newRow("whole match of the pattern") << "\\d{4}" << "" << false << "1234" << true;
    QTest::newRow("longer than the pattern") << "\\d{4}" << "" << false << "12345" << false;
    QTest::newRow("shorter than the pattern") << "\\d{4}" << "" << false << "123" << false;
    QTest::newRow("pattern with its own anchors") << "^9\\d{9}$" << "" << false << "9123456789" << true;
    QTest::newRow("an alternative is no way round the whole match")
        << "ab|c" << "" << false << "abx" << false;
    QTest::newRow("digits filling the mask") << "" << "9999" << false << "1234" << true;
    QTest::newRow("too few digits for the mask") << "" << "9999" << false << "123" << false;
    QTest::newRow("a letter in a digit mask") << "" << "9999" << false << "12a4" << false;
    QTest::newRow("phone mask filled") << "" << phone << false << "(912) 345-67-89" << true;
    QTest::newRow("phone mask without its fixed characters")
        << "" << phone << false << "9123456789" << false;
    QTest::newRow("pattern and mask both needed") << "\\(9.*" << phone << false << "(812) 345-67-89" << false;
    QTest::newRow("a choice ignores pattern and mask") << "\\d{4}" << "9999" << true << "2" << true;
    QTest::newRow("a choice needs a pick") << "" << "" << true << "" << false;
}

void tst_Host::nextNeedsAnAcceptedValue()
{
    QFETCH(QString, regExp);
    QFETCH(QString, mask);
    QFETCH(bool, choice);
    QFETCH(QString, entered);
    QFETCH(bool, accepted);

    ProviderParameter parameter(QStringLiteral("doc"), QStringLiteral("Документ"));
    parameter.setRegExp(regExp);
    parameter.setMask(mask);
    if (choice)
        parameter.setValues({{QStringLiteral("Паспорт"), 1}, {QStringLiteral("Вид на жительство"), 2}});
    PluginProviderParameterInputController *input = inputFor(parameter);
    QVERIFY(input->ui());
    if (!choice)
        input->setText(entered);
    else if (!entered.isEmpty())
        QVERIFY(input->choose(entered.toInt()));

    QSignalSpy next(input, SIGNAL(needNext(QString)));
    // The screen's button, idle while the value is not right, and the host's own call.
    button(input->ui(), QStringLiteral("nextButton"))->click();
    input->next();
    QCOMPARE(next.count(), accepted ? 2 : 0);
    if (accepted)
        QCOMPARE(next.first().first().toString(), entered);
}

void tst_Host::controllerMayBeReleasedBySlot_data()
{
    QTest::addColumn<QString>("screenButton");
    QTest::newRow("Next") << "nextButton";
    QTest::newRow("Back") << "backButton";
}

void tst_Host::controllerMayBeReleasedBySlot()
{
    QFETCH(QString, screenButton);

    PluginProviderParameterInputController *input = inputFor(ProviderParameter("fam"));
    QPointer<PluginProviderParameterInputController> guard(input);
    const auto release = [this] { m_input.reset(); };
    connect(input, &PluginProviderParameterInputController::needNext, this, release);
    connect(input, &PluginProviderParameterInputController::needBack, this, release);
    button(input->ui(), screenButton)->click();
    QVERIFY(!guard);
}

void tst_Host::idsDiffer()
{
    const QByteArray request("{\"msisdn\":\"79123456789\"}");
    QSet<qint64> ids;
    for (int i = 0; i < 1000; ++i)
        ids.insert(PaymentI64IdGenerator::generate(4242, request));
    QCOMPARE(ids.size(), 1000);
    QVERIFY(PaymentI64IdGenerator::generate(1, request) != PaymentI64IdGenerator::generate(2, request));
}

void tst_Host::formViewerLoadsForms()
{
    QVERIFY(!m_viewer->getUi(MessagesView));
    WidgetsController *ui = messageForm();
    QVERIFY(ui);
    QVERIFY(ui->isShown());
    QVERIFY(ui->widget<QLabel>(QStringLiteral("messageText")));

    // The host's own form project, where an installed host keeps it.
    const QString shipped = FormProject::defaultProjectDir();
    QVERIFY2(QFile::exists(QDir(shipped).filePath(WidgetNames().messageViewFileName())),
             qPrintable(shipped));
}

void tst_Host::brokenFormIsRefused_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("loaderWarning");
    QTest::addColumn<QString>("warning");

    QTest::newRow("missing file") << QByteArray() << QString() << "cannot read form";
    QTest::newRow("empty file") << QByteArray("") << "Designer: An error" << "not a form";
    QTest::newRow("not a form") << QByteArray("<html/>") << "Designer: Invalid UI file" << "not a form";
}

void tst_Host::brokenFormIsRefused()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, loaderWarning);
    QFETCH(QString, warning);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("messagesView.ui"));
    QFile file(path);
    if (!content.isNull())
        QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(content) == content.size(),
                 qPrintable(file.errorString()));
    file.close();
    WidgetsController *earlier = messageForm();
    QVERIFY(earlier);

    if (!loaderWarning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression('^' + loaderWarning));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression('^' + warning));
    QVERIFY(!m_viewer->loadFromFile(path, MessagesView, {}));
    QCOMPARE(m_viewer->getUi(MessagesView), earlier);
    QVERIFY(earlier->isShown());
}

void tst_Host::loadHelperSurvivesItsViewer()
{
    auto *viewer = new FormViewer(m_session.get(), false);
    PluginViewLoadHelper helper(200, QStringLiteral("tavrinPlugin"), QStringLiteral("/srv/forms"), viewer);
    QCOMPARE(helper.viewer(), viewer);
    delete viewer;
    QVERIFY(!helper.viewer());
    QCOMPARE(helper.formsDir(), QStringLiteral("/srv/forms/plugins/tavrinPlugin"));
}

void tst_Host::pluginSharesTheHostClasses()
{
    PluginFixture fixture;
    QVERIFY2(fixture.isLoaded(), qPrintable(fixture.errorString()));
    QTest::ignoreMessage(QtDebugMsg, "TavrinPluginHandler plugin destructor");
    IPayWidget *widget = fixture.plugin->start(fixture.provider.data(), Currency(), &fixture.session);
    fixture.viewer = dynamic_cast<PluginBaseFormViewer *>(widget);
    QVERIFY(fixture.viewer);
    fixture.plugin->showInitScreen();

    // Found by the meta-object of this program's one copy of the host library.
    PluginProviderParameterInputController *input = fixture.lastInput();
    QVERIFY(input);
    QCOMPARE(input->parameter().name(), QStringLiteral("phone"));
}

QTEST_MAIN(tst_Host)
#include "tst_host.moc"
