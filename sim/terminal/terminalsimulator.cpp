#include "terminalsimulator.h"

#include "checkservice.h"
#include "endscreen.h"
#include "formproject.h"
#include "inprocessbus.h"
#include "ipaybyprovider.h"
#include "messagewidgetcontroller.h"
#include "pluginbaseformviewer.h"
#include "pluginhost.h"
#include "pluginproviderparameterinputcontroller.h"
#include "provider.h"
#include "scenariocatalog.h"
#include "scenarioplay.h"
#include "scenariorecorder.h"
#include "screenshotter.h"
#include "sessionmanager.h"
#include "terminalbrokerlink.h"
#include "terminallog.h"
#include "terminalwindow.h"
#include "transcriptprinter.h"
#include "widgetnames.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QTimer>
#include <QtWidgets/QApplication>

#include <cmath>

namespace {

// How long the end screen stays up before a scripted run in a window closes.
const int EndScreenMilliseconds = 1500;

// How long a scripted run waits for the broker before it gives up: a broker that is up answers
// within a second, and a wrong address should not hold a test for long.
const int FirstConnectionSeconds = 15;

QString modeName(TerminalOptions::Mode mode)
{
    switch (mode) {
    case TerminalOptions::Mode::Headless:
        return QStringLiteral("headless");
    case TerminalOptions::Mode::Auto:
        return QStringLiteral("scripted in a window");
    case TerminalOptions::Mode::Interactive:
        return QStringLiteral("interactive");
    }
    return QString();
}

int scaled(double seconds, double scale)
{
    return int(std::lround(seconds * 1000.0 * scale));
}

} // namespace

