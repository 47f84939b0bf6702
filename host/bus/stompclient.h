#ifndef STOMPCLIENT_H
#define STOMPCLIENT_H

#include <QtCore/QElapsedTimer>
#include <QtCore/QHash>
#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QSet>
#include <QtCore/QString>

#include "busexport.h"
#include "stompframe.h"
#include "stompframeparser.h"

class QTcpSocket;
class QTimer;

// A STOMP 1.2 connection to a broker that stays up by itself. Once opened it connects, keeps
// the negotiated heart-beats in both directions and, when the connection drops, the broker
// falls silent or reports an ERROR, reconnects with an exponential back-off and subscribes
// again. A broker that refuses the login or a subscription would refuse it again: the client
// then stops and says so with refused(). Frames sent while there is no connection wait in a bounded queue; a SEND that the
// broker has not confirmed with a RECEIPT when the connection drops is sent again after the
// reconnection, so a receiver must tolerate duplicates (the check service's answers carry the
// request's uid for that). Nothing that was accepted is dropped without a signal or a warning.
class PAYMENTHOSTBUS_EXPORT StompClient : public QObject
{
    Q_OBJECT
public:
    struct PAYMENTHOSTBUS_EXPORT Settings {
        QString host = QStringLiteral("127.0.0.1");
        quint16 port = 61613;
        // Sent as CONNECT's host header, which RabbitMQ takes as the virtual host.
        QString virtualHost = QStringLiteral("/");
        QString login;
        QString passcode;
        // How often we can send beats and how often we want the broker's, in ms; 0 is never.
        int heartBeatSendMs = 10000;
        int heartBeatReceiveMs = 10000;
        int reconnectMinMs = 500;
        // A dialogue waits 60 s for an answer: a broker back after a restart is found well within it.
        int reconnectMaxMs = 10000;
        // For the TCP connection and the broker's CONNECTED together.
        int connectTimeoutMs = 10000;
        // Sends that may wait for a connection.
        int maxQueuedSends = 100;
        int maxFrameSize = StompFrameParser::DefaultMaxFrameSize;
        // Ask for a RECEIPT on every SEND and send it again when the connection drops first.
        bool confirmSends = true;

        // Reads "HOST:PORT" ("[::1]:61613" for an IPv6 address); false with *error set.
        bool setBroker(const QString &hostPort, QString *error = nullptr);
        QString broker() const;
        // Empty when usable, or what is wrong.
        QString validate() const;
    };

    enum State { UnconnectedState, ConnectingState, ConnectedState, ReconnectWaitState, ClosingState };
    Q_ENUM(State)
    enum Refusal { LoginRefused, SubscriptionRefused };
    Q_ENUM(Refusal)

    explicit StompClient(QObject *parent = nullptr);
    explicit StompClient(const Settings &settings, QObject *parent = nullptr);
    ~StompClient() override;

    Settings settings() const { return m_settings; }
    // Takes effect at the next connection.
    void setSettings(const Settings &settings);

    State state() const { return m_state; }
    bool isConnected() const { return m_state == ConnectedState; }

    // Starts connecting, and keeps the connection up until close(). False, with a warning and
    // *error set, when the settings are not usable.
    bool open(QString *error = nullptr);
    // DISCONNECT with a receipt, so that what was sent before is known to have arrived; then
    // closed() is emitted. Sends still waiting stay queued for the next open().
    void close();

    // Subscribes now and after every reconnection, acknowledging each message by itself
    // (client-individual); returns the subscription id.
    QString subscribe(const QString &destination);

    // A SEND of body to destination with extra headers (content-type, reply-to, ...). Queued
    // while there is no connection; false, and sendRefused() emitted, when the queue is full
    // or the frame cannot be written.
    bool send(const QString &destination, const QByteArray &body,
              const QList<StompFrame::Header> &headers = QList<StompFrame::Header>());

    // ACK for a MESSAGE this connection received, by its ack header. False when the message
    // came over an earlier connection (the broker delivers it again) or was acknowledged.
    bool ack(const StompFrame &message);

