#include "stompclient.h"

#include <QtCore/QTimer>
#include <QtNetwork/QTcpSocket>

#include <climits>

#include "stomplog.h"

namespace {

// A SEND that was sent over this many connections ended by an ERROR without being confirmed
// is taken to be what the broker refuses, and is given up rather than sent forever.
const int maxErrorsPerSend = 3;

bool hasLineBreakOrNul(const QString &text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))
           || text.contains(QChar(0));
}

bool parseBeat(const QByteArray &text, int *value)
{
    bool ok = false;
    const int parsed = text.trimmed().toInt(&ok);
    if (!ok || parsed < 0)
        return false;
    *value = parsed;
    return true;
}

} // namespace

bool StompClient::Settings::setBroker(const QString &hostPort, QString *error)
{
    const QString text = hostPort.trimmed();
    QString newHost;
    QString portText;
    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1Char(']'));
        if (close > 1 && text.mid(close + 1, 1) == QLatin1String(":")) {
            newHost = text.mid(1, close - 1);
            portText = text.mid(close + 2);
        }
    } else {
        const int colon = text.lastIndexOf(QLatin1Char(':'));
        if (colon > 0 && text.indexOf(QLatin1Char(':')) == colon) {
            newHost = text.left(colon);
            portText = text.mid(colon + 1);
        }
    }
    bool ok = false;
    const uint newPort = portText.toUInt(&ok);
    QString problem;
    if (newHost.isEmpty())
        problem = QStringLiteral("\"%1\" is not HOST:PORT (an IPv6 address goes in brackets)").arg(text);
    else if (!ok || newPort == 0 || newPort > 65535)
        problem = QStringLiteral("\"%1\" has no port between 1 and 65535").arg(text);
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    host = newHost;
    port = quint16(newPort);
    return true;
}

QString StompClient::Settings::broker() const
{
    const QString shownHost = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1:%2").arg(shownHost).arg(port);
}

QString StompClient::Settings::validate() const
{
    if (host.trimmed().isEmpty())
        return QStringLiteral("no broker host");
    if (port == 0)
        return QStringLiteral("no broker port");
    if (hasLineBreakOrNul(virtualHost) || hasLineBreakOrNul(login) || hasLineBreakOrNul(passcode))
        return QStringLiteral("the virtual host, login and passcode cannot hold line breaks");
    if (heartBeatSendMs < 0 || heartBeatReceiveMs < 0)
        return QStringLiteral("a heart-beat interval is negative");
    if (reconnectMinMs <= 0 || reconnectMaxMs < reconnectMinMs)
        return QStringLiteral("the reconnection delays need 0 < min <= max");
    if (connectTimeoutMs <= 0)
        return QStringLiteral("the connection time-out must be positive");
    if (maxQueuedSends < 0)
        return QStringLiteral("the bound of waiting sends is negative");
    if (maxFrameSize < 1024)
        return QStringLiteral("the frame size limit is below 1024 bytes");
    return QString();
}

StompClient::StompClient(QObject *parent)
    : StompClient(Settings(), parent)
{
}

