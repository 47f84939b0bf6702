#ifndef STOMPCLIENT_H
#define STOMPCLIENT_H

#include <QtCore/QElapsedTimer>
#include <QtCore/QHash>
#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QSet>
#include <QtCore/QString>
#include <QtNetwork/QSslConfiguration>
#include <QtNetwork/QSslError>

#include "busexport.h"
#include "stompframe.h"
#include "stompframeparser.h"

class QSslSocket;
class QTimer;

// A STOMP 1.2 connection to a broker, or to one of several (a cluster's nodes), that stays up
// by itself. Once opened it connects to the first broker of the list that answers, plain or
// over TLS, keeps the negotiated heart-beats in both directions and, when the connection drops,
// the broker falls silent or reports an ERROR, moves on to the next broker of the list with an
// exponential back-off and subscribes again. What would fail again is final: a broker that
// refuses the login or a subscription, a TLS peer that cannot be trusted, no CONNECTED from
// any broker within the connection time-out after open(); the client then stops and says so
// with refused(). Frames sent while there is no connection wait in a bounded queue; a SEND that
// the broker has not confirmed with a RECEIPT when the connection drops is sent again after the
// reconnection, never one that was confirmed. Each SEND carries a send-id header of its own,
// the same on every copy, so that a receiver can drop copies (StompBus does). Nothing that was
// accepted is dropped without a signal or a warning.
class PAYMENTHOSTBUS_EXPORT StompClient : public QObject
{
    Q_OBJECT
public:
    struct PAYMENTHOSTBUS_EXPORT Address {
        QString host;
        quint16 port = 0;
        // "HOST:PORT", with an IPv6 address in brackets.
        QString text() const;
    };

    struct PAYMENTHOSTBUS_EXPORT Settings {
        // Tried in this order; a lost connection moves on to the next one.
        QList<Address> brokers{Address{QStringLiteral("127.0.0.1"), 61613}};
        // STOMP over TLS: the broker's certificate must be trusted and name the host connected to.
        bool tls = false;
        // PEM files: the CAs to trust (empty: the system's), and a client certificate and its key.
        QString caFile;
        QString certificateFile;
        QString keyFile;
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
        // From open() to the first CONNECTED, after which reconnecting goes on for ever; also
        // the bound of each attempt (shared among the brokers of a list before the first).
        int connectTimeoutMs = 30000;
        // Sends that may wait for a connection.
        int maxQueuedSends = 100;
        int maxFrameSize = StompFrameParser::DefaultMaxFrameSize;
        // Ask for a RECEIPT on every SEND and send it again when the connection drops first.
        bool confirmSends = true;

        // Reads "HOST:PORT" ("[::1]:61613" for an IPv6 address), or several separated by
        // commas; false with *error set.
        bool setBroker(const QString &hostPorts, QString *error = nullptr);
        // The list as setBroker() reads it.
        QString broker() const;
        // Empty when usable, or what is wrong.
        QString validate() const;
    };

    enum State { UnconnectedState, ConnectingState, ConnectedState, ReconnectWaitState, ClosingState };
    Q_ENUM(State)
    enum Refusal { LoginRefused, SubscriptionRefused, TlsRefused, NoConnection };
    Q_ENUM(Refusal)

    explicit StompClient(QObject *parent = nullptr);
    explicit StompClient(const Settings &settings, QObject *parent = nullptr);
    ~StompClient() override;

    Settings settings() const { return m_settings; }
    // Takes effect at the next connection.
    void setSettings(const Settings &settings);

    State state() const { return m_state; }
    bool isConnected() const { return m_state == ConnectedState; }
    // The broker of the list connected to, or tried last.
    QString currentBroker() const;
    // Connections that ended other than by close() once CONNECTED, since construction.
    int lostConnections() const { return m_lostConnections; }

    // Starts connecting, and keeps the connection up until close(). False, with a warning and
    // *error set, when the settings are not usable (TLS files included).
    bool open(QString *error = nullptr);
    // DISCONNECT with a receipt, so that what was sent before is known to have arrived; then
    // closed() is emitted. Sends still waiting stay queued for the next open().
    void close();

    // Subscribes now and after every reconnection, acknowledging each message by itself
    // (client-individual), with extra headers (RabbitMQ declares a queue from them); returns
    // the subscription id.
    QString subscribe(const QString &destination,
                      const QList<StompFrame::Header> &headers = QList<StompFrame::Header>());

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
    // names the destination), its TLS certificate or handshake failed, or no broker gave
    // CONNECTED in time. The client has stopped, as trying again would fail again; a later
    // open() tries once more.
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
    void firstConnectionTimedOut();
    void tlsErrors(const QList<QSslError> &errors);
    void brokerSilent();
    void sendHeartBeat();
    void finishClose();

private:
    struct Subscription {
        QString id;
        QString destination;
        QList<StompFrame::Header> headers;
    };
    struct Outgoing {
        StompFrame frame;
        int errors; // connections that ended in ERROR while it was unconfirmed
    };

    void setState(State state);
    bool prepareTls(QString *error);
    QString tlsProblem(const QString &socketError) const;
    bool closedAfterHandshake();
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
    QPointer<QSslSocket> m_socket;
    QSslConfiguration m_tls;
    QList<QSslError> m_tlsErrors;
    int m_current = 0;
    // Brokers tried since the last wait: a whole round fails before the back-off.
    int m_triedInRound = 0;
    bool m_everConnected = false;
    int m_lostConnections = 0;
    QString m_lastProblem;
    QElapsedTimer m_lostAt;
    QByteArray m_sendIdPrefix;
    quint64 m_nextSendId = 0;
    QTimer *m_firstConnectionTimer;
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
