#ifndef FAKESTOMPBROKER_H
#define FAKESTOMPBROKER_H

#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtNetwork/QSslConfiguration>
#include <QtNetwork/QTcpServer>

#include "stompclient.h"
#include "stompframe.h"
#include "stompframeparser.h"

class QTcpSocket;

// Accepts each connection as a QSslSocket, encrypted when a configuration with a certificate
// is set (Qt 5 has no QSslServer).
class FakeStompServer : public QTcpServer
{
public:
    using QTcpServer::QTcpServer;
    QSslConfiguration tls;

protected:
    void incomingConnection(qintptr descriptor) override;
};

// A STOMP broker on loopback that a test can script, over TLS when tls is set. It answers CONNECT, confirms receipts,
// beats as its CONNECTED promises, and records every frame and every heart-beat it gets. A
// test can also send any frame or raw bytes, drop the connections, stop listening and listen
// again on the same port.
class FakeStompBroker : public QObject
{
    Q_OBJECT
public:
    explicit FakeStompBroker(QObject *parent = nullptr);

    bool listen();
    void stopListening() { m_server.close(); }
    QString errorString() const { return m_server.errorString(); }
    quint16 port() const { return m_port; }
    // Set before listen(): a local certificate and key make it a TLS listener.
    void setTls(const QSslConfiguration &tls) { m_server.tls = tls; }

    // Settings for a client of this broker: no heart-beats, quick reconnection.
    StompClient::Settings clientSettings() const;

    // The heart-beat header of CONNECTED; the broker beats every beatEveryMs when that is set,
    // else at the interval it promised.
    QByteArray heartBeat = "0,0";
    int beatEveryMs = 0;
    // When set, what CONNECT gets instead of CONNECTED.
    QByteArray connectAnswer;
    // What follows the RECEIPT of each SUBSCRIBE.
    QByteArray afterSubscribe;
    bool sendsReceipts = true;

    QList<StompFrame> received;
    QList<StompFrame> receivedOf(const QByteArray &command) const;
    QList<QByteArray> ackedIds() const;
    // Heart-beats: reads of nothing but end-of-lines, counted by their LFs.
    int heartBeatsReceived() const { return m_heartBeatsReceived; }
    int heartBeatsSent() const { return m_heartBeatsSent; }
    int connectionCount() const { return m_connections.size(); }

    // A MESSAGE to the last subscription; returns its ack id, which holds a ':' as ActiveMQ's do.
    QByteArray deliver(const QByteArray &body);
    // To the last connection, or the one given.
    void sendFrame(const StompFrame &frame, int connection = -1) { sendRaw(frame.encode() + '\n', connection); }
    void sendRaw(const QByteArray &bytes, int connection = -1);
    void dropConnections();

signals:
    void frameReceived(const StompFrame &frame);

private:
    struct Connection {
        QTcpSocket *socket;
        StompFrameParser parser;
    };

    void accept();
    void readFrom(int index);
    void handle(int index, const StompFrame &frame);

    FakeStompServer m_server;
    quint16 m_port = 0;
    QList<Connection> m_connections;
    int m_delivered = 0;
    int m_heartBeatsReceived = 0;
    int m_heartBeatsSent = 0;
};

#endif // FAKESTOMPBROKER_H
