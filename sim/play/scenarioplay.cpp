#include "scenarioplay.h"

#include "currency.h"
#include "hostmonitor.h"
#include "ipaybyprovider.h"
#include "messagewidgetcontroller.h"
#include "pluginbaseformviewer.h"
#include "pluginproviderparameterinputcontroller.h"
#include "provider.h"

#include <QtCore/QTimer>

ScenarioPlay::ScenarioPlay(QObject *parent)
    : QObject(parent)
    , m_watchdog(new QTimer(this))
{
    m_watchdog->setSingleShot(true);
    connect(m_watchdog, &QTimer::timeout, this, [this] {
        finish(m_end, QStringLiteral("the dialogue did not end within %1 s").arg(m_watchdog->interval() / 1000.0), true);
    });
    HostMonitor *monitor = HostMonitor::instance();
    connect(monitor, &HostMonitor::parameterShown, this, &ScenarioPlay::relayScreen);
    connect(monitor, &HostMonitor::messageShown, this, &ScenarioPlay::relayMessage);
    connect(monitor, &HostMonitor::messageClosed, this, &ScenarioPlay::relayClosed);
}

ScenarioPlay::~ScenarioPlay() = default;

void ScenarioPlay::setCustomer(bool scripted, ScriptedCustomer::Mode mode)
{
    m_scripted = scripted;
    m_mode = mode;
}

void ScenarioPlay::setRequestCounter(const std::function<int()> &count, bool countedByService)
{
    m_requestCount = count;
    m_countedByService = countedByService;
}

PluginBaseFormViewer *ScenarioPlay::open(IPayByProvider *plugin, SessionManager *session,
                                         const Scenario &scenario, int thinkMilliseconds)
{
    m_plugin = plugin;
    m_endRequests = 0;
    delete m_customer;
    m_customer = nullptr;
    if (m_scripted) {
        m_customer = new ScriptedCustomer(scenario.inputs, thinkMilliseconds, this);
        m_customer->setMode(m_mode);
        connect(m_customer, &ScriptedCustomer::acted, this, &ScenarioPlay::customerActed);
        connect(m_customer, &ScriptedCustomer::failed, this,
                [this](const QString &reason) { finish(m_end, reason, false); });
    }
    // Each payment starts from the provider's blank form.
    m_provider.reset(scenario.createProvider());
    m_viewer = dynamic_cast<PluginBaseFormViewer *>(plugin->start(m_provider.data(), Currency(643), session));
    if (!m_viewer)
        return nullptr;
    m_running = true;
    // Counted as asked, the first one being the end; answered through the event loop, as the host must not delete the pay
    // screen or the plugin inside these signals.
    const auto requestEnd = [this](Scenario::End end) {
        if (++m_endRequests == 1)
            m_end = end;
        QMetaObject::invokeMethod(this, [this, end] { finish(end, QString(), false); }, Qt::QueuedConnection);
    };
    connect(m_viewer, &PluginBaseFormViewer::cancelRequested, this,
            [requestEnd] { requestEnd(Scenario::End::Cancelled); });
    connect(m_viewer, &PluginBaseFormViewer::payDetailRequested, this,
            [requestEnd] { requestEnd(Scenario::End::Payment); });
    return m_viewer;
}

void ScenarioPlay::begin(int timeoutMilliseconds)
{
    if (timeoutMilliseconds > 0)
        m_watchdog->start(timeoutMilliseconds);
    m_plugin->showInitScreen();
}

void ScenarioPlay::abort(const QString &problem)
{
    finish(m_end, problem, false);
}

void ScenarioPlay::stop()
{
    m_running = false;
    m_watchdog->stop();
    if (m_customer)
        m_customer->stop();
}

ScenarioVerdict::Play ScenarioPlay::play() const
{
    ScenarioVerdict::Play play;
    play.end = m_end;
    play.endRequests = m_endRequests;
    if (m_customer && m_customer->nextInput()) {
        play.unusedInputs = m_customer->inputCount() - m_customer->usedInputs();
        play.firstUnusedInput = m_customer->nextInput()->path;
    }
    if (m_provider)
        play.providerParameters = m_provider->parameters();
    play.requests = m_requestCount ? m_requestCount() : 0;
    play.requestsCountedByService = m_countedByService;
    return play;
}

void ScenarioPlay::relayScreen(PluginProviderParameterInputController *screen)
{
    // What a stopping plugin still shows is nobody's to see.
    if (!m_running)
        return;
    QPointer<PluginProviderParameterInputController> guarded(screen);
    QTimer::singleShot(0, this, [this, guarded] {
        if (!guarded || !m_running)
            return;
        emit screenShown(guarded);
        if (guarded && m_running && m_customer)
            m_customer->offerScreen(guarded);
    });
}

void ScenarioPlay::relayMessage(MessageWidgetController *message)
{
    // What a stopping plugin still shows is nobody's to see.
    if (!m_running)
        return;
    QPointer<MessageWidgetController> guarded(message);
    QTimer::singleShot(0, this, [this, guarded] {
        if (!guarded || !m_running || !guarded->isOpen())
            return;
        emit messageShown(guarded);
        if (guarded && m_running && m_customer)
            m_customer->offerMessage(guarded);
    });
}

void ScenarioPlay::relayClosed(MessageWidgetController *message, int code)
{
    if (!m_running)
        return;
    emit messageClosed(message, code);
    if (m_customer)
        m_customer->messageClosed(message);
}

void ScenarioPlay::finish(Scenario::End end, const QString &problem, bool timedOut)
{
    if (!m_running)
        return;
    m_end = end;
    stop();
    ScenarioVerdict::Play result = play();
    result.problem = problem;
    result.timedOut = timedOut;
    emit ended(result);
}