StompClient::StompClient(const Settings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_reconnectTimer(new QTimer(this))
    , m_connectTimer(new QTimer(this))
    , m_beatTimer(new QTimer(this))
    , m_watchdog(new QTimer(this))
    , m_closeTimer(new QTimer(this))
{
    qRegisterMetaType<StompFrame>();
    qRegisterMetaType<StompClient::State>();
    for (QTimer *timer : {m_reconnectTimer, m_connectTimer, m_beatTimer, m_watchdog, m_closeTimer})
        timer->setSingleShot(true);
    // A coarse timer may fire 5% early or late: a beat sent late, or a watchdog that bites
    // early, would end a healthy connection.
    m_beatTimer->setTimerType(Qt::PreciseTimer);
    m_watchdog->setTimerType(Qt::PreciseTimer);
    connect(m_reconnectTimer, &QTimer::timeout, this, &StompClient::connectNow);
    connect(m_connectTimer, &QTimer::timeout, this, &StompClient::connectTimedOut);
    connect(m_beatTimer, &QTimer::timeout, this, &StompClient::sendHeartBeat);
    connect(m_watchdog, &QTimer::timeout, this, &StompClient::brokerSilent);
    connect(m_closeTimer, &QTimer::timeout, this, &StompClient::finishClose);
}

StompClient::~StompClient()
{
    const int lost = m_queue.size() + m_unconfirmed.size();
    if (lost > 0) {
        qCWarning(lcStomp).nospace() << lost << " message(s) for " << m_settings.broker()
                                     << " were not sent or not confirmed when the connection closed";
    }
    // ACKs written just before are still in the socket's buffer: say goodbye and hand them to
    // the system before the socket is torn down, or the broker delivers those messages again.
    if (m_state == ConnectedState && m_socket) {
        writeFrame(StompFrame("DISCONNECT"));
        m_socket->flush();
    }
    releaseSocket();
}

void StompClient::setSettings(const Settings &settings)
{
    m_settings = settings;
}

bool StompClient::open(QString *error)
{
    const QString problem = m_settings.validate();
    if (!problem.isEmpty()) {
        qCWarning(lcStomp).noquote() << "cannot connect to" << m_settings.broker() << ":" << problem;
        if (error)
            *error = problem;
        return false;
    }
    if (m_state == ClosingState)
        finishClose();
    if (m_wanted)
        return true;
    m_wanted = true;
    m_failedAttempts = 0;
    m_nextDelayMs = m_settings.reconnectMinMs;
    m_resetBackoff = false;
    connectNow();
    return true;
}

void StompClient::close()
{
    m_wanted = false;
    m_reconnectTimer->stop();
    if (m_state == ClosingState)
        return;
    if (m_state == ConnectedState && m_socket) {
        m_beatTimer->stop();
        m_watchdog->stop();
        m_closeReceipt = "disconnect-" + QByteArray::number(++m_nextReceipt);
        writeFrame(StompFrame("DISCONNECT", {{"receipt", m_closeReceipt}}));
        setState(ClosingState);
        m_closeTimer->start(m_settings.connectTimeoutMs);
        return;
    }
    finishClose();
}

QString StompClient::subscribe(const QString &destination)
{
    Subscription subscription{QStringLiteral("sub-%1").arg(++m_nextSubscription), destination};
    m_subscriptions.append(subscription);
    if (m_state == ConnectedState)
        sendSubscribe(subscription);
    return subscription.id;
}

bool StompClient::send(const QString &destination, const QByteArray &body,
                       const QList<StompFrame::Header> &headers)
{
    StompFrame frame("SEND", {{"destination", destination.toUtf8()}}, body);
    for (const StompFrame::Header &header : headers)
        frame.addHeader(header.first, header.second);

    QString problem;
    if (destination.isEmpty())
        problem = QStringLiteral("no destination");
    else if (frame.encode(&problem).isEmpty())
        problem = QStringLiteral("cannot be written: %1").arg(problem);
    else if (m_state != ConnectedState && m_queue.size() >= m_settings.maxQueuedSends)
        problem = QStringLiteral("%1 sends are already waiting for the connection").arg(m_queue.size());
    if (!problem.isEmpty()) {
        qCWarning(lcStomp).noquote() << "not sending to" << destination << ":" << problem;
        emit sendRefused(frame, problem);
        return false;
    }

    if (m_state == ConnectedState) {
        transmit(Outgoing{frame, 0});
    } else {
        m_queue.append(Outgoing{frame, 0});
        qCDebug(lcStomp) << "waiting for the connection to send to" << destination;
    }
    return true;
}

bool StompClient::ack(const StompFrame &message)
{
    const QByteArray id = message.header("ack");
    if (id.isEmpty()) {
        qCWarning(lcStomp) << "cannot acknowledge a message without an ack header";
        return false;
    }
    if (m_state != ConnectedState || !m_openAcks.remove(id)) {
        qCDebug(lcStomp) << "not acknowledging" << id
                         << ": it came over an earlier connection or was acknowledged";
        return false;
    }
    return writeFrame(StompFrame("ACK", {{"id", id}}));
}

int StompClient::negotiateHeartBeat(int wanted, int offered)
{
    if (wanted <= 0 || offered <= 0)
        return 0;
    return qMax(wanted, offered);
}

void StompClient::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void StompClient::connectNow()
{
    m_reconnectTimer->stop();
    releaseSocket();
    m_parser.reset();
    m_parser.setMaxFrameSize(m_settings.maxFrameSize);
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &StompClient::socketConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &StompClient::socketReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &StompClient::socketDisconnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &StompClient::socketError);
    setState(ConnectingState);
    m_connectTimer->start(m_settings.connectTimeoutMs);
    qCDebug(lcStomp) << "connecting to" << m_settings.broker();
    m_socket->connectToHost(m_settings.host, m_settings.port);
}

