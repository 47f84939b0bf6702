#ifndef CONFORMANCERUN_H
#define CONFORMANCERUN_H

#include <QtCore/QElapsedTimer>
#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtCore/QPointer>

#include "checkreport.h"
#include "scenario.h"
#include "servicecheckoptions.h"

class AnswerWatch;
class PipeService;
class PluginHost;
class QTextStream;
class QTimer;
class ScenarioRecorder;
class ServiceDialogue;
class StompBus;

// The conformance check: plays each scenario's dialogue in turn against the service, every
// answer judged on its way to the plugin, and reports what was broken and how much was
// exercised. A dialogue that breaks a rule, gets stuck or loses its service does not stop the
// run; the next one goes on. A failing dialogue is written out as a scenario to replay.
class ConformanceRun : public QObject
{
    Q_OBJECT
public:
    struct Entry
    {
        QString path;
        Scenario scenario;
    };

    ConformanceRun(const ServiceCheckOptions &options, const QList<Entry> &scenarios,
                   PluginHost *host, QTextStream *out, QObject *parent = nullptr);
    ~ConformanceRun() override;

    // False with the reason when the check cannot run at all.
    bool prepare(QString *error);
    const CheckReport &report() const { return m_report; }

public slots:
    void start();

signals:
    // 0 nothing broken, 1 a rule broken, 2 the check could not run.
    void finished(int exitCode);

private slots:
    void dialogueEnded(const QString &end, const QString &problem, const QMap<QString, QString> &values);
    void serviceExited();

private:
    void next();
    void drain();
    void pollDrain();
    void closeDialogue();
    void stop(int exitCode, const QString &problem = QString());
    // Where failing dialogues are written for replay when --record names no directory.
    QString replayDir() const;

    ServiceCheckOptions m_options;
    QList<Entry> m_scenarios;
    QPointer<PluginHost> m_host;
    QTextStream *m_out;
    AnswerWatch *m_watch;
    ServiceDialogue *m_dialogue;
    ScenarioRecorder *m_recorder = nullptr;
    StompBus *m_bus = nullptr;
    PipeService *m_pipe = nullptr;
    QTimer *m_timer;
    QElapsedTimer m_drainClock;
    qint64 m_drainLimit = 0;
    int m_index = -1;
    CheckReport m_report;
    CheckReport::Dialogue m_current;
    int m_requestsBefore = 0;
    int m_answersBefore = 0;
    int m_violationsBefore = 0;
    int m_notesBefore = 0;
    int m_sentBefore[2] = {0, 0};
    int m_answeredBefore[2] = {0, 0};
    // Dialogues whose service ended before its first answer, and how the last one ended.
    int m_pipeDeadEarly = 0;
    int m_dialoguesAsking = 0;
    bool m_diedEarly = false;
    QString m_lastExit;
    QMap<QString, QString> m_values;
    bool m_started = false;
    bool m_stopped = false;
    int m_exitCode = 0;
};

#endif // CONFORMANCERUN_H