TerminalSimulator::TerminalSimulator(const TerminalOptions &options, const Scenario &scenario,
                                     const QString &origin, PluginHost *host, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_scenario(scenario)
    , m_origin(origin)
    , m_host(host)
    , m_project(new FormProject(options.formsDir().isEmpty() ? FormProject::defaultProjectDir()
                                                             : options.formsDir(), this))
    , m_session(new SessionManager(this))
    , m_kovraId(options.broker().terminalId(scenario.kovraId))
    , m_printer(new TranscriptPrinter(this))
    , m_play(new ScenarioPlay(this))
    , m_watchdog(new QTimer(this))
    , m_window(new TerminalWindow)
{
    m_session->setActiveProject(m_project);
    m_watchdog->setSingleShot(true);
    connect(m_watchdog, &QTimer::timeout, this, &TerminalSimulator::timedOut);
}

TerminalSimulator::~TerminalSimulator()
{
    if (m_host && m_host->plugin())
        m_host->plugin()->stop();
    // The pay screen was the plugin's to release; what it scheduled goes before the window.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool TerminalSimulator::prepare(QString *error)
{
    IPayByProvider *plugin = m_host ? m_host->plugin() : nullptr;
    if (!plugin) {
        *error = QStringLiteral("no plugin loaded");
        return false;
    }
    const QString option = m_options.formsDir().isEmpty() ? QString() : QStringLiteral("--forms: ");
    if (m_project->projectDir().isEmpty() || !QFileInfo(m_project->projectDir()).isDir()) {
        *error = option.isEmpty()
            ? QStringLiteral("no form project found beside the program; name one with --forms")
            : QStringLiteral("%1%2 is not a folder").arg(option, m_options.formsDir());
        return false;
    }
    // Without them the screens would come up empty, and the customer could neither go on nor
    // cancel.
    const WidgetNames names;
    for (const QString &form : {names.messageViewFileName(), names.parameterInputViewFileName()}) {
        if (!QFileInfo(QDir(m_project->projectDir()).filePath(form)).isFile()) {
            *error = QStringLiteral("%1the form project %2 has no %3").arg(option, m_project->projectDir(), form);
            return false;
        }
    }
    if (!plugin->supportedProviders().contains(m_scenario.providerId)) {
        *error = QStringLiteral("the plugin does not serve provider %1 (scenario field provider.id)")
                     .arg(m_scenario.providerId);
        return false;
    }
    if (!m_options.screenshotDir().isEmpty()) {
        m_screenshots = new Screenshotter(m_options.screenshotDir(), this);
        if (!m_screenshots->prepare(error))
            return false;
    }

    const double scale = m_options.timeScale();
    MessageWidgetController::setTimeScale(scale);
    if (!m_options.recordPath().isEmpty()) {
        m_recorder = new ScenarioRecorder(scale, this);
        const QString source = QFileInfo(m_origin).isFile() ? m_origin : ScenarioCatalog::builtInPath();
        if (!m_recorder->setSource(source, error))
            return false;
    }
    if (m_options.broker().isEnabled()) {
        prepareBroker();
        PluginHost::attachBus(plugin, m_link->bus(), m_kovraId);
    } else {
        prepareInProcessBus();
        PluginHost::attachBus(plugin, m_bus, m_kovraId);
    }

    m_play->setCustomer(m_options.isScripted());
    m_play->setRequestCounter([this] { return requestCount(); }, m_service != nullptr);
    connect(m_play, &ScenarioPlay::screenShown, this, &TerminalSimulator::screenShown);
    connect(m_play, &ScenarioPlay::messageShown, this, &TerminalSimulator::messageShown);
    connect(m_play, &ScenarioPlay::messageClosed, m_printer, &TranscriptPrinter::messageClosed);
    connect(m_play, &ScenarioPlay::customerActed, m_printer, &TranscriptPrinter::customer);
    connect(m_play, &ScenarioPlay::ended, this, &TerminalSimulator::playEnded);
    EndScreen *endScreen = m_window->endScreen();
    // A scripted run plays its customer once; its end screen still shows what a person gets.
    endScreen->setAgainEnabled(!m_options.isScripted());
    connect(endScreen, &EndScreen::againClicked, this, &TerminalSimulator::start);
    connect(endScreen, &EndScreen::closeClicked, this, [this] { finish(m_verdictCode); });

    m_window->setWindowTitle(tr("Терминал: %1").arg(m_scenario.name));
    QApplication::setQuitOnLastWindowClosed(false);
    connect(qApp, &QGuiApplication::lastWindowClosed, this, &TerminalSimulator::windowClosed);
    printHeader();
    if (m_link && !m_link->open(error))
        return false;
    return true;
}

void TerminalSimulator::prepareInProcessBus()
{
    m_bus = new InProcessBus(this);
    m_service = new CheckService(m_scenario.service, this);
    m_service->setTimeScale(m_options.timeScale());
    // The transcript hears of a request before the service does, and of an answer before the
    // pay screen does.
    connect(m_bus, &InProcessBus::requestReceived, m_printer, &TranscriptPrinter::request);
    connect(m_bus, &InProcessBus::requestReceived, m_service, &CheckService::handleRequest);
    connect(m_service, &CheckService::answerReady, m_bus, &InProcessBus::publish);
    connect(m_bus, &InProcessBus::messageReceived, m_printer, &TranscriptPrinter::answer);
    connect(m_service, &CheckService::noted, m_printer, &TranscriptPrinter::service);
    connect(m_service, &CheckService::smsSent, this, &TerminalSimulator::smsSent);
    if (m_recorder) {
        connect(m_bus, &InProcessBus::requestReceived, m_recorder, &ScenarioRecorder::requestSent);
        connect(m_bus, &InProcessBus::messageReceived, m_recorder, &ScenarioRecorder::answerReceived);
    }
}

void TerminalSimulator::prepareBroker()
{
    m_link = new TerminalBrokerLink(m_options.broker().settings(m_kovraId), this);
    // Answers reach the transcript as they come off the broker, before the pay screen has them.
    connect(m_link->bus(), &StompBus::messageReceived, m_printer, &TranscriptPrinter::answer);
    if (m_recorder)
        connect(m_link->bus(), &StompBus::messageReceived, m_recorder, &ScenarioRecorder::answerReceived);
    connect(m_link, &TerminalBrokerLink::noted, m_printer, [this](const QString &text) {
        m_printer->line(QStringLiteral("broker"), text);
    });
    connect(m_link, &TerminalBrokerLink::ready, this, [this] {
        m_watchdog->stop();
        start();
    });
    connect(m_link, &TerminalBrokerLink::closed, this, [this] {
        if (m_finished)
            emit finished(m_exitCode);
    });
    connect(m_link, &TerminalBrokerLink::refused, this, [this](const QString &reason) {
        if (m_finished)
            return;
        m_ended = true;
        m_watchdog->stop();
        m_play->stop();
        if (m_host && m_host->plugin())
            m_host->plugin()->stop();
        m_printer->verdict(false, QStringList{reason});
        // As with any other unusable setting: trying again cannot help.
        finish(2);
    });
}

void TerminalSimulator::requestSent(const QVariantMap &request)
{
    ++m_sentRequests;
    m_printer->request(request);
}

int TerminalSimulator::requestCount() const
{
    return m_service ? m_service->requestCount() : m_sentRequests;
}

void TerminalSimulator::printHeader()
{
    m_printer->header(QStringLiteral("%1 (%2)").arg(m_scenario.name, m_origin), m_scenario.description);
    m_printer->plugin(m_host->fileName(), m_host->plugin());
    m_printer->line(QStringLiteral("provider"), QStringLiteral("%1 (base %2) %3")
                                                    .arg(m_scenario.providerId)
                                                    .arg(m_scenario.baseProviderId)
                                                    .arg(TranscriptPrinter::quoted(m_scenario.providerName)));
    m_printer->line(QStringLiteral("terminal"), QStringLiteral("id %1, %2, time scale %3, language %4, forms in %5")
                                                    .arg(m_kovraId)
                                                    .arg(modeName(m_options.mode()))
                                                    .arg(m_options.timeScale())
                                                    .arg(m_options.language(), m_project->projectDir()));
    m_printer->line(QStringLiteral("bus"),
                    m_link ? QStringLiteral("broker %1").arg(m_options.broker().describe(m_kovraId))
                             : QStringLiteral("in this process, with the scenario's service"));
}

void TerminalSimulator::start()
{
    IPayByProvider *plugin = m_host ? m_host->plugin() : nullptr;
    if (!plugin || m_finished)
        return;
    if (m_link && !m_link->hasConnected() && m_options.isScripted()) {
        // Held until the broker answers, so that the scenario's timing starts with the dialogue.
        if (!m_link->isWaiting()) {
            m_link->waitForConnection();
            const double limit = m_options.timeout() > 0
                                     ? qMin<double>(m_options.timeout(), FirstConnectionSeconds)
                                     : FirstConnectionSeconds;
            m_watchdog->start(int(limit * 1000));
        }
        return;
    }
    m_ended = false;
    PluginBaseFormViewer *viewer = m_play->open(plugin, m_session, m_scenario,
                                                qMax(1, scaled(m_scenario.customerDelay, m_options.timeScale())));
    if (!viewer) {
        failNow(QStringLiteral("the plugin's start() gave no pay screen"));
        return;
    }
    if (m_link) {
        // A request crosses the broker as the pay screen hands it to the connection.
        connect(viewer, &PluginBaseFormViewer::outgoingMessage, this, &TerminalSimulator::requestSent);
        if (m_recorder)
            connect(viewer, &PluginBaseFormViewer::outgoingMessage, m_recorder, &ScenarioRecorder::requestSent);
    }
    if (m_recorder)
        m_recorder->restart();
    // The SMS of the payment before means nothing to this one.
    m_window->clearPhone();
    m_window->setPayScreen(viewer);
    m_window->show();
    m_printer->line(QStringLiteral("start"), QStringLiteral("dialogue for provider %1").arg(m_play->provider()->id()));
    m_play->begin(m_options.timeout() > 0 ? int(m_options.timeout() * 1000) : 0);
}

void TerminalSimulator::screenShown(PluginProviderParameterInputController *screen)
{
    m_printer->screen(screen, false);
    capture(QStringLiteral("screen-") + screen->parameter().name());
}

void TerminalSimulator::messageShown(MessageWidgetController *message)
{
    m_printer->message(message);
    capture(message->buttons() == MessageWidgetController::YesNoButtons ? QStringLiteral("question")
                                                                        : QStringLiteral("message"));
}

void TerminalSimulator::smsSent(const QString &msisdn, const QString &code)
{
    m_printer->sms(msisdn, code);
    m_window->setPhoneText(tr("Телефон клиента +%1: SMS «Код подтверждения: %2»").arg(msisdn, code));
}

void TerminalSimulator::capture(const QString &tag)
{
    if (!m_screenshots)
        return;
    const QString problem = m_screenshots->capture(m_window.data(), tag);
    if (!problem.isEmpty())
        qCWarning(lcTerminal).noquote() << problem;
}

void TerminalSimulator::playEnded(const ScenarioVerdict::Play &play)
{
    if (play.timedOut) {
        const ScriptedCustomer *customer = m_play->customer();
        failNow(QStringLiteral("the dialogue did not end within %1 s (the customer used %2 of %3 inputs); "
                               "raise --timeout if the scenario is that long")
                    .arg(m_options.timeout())
                    .arg(customer ? customer->usedInputs() : 0)
                    .arg(customer ? customer->inputCount() : 0));
    } else if (!play.problem.isEmpty()) {
        failNow(play.problem);
    } else {
        end(play.end);
    }
}

void TerminalSimulator::end(Scenario::End end)
{
    if (m_ended || m_finished)
        return;
    m_ended = true;
    m_watchdog->stop();
    m_play->stop();
    EndScreen *endScreen = m_window->endScreen();
    if (end == Scenario::End::Payment) {
        m_printer->paymentDetails(*m_play->provider());
        endScreen->showPaymentDetails(*m_play->provider());
    } else {
        m_printer->cancellation();
        endScreen->showCancellation();
    }
    // The terminal takes the screen back from the plugin.
    if (m_host && m_host->plugin())
        m_host->plugin()->stop();
    m_window->showEndScreen();

    QTimer::singleShot(0, this, [this, end] {
        capture(end == Scenario::End::Payment ? QStringLiteral("end-payment") : QStringLiteral("end-cancelled"));
        if (!m_options.isScripted())
            return;
        ScenarioVerdict::Play play = m_play->play();
        play.end = end;
        const ScenarioVerdict verdict(m_scenario, play);
        m_printer->verdict(verdict.passed(), verdict.passed() ? verdict.passes() : verdict.failures());
        writeRecording(end);
        const int code = verdict.passed() ? 0 : 1;
        m_verdictCode = code;
        if (m_options.mode() == TerminalOptions::Mode::Auto)
            QTimer::singleShot(EndScreenMilliseconds, this, [this, code] { finish(code); });
        else
            finish(code);
    });
}

void TerminalSimulator::writeRecording(Scenario::End end)
{
    if (!m_recorder)
        return;
    QMap<QString, QString> values;
    for (const ProviderParameter &parameter : m_play->provider()->parameters()) {
        if (!parameter.value().isEmpty())
            values.insert(parameter.name(), parameter.value());
    }
    QString error;
    if (m_recorder->write(m_options.recordPath(), Scenario::endName(end), values, &error))
        m_printer->line(QStringLiteral("record"), QStringLiteral("the dialogue is in %1").arg(m_options.recordPath()));
    else
        qCWarning(lcTerminal).noquote() << error;
}

void TerminalSimulator::timedOut()
{
    if (m_link && m_link->isWaiting()) {
        const QString reason = m_link->giveUp(m_watchdog->interval() / 1000.0);
        m_printer->verdict(false, QStringList{reason});
        // The run could not start, as with any other unusable setting.
        finish(2);
    }
}

void TerminalSimulator::failNow(const QString &reason)
{
    if (m_finished)
        return;
    capture(QStringLiteral("failure"));
    m_ended = true;
    m_watchdog->stop();
    m_play->stop();
    m_printer->verdict(false, QStringList{reason});
    if (m_host && m_host->plugin())
        m_host->plugin()->stop();
    finish(1);
}

void TerminalSimulator::windowClosed()
{
    if (m_finished)
        return;
    if (m_options.isScripted() && !m_ended)
        failNow(QStringLiteral("the window was closed before the dialogue ended"));
    else
        finish(0);
}

void TerminalSimulator::finish(int exitCode)
{
    if (m_finished)
        return;
    m_finished = true;
    m_exitCode = exitCode;
    // With a broker, the run ends once the connection is closed.
    if (m_link && m_link->close())
        return;
    emit finished(exitCode);
}