void StompClient::socketConnected()
{
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    StompFrame connect("CONNECT", {{"accept-version", "1.2"},
                                   {"host", m_settings.virtualHost.toUtf8()}});
    if (!m_settings.login.isEmpty() || !m_settings.passcode.isEmpty()) {
        connect.addHeader("login", m_settings.login.toUtf8());
        connect.addHeader("passcode", m_settings.passcode.toUtf8());
    }
    connect.addHeader("heart-beat", QByteArray::number(m_settings.heartBeatSendMs) + ','
                                        + QByteArray::number(m_settings.heartBeatReceiveMs));
    writeFrame(connect);
}

void StompClient::socketReadyRead()
{
    QPointer<StompClient> self(this);
    QPointer<QTcpSocket> socket = m_socket;
    if (!socket)
        return;
    const QByteArray bytes = socket->readAll();
    if (bytes.isEmpty())
        return;
    if (m_incomingBeatMs > 0)
        m_watchdog->start();
    const bool intact = m_parser.feed(bytes);
    while (m_parser.hasFrame()) {
        handleFrame(m_parser.takeFrame());
        if (!self || !socket || m_socket != socket)
            return; // the connection ended while the frame was handled
    }
    if (!intact) {
        const QString reason = QStringLiteral("broken STOMP stream: %1").arg(m_parser.errorString());
        if (m_state == ClosingState)
            finishClose();
        else
            dropConnection(reason);
    }
}

void StompClient::socketDisconnected()
{
    if (m_state == ClosingState)
        finishClose();
    else
        dropConnection(QStringLiteral("the broker closed the connection"));
}

void StompClient::socketError()
{
    QPointer<QTcpSocket> socket = m_socket;
    if (!socket)
        return;
    // An ERROR frame often comes right before the broker closes: read it first.
    if (socket->bytesAvailable() > 0)
        socketReadyRead();
    if (!socket || m_socket != socket)
        return;
    const QString reason = socket->errorString();
    if (m_state == ClosingState)
        finishClose();
    else
        dropConnection(reason);
}

void StompClient::connectTimedOut()
{
    dropConnection(QStringLiteral("no CONNECTED from the broker within %1 ms")
                       .arg(m_settings.connectTimeoutMs));
}

void StompClient::brokerSilent()
{
    dropConnection(QStringLiteral("nothing from the broker for %1 ms, %2 times its heart-beat")
                       .arg(m_watchdog->interval())
                       .arg(SilenceLimit));
}

void StompClient::sendHeartBeat()
{
    if (m_state != ConnectedState || !m_socket)
        return;
    m_socket->write("\n", 1);
    m_beatTimer->start();
}

