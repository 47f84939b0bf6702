#ifndef SCENARIORECORDER_H
#define SCENARIORECORDER_H

#include <QtCore/QElapsedTimer>
#include <QtCore/QJsonObject>
#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtCore/QVariantMap>

#include "scenario.h"

// Writes a live dialogue down as a scenario file: the played scenario's provider and customer
// as they stand in its file, and in place of its service the answers as they came, each as a
// "recorded" answer to its request with its delay, so that the file replays offline against
// the simulated service and reaches the same end.
class ScenarioRecorder : public QObject
{
    Q_OBJECT
public:
    // timeScale converts the real delays into the scenario's seconds.
    explicit ScenarioRecorder(double timeScale, QObject *parent = nullptr);

    // Takes the provider and customer from the scenario's file; false with the reason when it
    // cannot be read.
    bool setSource(const QString &path, QString *error);
    // Forgets what was recorded: a new dialogue begins.
    void restart();

    // The scenario as recorded; end is "payment" or "cancelled".
    QJsonObject scenario(const QString &end, const QMap<QString, QString> &providerValues) const;
    bool write(const QString &path, const QString &end, const QMap<QString, QString> &providerValues,
               QString *error) const;

public slots:
    void requestSent(const QVariantMap &request);
    void answerReceived(const QVariantMap &answer);

private:
    struct Exchange
    {
        QString uid;
        qint64 sentAt = 0;
        bool answered = false;
        QVariantMap answer;
        qint64 answeredAt = 0;
        bool echoesUid = false;
        int copies = 0;
    };

    const double m_timeScale;
    QJsonObject m_source;
    QString m_sourceName;
    QElapsedTimer m_clock;
    QList<Exchange> m_exchanges;
};

#endif // SCENARIORECORDER_H