    // Sends waiting for a connection, and sent ones not yet confirmed.
    int queuedCount() const { return m_queue.size(); }
    int unconfirmedCount() const { return m_unconfirmed.size(); }

    // How many negotiated intervals the broker may stay silent before the connection counts as
    // dead. Brokers send their first beat up to two intervals late (ActiveMQ does), and a timer
    // may fire a little early: exactly two would drop healthy idle connections now and then.
    static constexpr double SilenceLimit = 2.5;

    // The agreed intervals of the current connection, in ms; 0 when none.
    int outgoingHeartBeatMs() const { return m_outgoingBeatMs; }
    int incomingHeartBeatMs() const { return m_incomingBeatMs; }

    // The heart-beat rule of the STOMP 1.2 protocol for one direction: none when either side
    // says 0, otherwise the larger of the two.
    static int negotiateHeartBeat(int wanted, int offered);

signals:
    void stateChanged(StompClient::State state);
    // CONNECTED arrived and the subscriptions are made again.
    void connected();
    // The connection ended other than by close(): the reason says why. A reconnection follows.
    void connectionLost(const QString &reason);
    // The broker sent ERROR; its connection is dropped and connectionLost() follows.
    void errorReceived(const QString &message, const QString &details);
    void messageReceived(const StompFrame &message);
    // The broker refused the login (reason names the credentials) or a subscription (reason
    // names the destination). The client has stopped, as trying again would be refused again;
    // a later open() tries once more.
    void refused(StompClient::Refusal refusal, const QString &reason);
    void reconnectScheduled(int delayMs);
    // A SEND that will not go out.
    void sendRefused(const StompFrame &frame, const QString &reason);
    void closed();

private slots:
    void connectNow();
    void socketConnected();
    void socketReadyRead();
    void socketDisconnected();
    void socketError();
    void connectTimedOut();
    void brokerSilent();
    void sendHeartBeat();
    void finishClose();

private:
    struct Subscription {
        QString id;
        QString destination;
    };
    struct Outgoing {
        StompFrame frame;
        int errors; // connections that ended in ERROR while it was unconfirmed
    };

    void setState(State state);
    void handleFrame(const StompFrame &frame);
    void handleConnected(const StompFrame &frame);
    // An ERROR that refuses the login or a subscription: reconnecting cannot help.
    QString refusalOf(const StompFrame &error, Refusal *refusal) const;
    void stopRefused(Refusal refusal, const QString &reason);
    void dropConnection(const QString &reason);
    void releaseSocket();
    void requeueUnconfirmed();
    QList<QPair<StompFrame, QString>> takeFailedSends(const QByteArray &receiptId,
                                                      const QString &message);
    void scheduleReconnect();
    bool writeFrame(const StompFrame &frame);
    void transmit(Outgoing outgoing);
    void sendSubscribe(const Subscription &subscription);

    Settings m_settings;
    State m_state = UnconnectedState;
    bool m_wanted = false;
    QPointer<QTcpSocket> m_socket;
    StompFrameParser m_parser;
    QTimer *m_reconnectTimer;
    QTimer *m_connectTimer;
    QTimer *m_beatTimer;
    QTimer *m_watchdog;
    QTimer *m_closeTimer;
    int m_outgoingBeatMs = 0;
    int m_incomingBeatMs = 0;
    int m_nextDelayMs = 0;
    bool m_resetBackoff = false;
    int m_failedAttempts = 0;
    QList<Subscription> m_subscriptions;
    int m_nextSubscription = 0;
    QList<Outgoing> m_queue;
    QList<Outgoing> m_unconfirmed;
    quint64 m_nextReceipt = 0;
    QSet<QByteArray> m_openAcks;
    // Receipts of this connection's SUBSCRIBEs not confirmed yet, to their destinations.
    QHash<QByteArray, QString> m_pendingSubscribes;
    QByteArray m_closeReceipt;
};

#endif // STOMPCLIENT_H
