#include "stompclient.h"

#include <QtCore/QFile>
#include <QtCore/QRandomGenerator>
#include <QtCore/QTimer>
#include <QtNetwork/QSslCertificate>
#include <QtNetwork/QSslKey>
#include <QtNetwork/QSslSocket>

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

bool readAddress(const QString &hostPort, StompClient::Address *address, QString *error)
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
        *error = problem;
        return false;
    }
    address->host = newHost;
    address->port = quint16(newPort);
    return true;
}

QByteArray readFile(const QString &path, const QString &what, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the %1 %2: %3").arg(what, path, file.errorString());
        return QByteArray();
    }
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        *error = QStringLiteral("the %1 %2 is empty").arg(what, path);
    return bytes;
}

} // namespace

QString StompClient::Address::text() const
{
    const QString shownHost = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1:%2").arg(shownHost).arg(port);
}

bool StompClient::Settings::setBroker(const QString &hostPorts, QString *error)
{
    QList<Address> list;
    QString problem;
    for (const QString &part : hostPorts.split(QLatin1Char(','))) {
        Address address;
        if (!readAddress(part, &address, &problem)) {
            if (error)
                *error = problem;
            return false;
        }
        list.append(address);
    }
    brokers = list;
    return true;
}

QString StompClient::Settings::broker() const
{
    QStringList texts;
    for (const Address &address : brokers)
        texts.append(address.text());
    return texts.join(QLatin1Char(','));
}

QString StompClient::Settings::validate() const
{
    if (brokers.isEmpty())
        return QStringLiteral("no broker");
    for (const Address &address : brokers) {
        if (address.host.trimmed().isEmpty())
            return QStringLiteral("no broker host");
        if (address.port == 0)
            return QStringLiteral("no broker port");
    }
    if (certificateFile.isEmpty() != keyFile.isEmpty())
        return QStringLiteral("a client certificate needs its key, and a key its certificate");
    if (!tls && !(caFile.isEmpty() && certificateFile.isEmpty()))
        return QStringLiteral("a CA file or a client certificate needs TLS");
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
    , m_firstConnectionTimer(new QTimer(this))
{
    qRegisterMetaType<StompFrame>();
    qRegisterMetaType<StompClient::State>();
    // Tells this client's sends from every other's, in this process or another.
    m_sendIdPrefix = QByteArray::number(QRandomGenerator::system()->generate64(), 36) + '-';
    for (QTimer *timer : {m_reconnectTimer, m_connectTimer, m_beatTimer, m_watchdog, m_closeTimer,
                          m_firstConnectionTimer})
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
    connect(m_firstConnectionTimer, &QTimer::timeout, this, &StompClient::firstConnectionTimedOut);
}

StompClient::~StompClient()
{
    const int lost = m_queue.size() + m_unconfirmed.size();
    if (lost > 0) {
        qCWarning(lcStomp).nospace() << lost << " message(s) for " << currentBroker()
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
    m_current = 0;
}

QString StompClient::currentBroker() const
{
    return m_settings.brokers.value(m_current).text();
}

bool StompClient::prepareTls(QString *error)
{
    m_tls = QSslConfiguration::defaultConfiguration();
    if (!m_settings.tls)
        return true;
    if (!QSslSocket::supportsSsl()) {
        *error = QStringLiteral("TLS is not available: Qt found no TLS library (%1)")
                     .arg(QSslSocket::sslLibraryBuildVersionString());
        return false;
    }
    m_tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!m_settings.caFile.isEmpty()) {
        const QByteArray pem = readFile(m_settings.caFile, QStringLiteral("CA file"), error);
        if (pem.isEmpty())
            return false;
        const QList<QSslCertificate> authorities = QSslCertificate::fromData(pem, QSsl::Pem);
        if (authorities.isEmpty()) {
            *error = QStringLiteral("the CA file %1 holds no PEM certificate").arg(m_settings.caFile);
            return false;
        }
        // Only these: a private CA is meant to be the one trusted.
        m_tls.setCaCertificates(authorities);
    }
    if (!m_settings.certificateFile.isEmpty()) {
        const QByteArray pem = readFile(m_settings.certificateFile, QStringLiteral("certificate"), error);
        if (pem.isEmpty())
            return false;
        const QList<QSslCertificate> chain = QSslCertificate::fromData(pem, QSsl::Pem);
        if (chain.isEmpty()) {
            *error = QStringLiteral("the certificate file %1 holds no PEM certificate")
                         .arg(m_settings.certificateFile);
            return false;
        }
        const QByteArray keyPem = readFile(m_settings.keyFile, QStringLiteral("key"), error);
        if (keyPem.isEmpty())
            return false;
        QSslKey key;
        for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
            key = QSslKey(keyPem, algorithm, QSsl::Pem, QSsl::PrivateKey);
            if (!key.isNull())
                break;
        }
        if (key.isNull()) {
            *error = QStringLiteral("the key file %1 holds no unencrypted PEM private key")
                         .arg(m_settings.keyFile);
            return false;
        }
        m_tls.setLocalCertificateChain(chain);
        m_tls.setPrivateKey(key);
    }
    return true;
}

