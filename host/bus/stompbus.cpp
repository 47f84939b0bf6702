#include "stompbus.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QJsonParseError>
#include <QtCore/QPointer>

#include "stomplog.h"

namespace {

const QByteArray jsonContentType("application/json;charset=utf-8");
// Copies come within seconds of the first; a busy service sees far fewer messages in that time.
const int RememberedSendIds = 4096;

} // namespace

QString StompBus::Settings::defaultRequestDestination()
{
    return QStringLiteral("/queue/tavrin.requests");
}

QString StompBus::Settings::defaultReplyDestination(unsigned int kovraId)
{
    return QStringLiteral("/queue/tavrin.replies.%1").arg(kovraId);
}

QList<StompFrame::Header> StompBus::Settings::quorumQueueHeaders()
{
    return {{"durable", "true"}, {"auto-delete", "false"}, {"x-queue-type", "quorum"}};
}

StompBus::StompBus(Role role, const Settings &settings, QObject *parent)
    : QObject(parent)
    , m_role(role)
    , m_settings(settings)
    , m_client(new StompClient(settings.connection, this))
{
    connect(m_client, &StompClient::messageReceived, this, &StompBus::handleMessage);
}

StompBus::~StompBus() = default;

bool StompBus::open(QString *error)
{
    QString problem;
    if (m_settings.requestDestination.isEmpty())
        problem = QStringLiteral("no request destination");
    else if (m_role == TerminalRole && m_settings.replyDestination.isEmpty())
        problem = QStringLiteral("no reply destination for this terminal");
    if (!problem.isEmpty()) {
        qCWarning(lcStomp).noquote() << "cannot open the bus:" << problem;
        if (error)
            *error = problem;
        return false;
    }
    if (!m_client->open(error))
        return false;
    if (m_subscription.isEmpty()) {
        const QString destination = m_role == TerminalRole ? m_settings.replyDestination
                                                           : m_settings.requestDestination;
        m_subscription = m_client->subscribe(destination, headersFor(destination));
    }
    return true;
}

void StompBus::close()
{
    // What arrives from now on is not acknowledged: a service's requests go to another service,
    // or to this one when it is back; a terminal's answers are dropped at its next start.
    m_client->close();
}

void StompBus::send(const QVariantMap &message)
{
    publishTo(message, m_settings.requestDestination, m_role == TerminalRole);
}

void StompBus::publish(const QVariantMap &message, const QString &destination)
{
    publishTo(message, destination, false);
}

bool StompBus::publishTo(const QVariantMap &message, const QString &destination, bool withReplyTo)
{
    // Whatever a terminal sends, to the service or (when measuring the broker alone) to itself,
    // opens this run: answers from now on are its own.
    m_requestSent = true;
    const QByteArray body = QJsonDocument(QJsonObject::fromVariantMap(message))
                                .toJson(QJsonDocument::Compact);
    QList<StompFrame::Header> headers{{"content-type", jsonContentType}};
    if (withReplyTo)
        headers.append({"reply-to", m_settings.replyDestination.toUtf8()});
    headers.append(headersFor(destination));
    return m_client->send(destination, body, headers);
}

QList<StompFrame::Header> StompBus::headersFor(const QString &destination) const
{
    return destination.startsWith(QLatin1String("/queue/")) ? m_settings.queueHeaders
                                                             : QList<StompFrame::Header>();
}

bool StompBus::isCopy(const QByteArray &sendId)
{
    if (sendId.isEmpty())
        return false;
    if (m_seenSendIds.contains(sendId))
        return true;
    m_seenSendIds.insert(sendId);
    m_sendIdOrder.enqueue(sendId);
    if (m_sendIdOrder.size() > RememberedSendIds)
        m_seenSendIds.remove(m_sendIdOrder.dequeue());
    return false;
}

void StompBus::handleMessage(const StompFrame &frame)
{
    if (m_subscription.isEmpty() || frame.header("subscription") != m_subscription.toUtf8())
        return;

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(frame.body(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        const QString why = parseError.error != QJsonParseError::NoError
                                ? parseError.errorString()
                                : QStringLiteral("not an object");
        qCWarning(lcStomp).noquote() << "dropped a message from"
                                     << QString::fromUtf8(frame.header("destination"))
                                     << "whose body is not a JSON object:" << why;
        m_client->ack(frame);
        return;
    }

    if (m_role == TerminalRole && !m_requestSent) {
        // A copy that came while this terminal last closed: the broker gives it back once the
        // connection ends, as nothing may be acknowledged after DISCONNECT (nor, on RabbitMQ,
        // after UNSUBSCRIBE). Nothing of this run has asked for it; taken off the queue here.
        qCInfo(lcStomp).noquote() << "dropped an answer left over from an earlier run on"
                                  << QString::fromUtf8(frame.header("destination"));
        m_client->ack(frame);
        return;
    }

    if (isCopy(frame.header("send-id"))) {
        qCInfo(lcStomp).noquote() << "dropped a copy of a message already handed on, from"
                                  << QString::fromUtf8(frame.header("destination"));
        m_client->ack(frame);
        return;
    }

    // Acknowledged only once handed on: a message lost in a crash before that comes again.
    const QVariantMap message = document.object().toVariantMap();
    QPointer<StompBus> self(this);
    if (m_role == TerminalRole) {
        emit messageReceived(message);
    } else {
        const QString replyTo = QString::fromUtf8(frame.header("reply-to"));
        if (replyTo.isEmpty())
            qCWarning(lcStomp) << "a request came without reply-to; it cannot be answered";
        emit requestReceived(message, replyTo);
    }
    if (self)
        m_client->ack(frame);
}
