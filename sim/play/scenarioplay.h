#ifndef SCENARIOPLAY_H
#define SCENARIOPLAY_H

#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QScopedPointer>

#include <functional>

#include "pluginbaseformviewer.h"
#include "provider.h"
#include "scenario.h"
#include "scenarioverdict.h"
#include "scriptedcustomer.h"

class IPayByProvider;
class MessageWidgetController;
class PluginProviderParameterInputController;
class QTimer;
class SessionManager;

// One dialogue of a scenario on the plugin, as every program that plays scenarios runs it: the
// pay screen opened for the scenario's provider, what the host puts on the screen relayed to
// the scripted customer once the plugin's own call is over, a watchdog, and the end summed up
// for the scenario's verdict. Without a customer (a person at the screen) it only relays.
class ScenarioPlay : public QObject
{
    Q_OBJECT
public:
    explicit ScenarioPlay(QObject *parent = nullptr);
    ~ScenarioPlay() override;

    // Whether a scripted customer plays, and how it reads the screens.
    void setCustomer(bool scripted, ScriptedCustomer::Mode mode = ScriptedCustomer::Mode::Scripted);
    // Who counts the requests of a play: the service in this process, or the terminal.
    void setRequestCounter(const std::function<int()> &count, bool countedByService);

    // Starts plugin for a fresh provider of scenario; the pay screen, or null when the plugin
    // gave none. The caller puts it on the screen and then calls begin().
    PluginBaseFormViewer *open(IPayByProvider *plugin, SessionManager *session,
                               const Scenario &scenario, int thinkMilliseconds);
    // Starts the watchdog (none for a timeout of 0) and shows the plugin's first screen.
    void begin(int timeoutMilliseconds);
    // Ends the play now, as stuck for the reason given; ended() follows.
    void abort(const QString &problem);
    // Ends the play without a word, as when the run is over for another reason.
    void stop();

    bool isRunning() const { return m_running; }
    Provider *provider() const { return m_provider.data(); }
    PluginBaseFormViewer *viewer() const { return m_viewer.data(); }
    const ScriptedCustomer *customer() const { return m_customer; }
    // What the play came to so far: end requests that come after the end still count.
    ScenarioVerdict::Play play() const;

signals:
    // The play is over: the plugin asked to end it, or play.problem says why it got stuck.
    // The terminal takes the screen back from the plugin.
    void ended(const ScenarioVerdict::Play &play);
    // What the customer sees, once the plugin's call is over and the screen has its final
    // look, before the customer is offered it.
    void screenShown(PluginProviderParameterInputController *screen);
    void messageShown(MessageWidgetController *message);
    void messageClosed(MessageWidgetController *message, int code);
    void customerActed(const QString &action);

private:
    void relayScreen(PluginProviderParameterInputController *screen);
    void relayMessage(MessageWidgetController *message);
    void relayClosed(MessageWidgetController *message, int code);
    void finish(Scenario::End end, const QString &problem, bool timedOut);

    IPayByProvider *m_plugin = nullptr;
    bool m_scripted = true;
    ScriptedCustomer::Mode m_mode = ScriptedCustomer::Mode::Scripted;
    std::function<int()> m_requestCount;
    bool m_countedByService = true;
    QScopedPointer<Provider> m_provider;
    QPointer<PluginBaseFormViewer> m_viewer;
    ScriptedCustomer *m_customer = nullptr;
    QTimer *m_watchdog;
    Scenario::End m_end = Scenario::End::Cancelled;
    int m_endRequests = 0;
    bool m_running = false;
};

#endif // SCENARIOPLAY_H
