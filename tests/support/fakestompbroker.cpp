#include "fakestompbroker.h"

#include <QtCore/QTimer>
#include <QtNetwork/QTcpSocket>

FakeStompBroker::FakeStompBroker(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &FakeStompBroker::acceptConnections);
}

FakeStompBroker::~FakeStompBroker()
{
    for (Connection *connection : qAsConst(m_connections)) {
        if (connection->socket)
            connection->socket->abort();
        delete connection->socket.data();
        delete connection->beats.data();
        delete connection;
    }
}

bool FakeStompBroker::listen()
{
    if (!m_server.listen(QHostAddress::LocalHost, m_port))
        return false;
    m_port = m_server.serverPort();
    return true;
}

void FakeStompBroker::stopListening()
{
    m_server.close();
}

StompClient::Settings FakeStompBroker::clientSettings() const
{
    StompClient::Settings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = m_port;
    settings.heartBeatSendMs = 0;
    settings.heartBeatReceiveMs = 0;
    settings.reconnectMinMs = 20;
    settings.reconnectMaxMs = 80;
    settings.connectTimeoutMs = 5000;
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

QByteArray FakeStompBroker::rawReceived(int connection) const
{
    return connection >= 0 && connection < m_connections.size() ? m_connections.at(connection)->raw
                                                                 : QByteArray();
}

QByteArray FakeStompBroker::deliver(const QString &destination, const QByteArray &body,
                                    const QList<StompFrame::Header> &headers)
{
    const int number = ++m_nextMessage;
    const QByteArray ackId = "msg:" + QByteArray::number(number);
    StompFrame message("MESSAGE", {{"destination", destination.toUtf8()},
                                   {"message-id", "m-" + QByteArray::number(number)},
                                   {"ack", ackId}},
                       body);
    for (const StompFrame::Header &header : headers)
        message.addHeader(header.first, header.second);
    if (!route(message))
        m_held.append(message);
    return ackId;
}

void FakeStompBroker::sendFrame(const StompFrame &frame, int connection)
{
    QString error;
    const QByteArray bytes = frame.encode(&error);
    Q_ASSERT_X(!bytes.isEmpty(), "FakeStompBroker::sendFrame", qPrintable(error));
    // Brokers follow each frame with an EOL.
    sendRaw(bytes + '\n', connection);
}

void FakeStompBroker::sendRaw(const QByteArray &bytes, int connection)
{
    const int index = connection < 0 ? m_connections.size() - 1 : connection;
    if (index < 0 || index >= m_connections.size() || !m_connections.at(index)->socket)
        return;
    m_connections.at(index)->socket->write(bytes);
}

void FakeStompBroker::dropConnections()
{
    for (Connection *connection : qAsConst(m_connections)) {
        if (connection->socket)
            connection->socket->abort();
    }
}

void FakeStompBroker::acceptConnections()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        auto *connection = new Connection;
        connection->socket = socket;
        const int index = m_connections.size();
        m_connections.append(connection);
        connect(socket, &QTcpSocket::readyRead, this, [this, index] { readFrom(index); });
        connect(socket, &QTcpSocket::disconnected, this, [this, index] {
            Connection *gone = m_connections.at(index);
            if (gone->beats)
                gone->beats->stop();
            for (int i = m_subscriptions.size() - 1; i >= 0; --i) {
                if (m_subscriptions.at(i).connection == index)
                    m_subscriptions.removeAt(i);
            }
        });
    }
}

void FakeStompBroker::readFrom(int index)
{
    Connection *connection = m_connections.at(index);
    const QByteArray bytes = connection->socket->readAll();
    connection->raw += bytes;
    bool onlyLineEnds = !bytes.isEmpty();
    for (const char c : bytes)
        onlyLineEnds = onlyLineEnds && (c == '\n' || c == '\r');
    if (onlyLineEnds)
        m_heartBeats += bytes.count('\n');
    const bool intact = connection->parser.feed(bytes);
    while (connection->parser.hasFrame())
        handle(index, connection->parser.takeFrame());
    if (!intact) {
        qWarning("fake broker: %s", qPrintable(connection->parser.errorString()));
        connection->socket->abort();
    }
}

void FakeStompBroker::handle(int index, const StompFrame &frame)
{
    received.append(frame);
    emit frameReceived(frame);
    Connection *connection = m_connections.at(index);
    const QByteArray command = frame.command();

    if (command == "CONNECT" || command == "STOMP") {
        if (!answersConnect)
            return;
        if (!connectError.isEmpty()) {
            sendFrame(StompFrame("ERROR", {{"message", connectError}}, "Access refused"), index);
            connection->socket->disconnectFromHost();
            return;
        }
        sendFrame(StompFrame("CONNECTED", {{"version", "1.2"},
                                           {"heart-beat", heartBeat},
                                           {"server", "fake"}}),
                  index);
        const int brokerSends = heartBeat.split(',').value(0).toInt();
        if (brokerSends > 0 && sendsHeartBeats) {
            connection->beats = new QTimer(this);
            connect(connection->beats, &QTimer::timeout, this,
                    [this, index] {
                        sendRaw("\n", index);
                        ++m_heartBeatsSent;
                    });
            connection->beats->setTimerType(Qt::PreciseTimer);
            connection->beats->start(beatEveryMs > 0 ? beatEveryMs : brokerSends);
        }
        return;
    }

    if (command == "SUBSCRIBE") {
        const Subscription subscription{index, frame.header("id"), frame.header("destination")};
        m_subscriptions.append(subscription);
        const QList<StompFrame> held = m_held;
        m_held.clear();
        for (const StompFrame &message : held) {
            if (!route(message))
                m_held.append(message);
        }
    }

    if (frame.hasHeader("receipt") && sendsReceipts)
        sendFrame(StompFrame("RECEIPT", {{"receipt-id", frame.header("receipt")}}), index);
    if (command == "DISCONNECT")
        connection->socket->disconnectFromHost();
}

bool FakeStompBroker::route(const StompFrame &message)
{
    const QByteArray destination = message.header("destination");
    for (const Subscription &subscription : qAsConst(m_subscriptions)) {
        if (subscription.destination == destination) {
            StompFrame routed = message;
            routed.setHeader("subscription", subscription.id);
            sendFrame(routed, subscription.connection);
            return true;
        }
    }
    return false;
}
