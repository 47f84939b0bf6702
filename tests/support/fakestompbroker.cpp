#include "fakestompbroker.h"

#include <QtCore/QTimer>
#include <QtNetwork/QSslSocket>

void FakeStompServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (!tls.localCertificate().isNull()) {
        socket->setSslConfiguration(tls);
        socket->startServerEncryption();
    }
    addPendingConnection(socket);
}

FakeStompBroker::FakeStompBroker(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &FakeStompBroker::accept);
}

bool FakeStompBroker::listen()
{
    // Port 0 picks one; listening again reuses it.
    if (!m_server.listen(QHostAddress::LocalHost, m_port))
        return false;
    m_port = m_server.serverPort();
    return true;
}

StompClient::Settings FakeStompBroker::clientSettings() const
{
    StompClient::Settings settings;
    settings.brokers = {StompClient::Address{QStringLiteral("127.0.0.1"), m_port}};
    settings.tls = !m_server.tls.localCertificate().isNull();
    settings.heartBeatSendMs = settings.heartBeatReceiveMs = 0;
    settings.reconnectMinMs = 20;
    settings.reconnectMaxMs = 80;
    return settings;
}

QList<StompFrame> FakeStompBroker::receivedOf(const QByteArray &command) const
{
    QList<StompFrame> frames;
    for (const StompFrame &frame : received) {
        if (frame.command() == command)
            frames.append(frame);
    }
    return frames;
}

QList<QByteArray> FakeStompBroker::ackedIds() const
{
    QList<QByteArray> ids;
    for (const StompFrame &frame : receivedOf("ACK"))
        ids.append(frame.header("id"));
    return ids;
}

QByteArray FakeStompBroker::deliver(const QByteArray &body)
{
    const StompFrame subscribe = receivedOf("SUBSCRIBE").last();
    const QByteArray ackId = "msg:" + QByteArray::number(++m_delivered);
    sendFrame(StompFrame("MESSAGE", {{"destination", subscribe.header("destination")},
                                     {"subscription", subscribe.header("id")},
                                     {"message-id", ackId}, {"ack", ackId}}, body));
    return ackId;
}

void FakeStompBroker::sendRaw(const QByteArray &bytes, int connection)
{
    const int index = connection < 0 ? m_connections.size() - 1 : connection;
    if (index >= 0)
        m_connections.at(index).socket->write(bytes);
}

void FakeStompBroker::dropConnections()
{
    for (const Connection &connection : qAsConst(m_connections))
        connection.socket->abort();
}

void FakeStompBroker::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        const int index = m_connections.size();
        m_connections.append(Connection{socket, StompFrameParser()});
        connect(socket, &QTcpSocket::readyRead, this, [this, index] { readFrom(index); });
    }
}

void FakeStompBroker::readFrom(int index)
{
    Connection &connection = m_connections[index];
    const QByteArray bytes = connection.socket->readAll();
    if (!bytes.isEmpty() && bytes.trimmed().isEmpty())
        m_heartBeatsReceived += bytes.count('\n');
    if (!connection.parser.feed(bytes))
        qWarning("fake broker: %s", qPrintable(connection.parser.errorString()));
    while (connection.parser.hasFrame())
        handle(index, connection.parser.takeFrame());
}

void FakeStompBroker::handle(int index, const StompFrame &frame)
{
    received.append(frame);
    emit frameReceived(frame);
    QTcpSocket *socket = m_connections.at(index).socket;
    if (frame.command() == "CONNECT") {
        if (!connectAnswer.isEmpty()) {
            sendRaw(connectAnswer, index);
            return;
        }
        sendFrame(StompFrame("CONNECTED", {{"version", "1.2"}, {"heart-beat", heartBeat}}), index);
        const int promised = heartBeat.split(',').value(0).toInt();
        if (promised > 0) {
            auto *beats = new QTimer(socket);
            beats->setTimerType(Qt::PreciseTimer);
            connect(beats, &QTimer::timeout, this, [this, socket] {
                socket->write("\n");
                ++m_heartBeatsSent;
            });
            connect(socket, &QTcpSocket::disconnected, beats, &QTimer::stop);
            beats->start(beatEveryMs > 0 ? beatEveryMs : promised);
        }
        return;
    }
    if (frame.hasHeader("receipt") && sendsReceipts)
        sendFrame(StompFrame("RECEIPT", {{"receipt-id", frame.header("receipt")}}), index);
    if (frame.command() == "SUBSCRIBE")
        sendRaw(afterSubscribe, index);
    if (frame.command() == "DISCONNECT")
        socket->disconnectFromHost();
}