bool StompClient::open(QString *error)
{
    QString problem = m_settings.validate();
    if (problem.isEmpty() && !m_wanted && !prepareTls(&problem))
        problem = problem.isEmpty() ? QStringLiteral("TLS cannot be set up") : problem;
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
    m_everConnected = false;
    m_current = 0;
    m_triedInRound = 0;
    m_lastProblem.clear();
    m_firstConnectionTimer->start(m_settings.connectTimeoutMs);
    connectNow();
    return true;
}

void StompClient::close()
{
    m_wanted = false;
    m_reconnectTimer->stop();
    m_firstConnectionTimer->stop();
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

QString StompClient::subscribe(const QString &destination, const QList<StompFrame::Header> &headers)
{
    Subscription subscription{QStringLiteral("sub-%1").arg(++m_nextSubscription), destination, headers};
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
    frame.setHeader("send-id", m_sendIdPrefix + QByteArray::number(++m_nextSendId));

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
    m_socket = new QSslSocket(this);
    m_tlsErrors.clear();
    if (m_settings.tls) {
        m_socket->setSslConfiguration(m_tls);
        connect(m_socket, &QSslSocket::encrypted, this, &StompClient::socketConnected);
        connect(m_socket, QOverload<const QList<QSslError> &>::of(&QSslSocket::sslErrors), this,
                &StompClient::tlsErrors);
    } else {
        connect(m_socket, &QSslSocket::connected, this, &StompClient::socketConnected);
    }
    connect(m_socket, &QSslSocket::readyRead, this, &StompClient::socketReadyRead);
    connect(m_socket, &QSslSocket::disconnected, this, &StompClient::socketDisconnected);
    connect(m_socket, &QSslSocket::errorOccurred, this, &StompClient::socketError);
    setState(ConnectingState);
    // Before the first connection the time-out from open() bounds a single broker, and is
    // shared among the brokers of a list so that each gets its turn; a reconnection that hangs
    // moves on after the time-out, at most 10 s.
    const int brokers = m_settings.brokers.size();
    if (m_everConnected)
        m_connectTimer->start(qMin(m_settings.connectTimeoutMs, 10000));
    else if (brokers > 1)
        m_connectTimer->start(qMax(1000, m_settings.connectTimeoutMs / brokers));
    ++m_triedInRound;
    const Address &address = m_settings.brokers.at(m_current);
    qCDebug(lcStomp) << "connecting to" << address.text() << (m_settings.tls ? "over TLS" : "");
    if (m_settings.tls)
        m_socket->connectToHostEncrypted(address.host, address.port);
    else
        m_socket->connectToHost(address.host, address.port);
}

void StompClient::tlsErrors(const QList<QSslError> &errors)
{
    // Not ignored: the handshake fails, and the error that follows names these.
    m_tlsErrors = errors;
}

QString StompClient::tlsProblem(const QString &socketError) const
{
    QStringList why;
    for (const QSslError &error : m_tlsErrors) {
        switch (error.error()) {
        case QSslError::HostNameMismatch:
            why.append(QStringLiteral("its certificate is not for the host name %1")
                           .arg(m_settings.brokers.value(m_current).host));
            break;
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::SelfSignedCertificate:
        case QSslError::SelfSignedCertificateInChain:
        case QSslError::CertificateUntrusted:
        case QSslError::UnableToVerifyFirstCertificate:
            why.append(QStringLiteral("its certificate is not trusted (%1; give its CA with --ca-file)")
                           .arg(error.errorString()));
            break;
        default:
            why.append(error.errorString());
            break;
        }
    }
    why.removeDuplicates();
    if (why.isEmpty())
        why.append(QStringLiteral("the TLS handshake failed: %1").arg(socketError));
    return QStringLiteral("TLS with the broker %1 failed: %2")
        .arg(currentBroker(), why.join(QStringLiteral("; ")));
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
    QPointer<QSslSocket> socket = m_socket;
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
    else if (!closedAfterHandshake())
        dropConnection(QStringLiteral("the broker closed the connection"));
}

bool StompClient::closedAfterHandshake()
{
    // With TLS 1.3 a broker refuses a missing or unknown client certificate only after the
    // handshake seems done, by closing: that would be refused again.
    if (!m_settings.tls || m_everConnected || m_state != ConnectingState || !m_socket
        || !m_socket->isEncrypted())
        return false;
    stopRefused(TlsRefused, QStringLiteral("TLS with the broker %1 failed: it closed the connection "
                                           "right after the handshake (does it want a client "
                                           "certificate it trusts?)").arg(currentBroker()));
    return true;
}

void StompClient::socketError()
{
    QPointer<QSslSocket> socket = m_socket;
    if (!socket)
        return;
    // An ERROR frame often comes right before the broker closes: read it first.
    if (socket->bytesAvailable() > 0)
        socketReadyRead();
    if (!socket || m_socket != socket)
        return;
    const QString reason = socket->errorString();
    const QAbstractSocket::SocketError kind = socket->error();
    if (closedAfterHandshake())
        return;
    if (m_settings.tls && m_state == ConnectingState
        && (!m_tlsErrors.isEmpty() || kind == QAbstractSocket::SslHandshakeFailedError
            || kind == QAbstractSocket::SslInternalError || kind == QAbstractSocket::SslInvalidUserDataError)) {
        // A certificate or a handshake that failed fails again: no reconnecting for ever.
        stopRefused(TlsRefused, tlsProblem(reason));
        return;
    }
    if (m_state == ClosingState)
        finishClose();
    else
        dropConnection(reason);
}

void StompClient::connectTimedOut()
{
    dropConnection(QStringLiteral("no CONNECTED from the broker within %1 ms")
                       .arg(m_connectTimer->interval()));
}

void StompClient::firstConnectionTimedOut()
{
    if (m_everConnected || !m_wanted)
        return;
    const QString why = m_lastProblem;
    stopRefused(NoConnection,
                QStringLiteral("no CONNECTED from %1 within %2 ms%3%4")
                    .arg(m_settings.broker())
                    .arg(m_settings.connectTimeoutMs)
                    .arg(why.isEmpty() ? QString() : QStringLiteral(" (last: %1)").arg(why),
                         m_settings.tls ? QString()
                                        : QStringLiteral("; a TLS listener never answers plain STOMP")));
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
        qCWarning(lcStomp).noquote() << "the broker" << currentBroker()
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
        qCWarning(lcStomp) << "the broker" << currentBroker() << "speaks STOMP"
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
    m_triedInRound = 0;
    m_everConnected = true;
    m_firstConnectionTimer->stop();
    m_openAcks.clear();
    m_pendingSubscribes.clear();
    setState(ConnectedState);
    if (m_lostAt.isValid()) {
        // The end of an outage, beside its start in the log: how long the bus was away.
        qCWarning(lcStomp).noquote() << QStringLiteral("connected again, to %1, %2 ms after the connection was lost")
                                            .arg(currentBroker())
                                            .arg(m_lostAt.elapsed());
        m_lostAt.invalidate();
    }
    qCInfo(lcStomp).noquote() << "connected to" << currentBroker() << "heart-beats out"
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
            .arg(currentBroker(),
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
                          "permission?): %3").arg(currentBroker(), destination, message);
}

void StompClient::stopRefused(Refusal refusal, const QString &reason)
{
    qCWarning(lcStomp).noquote() << reason << "- not trying again";
    m_wanted = false;
    m_firstConnectionTimer->stop();
    QPointer<StompClient> self(this);
    if (m_state == ReconnectWaitState) {
        // Refused between two attempts (the time-out from open()): no attempt follows.
        m_reconnectTimer->stop();
        setState(UnconnectedState);
    }
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
        qCWarning(lcStomp).noquote() << "connection to" << currentBroker() << "lost:" << reason;
    else
        qCInfo(lcStomp).noquote() << "connection to" << currentBroker() << "failed:" << reason;
    if (m_state == ConnectedState) {
        ++m_lostConnections;
        m_lostAt.start();
        m_triedInRound = 0;
    }
    m_lastProblem = reason;
    m_failedAttempts = m_state == ConnectedState ? 0 : m_failedAttempts + 1;
    // The next broker of the list; a single broker is tried again.
    m_current = (m_current + 1) % m_settings.brokers.size();
    setState(m_wanted ? ReconnectWaitState : UnconnectedState);
    QPointer<StompClient> self(this);
    emit connectionLost(reason);
    if (!self || !m_wanted || m_state != ReconnectWaitState || m_reconnectTimer->isActive())
        return;
    if (m_failedAttempts > 0 && m_triedInRound < m_settings.brokers.size()) {
        // A broker of the list not tried since the last wait: at once, through the event loop.
        m_reconnectTimer->start(0);
        return;
    }
    m_triedInRound = 0;
    scheduleReconnect();
}

void StompClient::releaseSocket()
{
    if (!m_socket)
        return;
    QSslSocket *socket = m_socket;
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
    qCInfo(lcStomp).noquote() << "reconnecting to" << currentBroker() << "in" << delay << "ms";
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
    StompFrame frame("SUBSCRIBE", {{"id", subscription.id.toUtf8()},
                                   {"destination", subscription.destination.toUtf8()},
                                   {"ack", "client-individual"},
                                   {"receipt", receipt}});
    for (const StompFrame::Header &header : subscription.headers)
        frame.addHeader(header.first, header.second);
    if (writeFrame(frame))
        m_pendingSubscribes.insert(receipt, subscription.destination);
}
