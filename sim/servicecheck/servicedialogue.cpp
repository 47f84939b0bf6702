#include "servicedialogue.h"

#include "currency.h"
#include "formproject.h"
#include "hostmonitor.h"
#include "ipaybyprovider.h"
#include "kovrainfo.h"
#include "messagewidgetcontroller.h"
#include "pluginbaseformviewer.h"
#include "pluginhost.h"
#include "pluginproviderparameterinputcontroller.h"
#include "provider.h"
#include "scriptedcustomer.h"
#include "sessionmanager.h"
#include "transcriptprinter.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QFileInfo>
#include <QtCore/QTimer>
#include <QtWidgets/QStackedWidget>

#include <cmath>

ServiceDialogue::ServiceDialogue(PluginHost *host, double timeScale, QObject *parent)
    : QObject(parent)
    , m_host(host)
    , m_timeScale(timeScale)
    , m_project(new FormProject(FormProject::defaultProjectDir(), this))
    , m_session(new SessionManager(this))
    , m_screen(new QStackedWidget)
    , m_watchdog(new QTimer(this))
{
    m_session->setActiveProject(m_project);
    m_watchdog->setSingleShot(true);
    connect(m_watchdog, &QTimer::timeout, this, [this] {
        finish(QString(), QStringLiteral("the dialogue did not end within %1 s")
                              .arg(m_watchdog->interval() / 1000.0));
    });
}

ServiceDialogue::~ServiceDialogue()
{
    if (m_host && m_host->plugin())
        m_host->plugin()->stop();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool ServiceDialogue::attach(QObject *bus, unsigned int kovraId, QString *error)
{
    IPayByProvider *plugin = m_host ? m_host->plugin() : nullptr;
    if (!plugin) {
        *error = QStringLiteral("no plugin loaded");
        return false;
    }
    if (m_project->projectDir().isEmpty() || !QFileInfo(m_project->projectDir()).isDir()) {
        *error = QStringLiteral("no form project found beside the program");
        return false;
    }
    MessageWidgetController::setTimeScale(m_timeScale);
    plugin->setMessageReciever(bus, SLOT(send(QVariantMap)));
    plugin->setMessageSender(bus, SIGNAL(messageReceived(QVariantMap)));
    plugin->setKovraInfo(KovraInfo(kovraId));
    HostMonitor *monitor = HostMonitor::instance();
    connect(monitor, &HostMonitor::parameterShown, this, &ServiceDialogue::screenShown);
    connect(monitor, &HostMonitor::messageShown, this, &ServiceDialogue::messageShown);
    connect(monitor, &HostMonitor::messageClosed, this, &ServiceDialogue::messageClosed);
    return true;
}

void ServiceDialogue::play(const Scenario &scenario, int timeoutMilliseconds)
{
    IPayByProvider *plugin = m_host->plugin();
    if (!plugin->supportedProviders().contains(scenario.providerId)) {
        QTimer::singleShot(0, this, [this, scenario] {
            emit ended(QString(), QStringLiteral("the plugin does not serve provider %1").arg(scenario.providerId),
                       QMap<QString, QString>());
        });
        return;
    }
    delete m_customer;
    const int think = qMax(1, int(std::lround(scenario.customerDelay * 1000.0 * m_timeScale)));
    m_customer = new ScriptedCustomer(scenario.inputs, think, this);
    // The service under check has texts of its own: the customer reads the screens, not the
    // scenario's expectations of them.
    m_customer->setMode(ScriptedCustomer::Mode::ByName);
    connect(m_customer, &ScriptedCustomer::acted, this, [this](const QString &action) {
        emit shown(QStringLiteral("[customer] ") + action);
    });
    connect(m_customer, &ScriptedCustomer::failed, this, [this](const QString &reason) {
        finish(QString(), reason);
    });
    m_running = true;
    m_provider.reset(scenario.createProvider());
    IPayWidget *widget = plugin->start(m_provider.data(), Currency(643), m_session);
    m_viewer = dynamic_cast<PluginBaseFormViewer *>(widget);
    if (!m_viewer) {
        finish(QString(), QStringLiteral("the plugin's start() gave no pay screen"));
        return;
    }
    connect(m_viewer, &PluginBaseFormViewer::cancelRequested, this,
            [this] { finish(Scenario::endName(Scenario::End::Cancelled), QString()); }, Qt::QueuedConnection);
    connect(m_viewer, &PluginBaseFormViewer::payDetailRequested, this,
            [this] { finish(Scenario::endName(Scenario::End::Payment), QString()); }, Qt::QueuedConnection);
    m_screen->addWidget(m_viewer);
    m_screen->setCurrentWidget(m_viewer);
    m_screen->show();
    m_watchdog->start(timeoutMilliseconds);
    plugin->showInitScreen();
}

void ServiceDialogue::abort(const QString &problem)
{
    finish(QString(), problem);
}

void ServiceDialogue::screenShown(PluginProviderParameterInputController *screen)
{
    if (m_running) {
        const ProviderParameter parameter = screen->parameter();
        emit shown(QStringLiteral("[screen]   %1: %2%3").arg(parameter.name(), TranscriptPrinter::quoted(parameter.label()),
                                                          parameter.isChoice() ? QStringLiteral(", a choice") : QString()));
    }
    QPointer<PluginProviderParameterInputController> guarded(screen);
    QTimer::singleShot(0, this, [this, guarded] {
        if (guarded && m_running && m_customer)
            m_customer->offerScreen(guarded);
    });
}

void ServiceDialogue::messageShown(MessageWidgetController *message)
{
    if (m_running)
        emit shown(QStringLiteral("[message]  ") + TranscriptPrinter::quoted(message->text()));
    QPointer<MessageWidgetController> guarded(message);
    QTimer::singleShot(0, this, [this, guarded] {
        if (guarded && m_running && guarded->isOpen() && m_customer)
            m_customer->offerMessage(guarded);
    });
}

void ServiceDialogue::messageClosed(MessageWidgetController *message, int code)
{
    Q_UNUSED(code);
    if (m_running && m_customer)
        m_customer->messageClosed(message);
}

void ServiceDialogue::finish(const QString &end, const QString &problem)
{
    if (!m_running)
        return;
    m_running = false;
    m_watchdog->stop();
    if (m_customer)
        m_customer->stop();
    QMap<QString, QString> values;
    for (const ProviderParameter &parameter : m_provider->parameters()) {
        if (!parameter.value().isEmpty())
            values.insert(parameter.name(), parameter.value());
    }
    // The terminal takes the screen back from the plugin, as at the end of any payment.
    m_host->plugin()->stop();
    QTimer::singleShot(0, this, [this, end, problem, values] { emit ended(end, problem, values); });
}
