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
// request it answers (found by the uid the answer carries), so that any number of terminals
// can share one service. What crosses the broker, and how the connection fares, is told
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
    int takenRequests() const { return m_taken; }

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
    void sendAnswer(const QVariantMap &answer);
    void checkLimit();

private:
    void rememberReplyTo(const QString &uid, const QString &replyTo);

    CheckService *m_service;
    StompBus *m_bus;
    // Request uid to where its answers go; the oldest are forgotten past a bound, so that a
    // service that runs for days does not grow.
    QHash<QString, QString> m_replyTo;
    QHash<QString, int> m_requestNumbers;
    QQueue<QString> m_uidOrder;
    int m_limit = 0;
    int m_taken = 0;
    bool m_connected = false;
    bool m_stopping = false;
    bool m_finished = false;
};

#endif // BROKERSERVICE_H
