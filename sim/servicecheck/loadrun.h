#ifndef LOADRUN_H
#define LOADRUN_H

#include <QtCore/QElapsedTimer>
#include <QtCore/QHash>
#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtCore/QVariantMap>
#include <QtCore/QVector>

#include "scenario.h"
#include "servicecheckoptions.h"

class PipeService;
class QTextStream;
class QTimer;
class StompBus;

// Loads a check service with many terminals at once. A process holds one instance of the
// plugin, so the terminals here do not run the plugin: each sends the plugin's two requests,
// built as the plugin builds them (the phone number, then the SMS code, from the scenario's
// customer), from its own id and on its own reply destination, and starts its next dialogue
// as soon as the last one is over. It counts what a terminal would suffer: answers lost,
// duplicated, late, or meant for another terminal, the service's errors, each answer rule
// broken, and the connections lost, and measures the answers' latency after a warm-up.
class LoadRun : public QObject
{
    Q_OBJECT
public:
    LoadRun(const ServiceCheckOptions &options, const Scenario &scenario, QTextStream *out,
            QObject *parent = nullptr);
    ~LoadRun() override;

    bool prepare(QString *error);
    // The load report, as --json writes it.
    QVariantMap toVariant() const;

public slots:
    void start();

signals:
    void finished(int exitCode);

private:
    struct Terminal
    {
        unsigned int id = 0;
        StompBus *bus = nullptr;
        QString replyDestination;
        int dialogues = 0;
        int step = 0;
        QString pendingUid;
        QTimer *wait = nullptr;
        bool done = false;
        // The parameters of this dialogue's first answer, which a terminal keeps.
        QVariantList firstParameters;
        int completed = 0;
        int failed = 0;
        int lost = 0;
        int answers = 0;
        int violations = 0;
        int connections = 0;
        // When the connection was lost; negative while connected.
        qint64 lostAt = -1;
    };
    struct Sent
    {
        int terminal = -1;
        qint64 sentAt = 0;
        int answers = 0;
        bool lost = false;
        int step = 0;
        // Sent in a terminal's warm-up: left out of the latency figures.
        bool warmUp = false;
    };

    void begin();
    void sendStep(int terminal, int step);
    void takeAnswer(int terminal, const QVariantMap &answer);
    void dialogueOver(int terminal);
    // The run's count of what each terminal counts.
    int total(int Terminal::*count) const;
    void progress(bool last);
    void report();
    void judge(int terminal, const Sent &sent, const QString &uid, const QVariantMap &answer);
    void connectionUp(int terminal);
    void connectionDown(int terminal);
    int warmUp() const;
    void stop(int exitCode, const QString &problem = QString());
    QVariantMap request(const Terminal &terminal, int step, QString *uid) const;

    ServiceCheckOptions m_options;
    Scenario m_scenario;
    QTextStream *m_out;
    QString m_msisdn;
    QString m_smsCode;
    PipeService *m_pipe = nullptr;
    QVector<Terminal> m_terminals;
    int m_connected = 0;
    int m_reconnects = 0;
    qint64 m_longestGap = 0;
    int m_finishedTerminals = 0;
    QTimer *m_connectLimit;
    // Requests in flight and answered, by uid.
    QHash<QString, Sent> m_sent;
    quint64 m_counter = 0;
    int m_duplicated = 0;
    int m_late = 0;
    int m_foreign = 0;
    int m_errors = 0;
    QMap<QString, int> m_violations;
    QMap<QString, int> m_notes;
    QElapsedTimer m_clock;
    QList<qint64> m_latencies;
    qint64 m_startedAt = 0;
    qint64 m_endedAt = 0;
    QTimer *m_progress;
    bool m_reportFailed = false;
    bool m_running = false;
    bool m_stopped = false;
    int m_exitCode = 0;
    int m_closing = 0;
};

#endif // LOADRUN_H