void StompClient::finishClose()
{
    m_closeTimer->stop();
    m_connectTimer->stop();
    m_beatTimer->stop();
    m_watchdog->stop();
    m_reconnectTimer->stop();
    releaseSocket();
    m_parser.reset();
    m_openAcks.clear();
    m_pendingSubscribes.clear();
    m_outgoingBeatMs = m_incomingBeatMs = 0;
    m_closeReceipt.clear();
    requeueUnconfirmed();
    setState(UnconnectedState);
    emit closed();
}

void StompClient::handleFrame(const StompFrame &frame)
{
    const QByteArray command = frame.command();
    qCDebug(lcStomp) << "received" << command;

    if (command == "ERROR") {
        const QString message = QString::fromUtf8(frame.header("message"));
        const QString details = QString::fromUtf8(frame.body());
        qCWarning(lcStomp).noquote() << "the broker" << m_settings.broker()
                                     << "reported an error:" << message << details.left(500);
        m_resetBackoff = false;
        const QList<QPair<StompFrame, QString>> failed =
            takeFailedSends(frame.header("receipt-id"), message);
        QPointer<StompClient> self(this);
        emit errorReceived(message, details);
        for (const auto &refused : failed) {
            if (!self)
                return;
            emit sendRefused(refused.first, refused.second);
        }
        if (!self || !m_socket)
            return;
        Refusal refusal = LoginRefused;
        const QString refusalReason = refusalOf(frame, &refusal);
        if (m_state == ClosingState)
            finishClose();
        else if (!refusalReason.isEmpty())
            stopRefused(refusal, refusalReason);
        else
            dropConnection(QStringLiteral("the broker reported an error: %1").arg(message));
        return;
    }
    if (command == "CONNECTED" && m_state == ConnectingState) {
        handleConnected(frame);
        return;
    }
    if (m_state == ConnectingState || command == "CONNECTED") {
        dropConnection(QStringLiteral("protocol error: %1 before CONNECTED or twice")
                           .arg(QString::fromUtf8(command)));
        return;
    }
    if (command == "RECEIPT") {
        const QByteArray id = frame.header("receipt-id");
        if (m_pendingSubscribes.remove(id) > 0)
            return;
        if (m_state == ClosingState && id == m_closeReceipt) {
            // The broker has handled everything sent before the DISCONNECT.
            m_unconfirmed.clear();
            finishClose();
            return;
        }
        for (int i = 0; i < m_unconfirmed.size(); ++i) {
            if (m_unconfirmed.at(i).frame.header("receipt") == id) {
                m_unconfirmed.removeAt(i);
                break;
            }
        }
        return;
    }
    if (command == "MESSAGE") {
        // Not acknowledged on purpose: no frame may follow DISCONNECT, so the broker delivers it
        // again, to another subscriber or to this one's next connection.
        if (m_state == ClosingState)
            return;
        const QByteArray ackId = frame.header("ack");
        if (!ackId.isEmpty())
            m_openAcks.insert(ackId);
        emit messageReceived(frame);
        return;
    }
    dropConnection(QStringLiteral("protocol error: the broker sent %1").arg(QString::fromUtf8(command)));
}

