#ifndef BROKERSERVICE_H
#define BROKERSERVICE_H

#include <QtCore/QHash>
#include <QtCore/QObject>
#include <QtCore/QQueue>
#include <QtCore/QString>
#include <QtCore/QVariantMap>

#include "checkservicebehaviour.h"
#include "stompbus.h"

class CheckService;

// The simulated check service as a process of its own on a broker. Each request taken from
// the request destination goes to the service, and each answer goes to the reply-to of the
// request it answers, so that any number of terminals can share one service: never by the uid
// the answer carries, which two terminals may both send, or a faulty answer may not carry. What crosses the broker, and how the connection fares, is told
// through logLine() for the service's log.
class BrokerService : public QObject
{
    Q_OBJECT
public:
    BrokerService(const CheckServiceBehaviour &behaviour, const StompBus::Settings &settings,
                  QObject *parent = nullptr);
    ~BrokerService() override;

    CheckService *service() const { return m_service; }
    StompBus *bus() const { return m_bus; }

    // Ends the run once this many requests are answered, every copy sent; 0 runs until stop().
    void setRequestLimit(int requests) { m_limit = requests; }
    int requestLimit() const { return m_limit; }
    // Requests handed to the service.
    int takenRequests() const { return m_takenCount; }

    // Connects and subscribes; false, with *error set, when the settings are not usable.
    bool open(QString *error);

public slots:
    // Closes the connection after what was sent is confirmed, or at once when there is no
    // connection; finished() follows. Answers not due yet are not sent.
    void stop();

signals:
    void logLine(QString tag, QString text);
    void finished();
    // The broker refused the login or the subscription; reason says which, and the option to
    // check. The service has stopped.
    void refused(QString reason);

private slots:
    void takeRequest(const QVariantMap &request, const QString &replyTo);
    void sendAnswer(const QVariantMap &answer, int serviceNumber);
    void checkLimit();

private:
    void remember(int serviceNumber, int number, const QString &uid, const QString &replyTo);

    struct Taken {
        int number; // as the log counts requests
        QString replyTo;
    };
    CheckService *m_service;
    StompBus *m_bus;
    // The service's request number to where its answers go; the oldest are forgotten past a
    // bound, so that a service that runs for days does not grow.
    QHash<int, Taken> m_taken;
    QQueue<int> m_order;
    // The uids of the remembered requests, only to tell the log when one comes again.
    QHash<QString, int> m_numberOfUid;
    int m_limit = 0;
    int m_takenCount = 0;
    bool m_connected = false;
    bool m_stopping = false;
    bool m_finished = false;
};

#endif // BROKERSERVICE_H
