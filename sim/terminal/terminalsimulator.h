#ifndef TERMINALSIMULATOR_H
#define TERMINALSIMULATOR_H

#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QScopedPointer>
#include <QtCore/QVariantMap>

#include "scenario.h"
#include "scenarioverdict.h"
#include "terminaloptions.h"

class CheckService;
class FormProject;
class InProcessBus;
class MessageWidgetController;
class PluginHost;
class PluginProviderParameterInputController;
class QTimer;
class Screenshotter;
class ScenarioRecorder;
class ScenarioPlay;
class SessionManager;
class TerminalBrokerLink;
class TerminalWindow;
class TranscriptPrinter;

// A payment terminal around the plugin, as the terminal application runs one: a session with
// the form project, the provider of the scenario, the bus to the simulated check service, the
// pay screen in the kiosk window. It plays the scenario's customer (or leaves the screen to a
// person), reports everything to the transcript, and judges the end against the scenario.
// With a broker the bus is a STOMP connection and the service another process: a scripted run
// then starts its dialogue once connected, and closes the connection before it ends.
class TerminalSimulator : public QObject
{
    Q_OBJECT
public:
    TerminalSimulator(const TerminalOptions &options, const Scenario &scenario,
                      const QString &origin, PluginHost *host, QObject *parent = nullptr);
    ~TerminalSimulator() override;

    // Wires the plugin to the bus and the service; false with the reason when the run cannot
    // start.
    bool prepare(QString *error);

public slots:
    // Opens a dialogue for the scenario's provider.
    void start();

signals:
    // The run is over; exitCode 0 when the scenario's expectations were met.
    void finished(int exitCode);

private slots:
    void screenShown(PluginProviderParameterInputController *screen);
    void messageShown(MessageWidgetController *message);
    void playEnded(const ScenarioVerdict::Play &play);
    void smsSent(const QString &msisdn, const QString &code);
    void timedOut();
    void windowClosed();
    void requestSent(const QVariantMap &request);

private:
    void printHeader();
    void writeRecording(Scenario::End end);
    void capture(const QString &tag);
    void end(Scenario::End end);
    void failNow(const QString &reason);
    void finish(int exitCode);
    void prepareInProcessBus();
    void prepareBroker();
    int requestCount() const;

    TerminalOptions m_options;
    Scenario m_scenario;
    QString m_origin;
    QPointer<PluginHost> m_host;
    FormProject *m_project;
    SessionManager *m_session;
    // In this process, the bus and the service; with a broker, the connection only.
    InProcessBus *m_bus = nullptr;
    CheckService *m_service = nullptr;
    TerminalBrokerLink *m_link = nullptr;
    unsigned int m_kovraId;
    TranscriptPrinter *m_printer;
    ScenarioPlay *m_play;
    Screenshotter *m_screenshots = nullptr;
    ScenarioRecorder *m_recorder = nullptr;
    // The wait for the broker's first answer.
    QTimer *m_watchdog;
    QScopedPointer<TerminalWindow> m_window;
    bool m_ended = false;
    bool m_finished = false;
    // Requests the pay screens sent over the broker.
    int m_sentRequests = 0;
    int m_exitCode = 0;
    // What the scripted customer's run came to, for a person who closes its end screen.
    int m_verdictCode = 0;
};

#endif // TERMINALSIMULATOR_H