void StompClient::handleConnected(const StompFrame &frame)
{
    m_connectTimer->stop();
    const QByteArray version = frame.header("version");
    if (version != "1.2") {
        qCWarning(lcStomp) << "the broker" << m_settings.broker() << "speaks STOMP"
                           << (version.isEmpty() ? QByteArray("1.0") : version) << "rather than 1.2";
    }
    int brokerSends = 0;
    int brokerWants = 0;
    if (frame.hasHeader("heart-beat")) {
        const QList<QByteArray> parts = frame.header("heart-beat").split(',');
        if (parts.size() != 2 || !parseBeat(parts.at(0), &brokerSends)
            || !parseBeat(parts.at(1), &brokerWants)) {
            qCWarning(lcStomp) << "ignoring the broker's heart-beat header" << frame.header("heart-beat");
            brokerSends = brokerWants = 0;
        }
    }
    m_outgoingBeatMs = negotiateHeartBeat(m_settings.heartBeatSendMs, brokerWants);
    m_incomingBeatMs = negotiateHeartBeat(m_settings.heartBeatReceiveMs, brokerSends);
    if (m_outgoingBeatMs > 0) {
        m_beatTimer->setInterval(m_outgoingBeatMs);
        m_beatTimer->start();
    }
    if (m_incomingBeatMs > 0) {
        m_watchdog->setInterval(int(qMin<double>(SilenceLimit * m_incomingBeatMs, INT_MAX)));
        m_watchdog->start();
    }
    m_resetBackoff = true;
    m_failedAttempts = 0;
    m_openAcks.clear();
    m_pendingSubscribes.clear();
    setState(ConnectedState);
    qCInfo(lcStomp).noquote() << "connected to" << m_settings.broker() << "heart-beats out"
                              << m_outgoingBeatMs << "ms, in" << m_incomingBeatMs << "ms";

    for (const Subscription &subscription : qAsConst(m_subscriptions))
        sendSubscribe(subscription);
    const QList<Outgoing> waiting = m_queue;
    m_queue.clear();
    for (const Outgoing &outgoing : waiting)
        transmit(outgoing);
    emit connected();
}

QString StompClient::refusalOf(const StompFrame &error, Refusal *refusal) const
{
    // RabbitMQ says what is wrong in the body ("Access refused for user 'x'").
    QString message = QString::fromUtf8(error.header("message"));
    const QString details = QString::fromUtf8(error.body()).simplified().left(200);
    if (!details.isEmpty() && details != message)
        message += QStringLiteral(" (%1)").arg(details);
    if (m_state == ConnectingState) {
        *refusal = LoginRefused;
        return QStringLiteral("the broker %1 refused the login%2 (wrong credentials or virtual host?): %3")
            .arg(m_settings.broker(),
                 m_settings.login.isEmpty() ? QString() : QStringLiteral(" as \"%1\"").arg(m_settings.login),
                 message);
    }
    if (m_pendingSubscribes.isEmpty())
        return QString();
    // The broker handles frames in order: an ERROR before a SUBSCRIBE's receipt is about that
    // SUBSCRIBE, unless it names another frame.
    const QByteArray receiptId = error.header("receipt-id");
    QString destination = m_pendingSubscribes.value(receiptId);
    if (destination.isEmpty() && !receiptId.isEmpty())
        return QString();
    for (int i = 0; destination.isEmpty() && i < m_subscriptions.size(); ++i) {
        // The first one sent, as SUBSCRIBEs go out in this order.
        if (!m_pendingSubscribes.key(m_subscriptions.at(i).destination).isEmpty())
            destination = m_subscriptions.at(i).destination;
    }
    *refusal = SubscriptionRefused;
    return QStringLiteral("the broker %1 refused the subscription to %2 (wrong destination or no "
                          "permission?): %3").arg(m_settings.broker(), destination, message);
}

void StompClient::stopRefused(Refusal refusal, const QString &reason)
{
    qCWarning(lcStomp).noquote() << reason << "- not trying again";
    m_wanted = false;
    QPointer<StompClient> self(this);
    dropConnection(reason);
    if (self)
        emit refused(refusal, reason);
}

void StompClient::dropConnection(const QString &reason)
{
    if (m_state == UnconnectedState || m_state == ReconnectWaitState)
        return;
    m_connectTimer->stop();
    m_beatTimer->stop();
    m_watchdog->stop();
    releaseSocket();
    m_parser.reset();
    m_openAcks.clear();
    m_pendingSubscribes.clear();
    m_outgoingBeatMs = m_incomingBeatMs = 0;
    requeueUnconfirmed();
    if (m_state == ClosingState) {
        finishClose();
        return;
    }
    // While the broker stays away, one warning says so; the attempts after it are info.
    if (m_state == ConnectedState || m_failedAttempts == 0)
        qCWarning(lcStomp).noquote() << "connection to" << m_settings.broker() << "lost:" << reason;
    else
        qCInfo(lcStomp).noquote() << "connection to" << m_settings.broker() << "failed:" << reason;
    m_failedAttempts = m_state == ConnectedState ? 0 : m_failedAttempts + 1;
    setState(m_wanted ? ReconnectWaitState : UnconnectedState);
    QPointer<StompClient> self(this);
    emit connectionLost(reason);
    if (self && m_wanted && m_state == ReconnectWaitState && !m_reconnectTimer->isActive())
        scheduleReconnect();
}

