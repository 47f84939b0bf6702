#include <QtTest/QtTest>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QPushButton>

#include <memory>

#include "busprobe.h"
#include "inprocessbus.h"
#include "paymenti64idgenerator.h"
#include "pluginfixture.h"
#include "widgetnames.h"

namespace {

const QString MessageType = QStringLiteral("tavrinPluginRequest");
const QString MessagesView = QStringLiteral("messagesView");

QVariantMap busMessage(const QString &msgType)
{
    return BusProbe::answer({{"msgType", msgType}, {"uid", "7"}});
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

    void relaysItsOwnType_data();
    void relaysItsOwnType();
    void endpointsCanBeReplacedAndCleared();
    void busAnswersThroughTheEventLoop();
    void messageCloses_data();
    void messageCloses();
    void nextMessageOnTheSameForm_data();
    void nextMessageOnTheSameForm();
    void replacedMessageLeavesTheNewerOne_data();
    void replacedMessageLeavesTheNewerOne();
    void controllersOutliveTheViewer();
    void nextNeedsAnAcceptedValue_data();
    void nextNeedsAnAcceptedValue();
    void controllerMayBeReleasedBySlot_data();
    void controllerMayBeReleasedBySlot();
    void idsDiffer();
    void brokenFormIsRefused_data();
    void brokenFormIsRefused();

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
    // Message times a hundred times shorter: 1 s becomes 10 ms.
    m_timeScale = MessageWidgetController::timeScale();
    MessageWidgetController::setTimeScale(0.01);
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
    m_input->setParameter("Провайдер", parameter, false);
    return m_input.get();
}

void tst_Host::relaysItsOwnType_data()
{
    QTest::addColumn<QVariantMap>("message");
    QTest::addColumn<bool>("relayed");

    QTest::newRow("its own type") << busMessage(MessageType) << true;
    QTest::newRow("its type in another letter case") << busMessage("TavrinPluginRequest") << false;
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
    QCOMPARE(QList<QVariantList>(incoming), relayed ? QList<QVariantList>{{message}} : QList<QVariantList>());
}

void tst_Host::endpointsCanBeReplacedAndCleared()
{
    QSignalSpy incoming(m_viewer.get(), SIGNAL(incomingMessage(QVariantMap)));
    BusProbe first, second;
    // A request out and an answer in; the counts of both buses and of the answers relayed.
    const auto exchange = [&](BusProbe *bus) {
        m_viewer->sendStompMessage({{"uid", "1"}});
        if (bus)
            bus->answerNow(busMessage(MessageType));
        return QList<int>{first.sent.size(), second.sent.size(), incoming.count()};
    };

    QCOMPARE(exchange(nullptr), (QList<int>{0, 0, 0})); // never wired: it goes nowhere
    QVERIFY(m_viewer->setMessageSender(&first, SIGNAL(deliver(QVariantMap))));
    QVERIFY(m_viewer->setMessageReciever(&first, SLOT(take(QVariantMap))));
    // Hosts hand signatures with or without the code that SIGNAL() and SLOT() put in front;
    // wiring again replaces, never doubles.
    QVERIFY(m_viewer->setMessageSender(&first, "deliver(QVariantMap)"));
    QVERIFY(m_viewer->setMessageReciever(&first, "take(QVariantMap)"));
    QCOMPARE(exchange(&first), (QList<int>{1, 0, 1}));

    QVERIFY(m_viewer->setMessageSender(&second, "2deliver(const QVariantMap &)"));
    QVERIFY(m_viewer->setMessageReciever(&second, "take(const QVariantMap&)"));
    QCOMPARE(exchange(&first), (QList<int>{1, 1, 1}));
    QCOMPARE(exchange(&second), (QList<int>{1, 2, 2}));

    m_viewer->setMessageSender(nullptr, SIGNAL(deliver(QVariantMap)));
    m_viewer->setMessageReciever(nullptr, SLOT(take(QVariantMap)));
    QCOMPARE(exchange(&second), (QList<int>{1, 2, 2}));
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
    QTest::newRow("waiting message running out gives 0") << none << "timeout" << 0;
    QTest::newRow("message without its form still runs out") << none << "no form" << 0;
}

void tst_Host::messageCloses()
{
    QFETCH(int, buttons);
    QFETCH(QString, action);
    QFETCH(int, code);

    WidgetsController *ui = action == "no form" ? nullptr : messageForm();
    MessageWidgetController message;
    message.setUi(ui);
    QStringList events;
    connect(&message, &MessageWidgetController::needClose, this,
            [&] { events << QStringLiteral("needClose, shown %1").arg(ui && ui->isShown()); });
    connect(&message, &MessageWidgetController::finish, this,
            [&](int exitCode) { events << QStringLiteral("finish %1").arg(exitCode); });
    message.initMessage("Подождите", action == "timeout" || action == "no form" ? 1 : 60, buttons);
    if (ui) {
        QVERIFY(ui->isShown());
        QCOMPARE(shownText(ui), "Подождите");
    }

    if (action.endsWith("Button")) {
        QVERIFY(button(ui, action)->isVisibleTo(ui->form()));
        button(ui, action)->click();
    } else {
        QVERIFY(events.isEmpty());
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
    first.initMessage("Ошибка", 60, MessageWidgetController::OkButton);
    connect(&first, &MessageWidgetController::needClose, this, [&] {
        MessageWidgetController *next = sameController ? &first : &second;
        next->setUi(ui);
        next->initMessage("Отменить?", 15, MessageWidgetController::YesNoButtons);
    });
    first.accept();
    QVERIFY(ui->isShown());
    QCOMPARE(shownText(ui), "Отменить?");
    QVERIFY(button(ui, "yesButton")->isVisibleTo(ui->form()));
}

void tst_Host::replacedMessageLeavesTheNewerOne_data()
{
    QTest::addColumn<QString>("olderEnds");
    // Closing by hand takes the timer's path, and the deletion after it the destructor's.
    QTest::newRow("older one timed out, then deleted") << "timed out";
    QTest::newRow("the form's No answers the newer one") << "noButton";
}

void tst_Host::replacedMessageLeavesTheNewerOne()
{
    QFETCH(QString, olderEnds);

    WidgetsController *ui = messageForm();
    QVERIFY(ui);
    auto *older = new MessageWidgetController(this);
    older->setUi(ui);
    older->initMessage("Отменить?", olderEnds == "timed out" ? 1 : 60, MessageWidgetController::YesNoButtons);
    QSignalSpy olderFinish(older, SIGNAL(finish(int)));
    MessageWidgetController newer;
    newer.setUi(ui);
    newer.initMessage("Точно отменить?", 60, MessageWidgetController::YesNoButtons);

    if (olderEnds == "noButton") {
        button(ui, olderEnds)->click();
        QVERIFY(!newer.isOpen());
        QVERIFY(older->isOpen());
        QCOMPARE(olderFinish.count(), 0);
        return;
    }
    QTRY_COMPARE(olderFinish.count(), 1);
    older->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QVERIFY(ui->isShown());
    QCOMPARE(shownText(ui), "Точно отменить?");
    QVERIFY(newer.isOpen());
}

void tst_Host::controllersOutliveTheViewer()
{
    MessageWidgetController message;
    message.setUi(messageForm());
    QVERIFY(message.ui());
    message.initMessage("Подождите", 60, MessageWidgetController::OkButton);
    ProviderParameter code(QStringLiteral("smscode"));
    code.setMask(QStringLiteral("9999"));
    PluginProviderParameterInputController *input = inputFor(code);
    QVERIFY(input->ui());

    m_viewer.reset();
    QSignalSpy finish(&message, SIGNAL(finish(int)));
    message.accept();
    message.initMessage("Ещё раз", 1, MessageWidgetController::NoButtons);
    QTRY_COMPARE(finish.count(), 2);

    QSignalSpy next(input, SIGNAL(needNext(QString)));
    input->setParameter("Провайдер", code, false);
    input->setText("1234");
    input->next();
    QCOMPARE(next.count(), 1);
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
    QTest::newRow("an alternative is no way round the whole match")
        << "ab|c" << "" << false << "abx" << false;
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
        parameter.setValues({{"Паспорт", 1}, {"Вид на жительство", 2}});
    PluginProviderParameterInputController *input = inputFor(parameter);
    QVERIFY(input->ui());
    if (!choice)
        input->setText(entered);
    else if (!entered.isEmpty())
        QVERIFY(input->choose(entered.toInt()));

    QSignalSpy next(input, SIGNAL(needNext(QString)));
    // The screen's button, idle while the value is not right, and the host's own call.
    button(input->ui(), "nextButton")->click();
    input->next();
    const QList<QVariantList> twice{{entered}, {entered}};
    QCOMPARE(QList<QVariantList>(next), accepted ? twice : QList<QVariantList>());
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

void tst_Host::brokenFormIsRefused_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("loaderWarning");
    QTest::addColumn<QString>("warning");

    QTest::newRow("missing file") << QByteArray() << QString() << "cannot read form";
    QTest::newRow("not a form") << QByteArray("<html/>") << "Designer: Invalid UI file" << "not a form";
}

void tst_Host::brokenFormIsRefused()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, loaderWarning);
    QFETCH(QString, warning);

    QTemporaryDir dir;
    const QString path = dir.filePath("messagesView.ui");
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

QTEST_MAIN(tst_Host)
#include "tst_host.moc"
