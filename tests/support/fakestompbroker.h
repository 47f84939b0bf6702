#ifndef FAKESTOMPBROKER_H
#define FAKESTOMPBROKER_H

#include <QtCore/QHash>
#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtNetwork/QTcpServer>

#include "stompclient.h"
#include "stompframe.h"
#include "stompframeparser.h"

class QTcpSocket;
class QTimer;

// A STOMP broker on loopback that a test can script. It answers CONNECT, keeps SUBSCRIBEs,
// delivers the MESSAGEs a test gives it to one subscriber of their destination (as a queue
// does; held until one subscribes), confirms receipts, and records every frame and every
// heart-beat it gets. Its ack ids hold a ':' so that they go out escaped, as ActiveMQ's do. A test can also
// send any frame or raw bytes, drop the connections, stop listening and listen again.
class FakeStompBroker : public QObject
{
    Q_OBJECT
public:
    explicit FakeStompBroker(QObject *parent = nullptr);
    ~FakeStompBroker() override;

    // On 127.0.0.1; port 0 picks one, and listening again reuses the port of before.
    bool listen();
    void stopListening();
    QString errorString() const { return m_server.errorString(); }

    // Settings for a client of this broker: no heart-beats, quick reconnection.
    StompClient::Settings clientSettings() const;

    // What CONNECT gets: the heart-beat header of CONNECTED, or an ERROR with this message
    // when connectError is set, or nothing at all.
    QByteArray heartBeat = "0,0";
    bool sendsHeartBeats = true;
    // How often it beats, when not at the interval its header promises.
    int beatEveryMs = 0;
    QByteArray connectError;
    bool answersConnect = true;
    bool sendsReceipts = true;

    QList<StompFrame> received;
    QList<StompFrame> receivedOf(const QByteArray &command) const;
    QList<QByteArray> ackedIds() const;
    // Bytes of the connection as they came, and heart-beats (EOLs between frames) counted.
    QByteArray rawReceived(int connection) const;
    int heartBeatsReceived() const { return m_heartBeats; }
    int heartBeatsSent() const { return m_heartBeatsSent; }
    int connectionCount() const { return m_connections.size(); }

    // A MESSAGE to the subscriber of destination, as a routed SEND would give it; returns its
    // ack id. Held until someone subscribes.
    QByteArray deliver(const QString &destination, const QByteArray &body,
                       const QList<StompFrame::Header> &headers = QList<StompFrame::Header>());
    // To the last connection, or the one given.
    void sendFrame(const StompFrame &frame, int connection = -1);
    void sendRaw(const QByteArray &bytes, int connection = -1);
    void dropConnections();

signals:
    void frameReceived(const StompFrame &frame);

private slots:
    void acceptConnections();

private:
    struct Connection {
        QPointer<QTcpSocket> socket;
        StompFrameParser parser;
        QByteArray raw;
        QPointer<QTimer> beats;
    };
    struct Subscription {
        int connection;
        QByteArray id;
        QByteArray destination;
    };

    void readFrom(int index);
    void handle(int index, const StompFrame &frame);
    bool route(const StompFrame &message);

    QTcpServer m_server;
    quint16 m_port = 0;
    QList<Connection *> m_connections;
    QList<Subscription> m_subscriptions;
    QList<StompFrame> m_held;
    int m_nextMessage = 0;
    int m_heartBeats = 0;
    int m_heartBeatsSent = 0;
};

#endif // FAKESTOMPBROKER_H