void StompClient::releaseSocket()
{
    if (!m_socket)
        return;
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    socket->deleteLater();
}

void StompClient::requeueUnconfirmed()
{
    if (m_unconfirmed.isEmpty())
        return;
    qCInfo(lcStomp) << m_unconfirmed.size()
                    << "send(s) not confirmed by the broker go out again after reconnection";
    m_queue = m_unconfirmed + m_queue;
    m_unconfirmed.clear();
}

QList<QPair<StompFrame, QString>> StompClient::takeFailedSends(const QByteArray &receiptId,
                                                               const QString &message)
{
    QList<QPair<StompFrame, QString>> failed;
    for (int i = 0; i < m_unconfirmed.size();) {
        Outgoing &outgoing = m_unconfirmed[i];
        const bool named = !receiptId.isEmpty() && outgoing.frame.header("receipt") == receiptId;
        if (named || ++outgoing.errors >= maxErrorsPerSend) {
            const QString reason = QStringLiteral("the broker refused it: %1").arg(message);
            qCWarning(lcStomp).noquote()
                << "giving up a send to" << QString::fromUtf8(outgoing.frame.header("destination"))
                << ":" << reason;
            failed.append(qMakePair(outgoing.frame, reason));
            m_unconfirmed.removeAt(i);
        } else {
            ++i;
        }
    }
    return failed;
}

void StompClient::scheduleReconnect()
{
    if (m_resetBackoff) {
        m_nextDelayMs = m_settings.reconnectMinMs;
        m_resetBackoff = false;
    }
    const int delay = qBound(m_settings.reconnectMinMs, m_nextDelayMs, m_settings.reconnectMaxMs);
    m_nextDelayMs = int(qMin<qint64>(m_settings.reconnectMaxMs, qint64(delay) * 2));
    qCInfo(lcStomp).noquote() << "reconnecting to" << m_settings.broker() << "in" << delay << "ms";
    m_reconnectTimer->start(delay);
    emit reconnectScheduled(delay);
}

bool StompClient::writeFrame(const StompFrame &frame)
{
    if (!m_socket)
        return false;
    QString error;
    const QByteArray bytes = frame.encode(&error);
    if (bytes.isEmpty()) {
        qCWarning(lcStomp).noquote() << "cannot write a" << frame.command() << "frame:" << error;
        return false;
    }
    m_socket->write(bytes);
    if (m_outgoingBeatMs > 0)
        m_beatTimer->start();
    return true;
}

void StompClient::transmit(Outgoing outgoing)
{
    if (m_settings.confirmSends)
        outgoing.frame.setHeader("receipt", "send-" + QByteArray::number(++m_nextReceipt));
    if (writeFrame(outgoing.frame) && m_settings.confirmSends)
        m_unconfirmed.append(outgoing);
}

void StompClient::sendSubscribe(const Subscription &subscription)
{
    // With a receipt, so that an ERROR coming before it is known to refuse this subscription.
    const QByteArray receipt = "subscribe-" + QByteArray::number(++m_nextReceipt);
    if (writeFrame(StompFrame("SUBSCRIBE", {{"id", subscription.id.toUtf8()},
                                            {"destination", subscription.destination.toUtf8()},
                                            {"ack", "client-individual"},
                                            {"receipt", receipt}})))
        m_pendingSubscribes.insert(receipt, subscription.destination);
}
