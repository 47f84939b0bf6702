#include "servicedialogue.h"

#include "formproject.h"
#include "ipaybyprovider.h"
#include "messagewidgetcontroller.h"
#include "pluginbaseformviewer.h"
#include "pluginhost.h"
#include "pluginproviderparameterinputcontroller.h"
#include "provider.h"
#include "scenarioplay.h"
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
    , m_play(new ScenarioPlay(this))
{
    m_session->setActiveProject(m_project);
    // The service under check has texts of its own: the customer reads the screens, not the
    // scenario's expectations of them.
    m_play->setCustomer(true, ScriptedCustomer::Mode::ByName);
    connect(m_play, &ScenarioPlay::customerActed, this, [this](const QString &action) {
        emit shown(QStringLiteral("[customer] ") + action);
    });
    connect(m_play, &ScenarioPlay::screenShown, this, [this](PluginProviderParameterInputController *screen) {
        const ProviderParameter parameter = screen->parameter();
        emit shown(QStringLiteral("[screen]   %1: %2%3").arg(parameter.name(), TranscriptPrinter::quoted(parameter.label()),
                                                          parameter.isChoice() ? QStringLiteral(", a choice") : QString()));
    });
    connect(m_play, &ScenarioPlay::messageShown, this, [this](MessageWidgetController *message) {
        emit shown(QStringLiteral("[message]  ") + TranscriptPrinter::quoted(message->text()));
    });
    connect(m_play, &ScenarioPlay::ended, this, &ServiceDialogue::playEnded);
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
    PluginHost::attachBus(plugin, bus, kovraId);
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
    const int think = qMax(1, int(std::lround(scenario.customerDelay * 1000.0 * m_timeScale)));
    PluginBaseFormViewer *viewer = m_play->open(plugin, m_session, scenario, think);
    if (!viewer) {
        QTimer::singleShot(0, this, [this] {
            emit ended(QString(), QStringLiteral("the plugin's start() gave no pay screen"), QMap<QString, QString>());
        });
        return;
    }
    m_screen->addWidget(viewer);
    m_screen->setCurrentWidget(viewer);
    m_screen->show();
    m_play->begin(timeoutMilliseconds);
}

void ServiceDialogue::abort(const QString &problem)
{
    m_play->abort(problem);
}

void ServiceDialogue::playEnded(const ScenarioVerdict::Play &play)
{
    QMap<QString, QString> values;
    for (const ProviderParameter &parameter : play.providerParameters) {
        if (!parameter.value().isEmpty())
            values.insert(parameter.name(), parameter.value());
    }
    const QString end = play.problem.isEmpty() ? Scenario::endName(play.end) : QString();
    // The terminal takes the screen back from the plugin, as at the end of any payment.
    m_host->plugin()->stop();
    QTimer::singleShot(0, this, [this, end, play, values] { emit ended(end, play.problem, values); });
}
