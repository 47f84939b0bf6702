#include "brokerservice.h"

#include "brokeroptions.h"
#include "checkservice.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QTimer>

namespace {

// Answers come within a dialogue's minute; far more requests than that are never pending.
const int RememberedRequests = 10000;

QString compactJson(const QVariantMap &map)
{
    return QString::fromUtf8(QJsonDocument::fromVariant(map).toJson(QJsonDocument::Compact));
}

} // namespace

BrokerService::BrokerService(const CheckServiceBehaviour &behaviour,
                             const StompBus::Settings &settings, QObject *parent)
    : QObject(parent)
    , m_service(new CheckService(behaviour, this))
    , m_bus(new StompBus(StompBus::ServiceRole, settings, this))
{
    connect(m_bus, &StompBus::requestReceived, this, &BrokerService::takeRequest);
    connect(m_service, &CheckService::answerReady, this, &BrokerService::sendAnswer);
    connect(m_service, &CheckService::noted, this, [this](const QString &note) {
        emit logLine(QStringLiteral("service"), note);
    });
    connect(m_service, &CheckService::smsSent, this,
            [this](const QString &msisdn, const QString &code) {
                emit logLine(QStringLiteral("sms"),
                             QStringLiteral("to +%1: confirmation code %2").arg(msisdn, code));
            });

    StompClient *client = m_bus->client();
    connect(client, &StompClient::connected, this, [this] {
        m_connected = true;
        const StompBus::Settings settings = m_bus->settings();
        emit logLine(QStringLiteral("broker"),
                     QStringLiteral("connected to %1, answering requests from %2")
                         .arg(m_bus->client()->currentBroker(), settings.requestDestination));
    });
    connect(client, &StompClient::connectionLost, this, [this](const QString &reason) {
        // While the broker stays away every attempt fails; the log tells the first.
        if (!m_connected)
            return;
        m_connected = false;
        emit logLine(QStringLiteral("broker"), QStringLiteral("connection lost: %1").arg(reason));
    });
    connect(client, &StompClient::errorReceived, this,
            [this](const QString &message, const QString &details) {
                emit logLine(QStringLiteral("broker"), QStringLiteral("error from the broker: %1 %2")
                                                           .arg(message, details.left(200)).trimmed());
            });
    connect(client, &StompClient::sendRefused, this,
            [this](const StompFrame &frame, const QString &reason) {
                const QString destination = QString::fromUtf8(frame.header("destination"));
                emit logLine(QStringLiteral("broker"), QStringLiteral("an answer to %1 will not go out: %2")
                                                           .arg(destination, reason));
            });
    connect(client, &StompClient::refused, this, [this](StompClient::Refusal refusal, const QString &reason) {
        m_stopping = m_finished = true;
        emit refused(BrokerOptions::explainRefusal(BrokerOptions::Side::Service, refusal, reason));
    });
    connect(client, &StompClient::closed, this, [this] {
        if (!m_stopping || m_finished)
            return;
        m_finished = true;
        // Closing may end inside stop(): the caller hears of the end after it has returned.
        QTimer::singleShot(0, this, &BrokerService::finished);
    });
}

BrokerService::~BrokerService() = default;

bool BrokerService::open(QString *error)
{
    return m_bus->open(error);
}

void BrokerService::stop()
{
    if (m_stopping)
        return;
    m_stopping = true;
    const int unsent = m_service->pendingAnswers();
    if (unsent > 0)
        emit logLine(QStringLiteral("service"),
                     QStringLiteral("stopping: %1 answer(s) not due yet are not sent").arg(unsent));
    // At once: a request taken after this would be acknowledged and never answered.
    m_bus->close();
}

void BrokerService::takeRequest(const QVariantMap &request, const QString &replyTo)
{
    if (m_stopping)
        return;
    const QString uid = request.value(QStringLiteral("uid")).toString();
    if (replyTo.isEmpty()) {
        emit logLine(QStringLiteral("request"),
                     QStringLiteral("without reply-to, cannot be answered: %1").arg(compactJson(request)));
        return;
    }
    const int number = ++m_takenCount;
    if (m_numberOfUid.contains(uid)) {
        emit logLine(QStringLiteral("request"),
                     QStringLiteral("#%1 repeats the uid of #%2").arg(number).arg(m_numberOfUid.value(uid)));
    }
    emit logLine(QStringLiteral("request"),
                 QStringLiteral("#%1 from %2 %3").arg(number).arg(replyTo, compactJson(request)));
    // The service counts the requests it is handed; its next number is this request's.
    remember(m_service->requestCount() + 1, number, uid, replyTo);
    m_service->handleRequest(request);
    // After the bus has acknowledged the request, which happens once this slot returns.
    QTimer::singleShot(0, this, &BrokerService::checkLimit);
}

void BrokerService::remember(int serviceNumber, int number, const QString &uid, const QString &replyTo)
{
    m_taken.insert(serviceNumber, Taken{number, replyTo});
    m_order.enqueue(serviceNumber);
    m_numberOfUid.insert(uid, number);
    while (m_order.size() > RememberedRequests) {
        const int oldest = m_order.dequeue();
        m_taken.remove(oldest);
    }
    // Bounded alike; an old uid forgotten only means a repeat goes unremarked.
    if (m_numberOfUid.size() > 2 * RememberedRequests)
        m_numberOfUid.clear();
}

void BrokerService::sendAnswer(const QVariantMap &answer, int serviceNumber)
{
    const auto taken = m_taken.constFind(serviceNumber);
    if (taken == m_taken.constEnd()) {
        emit logLine(QStringLiteral("answer"),
                     QStringLiteral("for a request forgotten long ago, not sent: %1").arg(compactJson(answer)));
    } else if (!m_stopping) {
        emit logLine(QStringLiteral("answer"), QStringLiteral("to #%1 on %2 %3")
                                                   .arg(taken->number)
                                                   .arg(taken->replyTo, compactJson(answer)));
        m_bus->publish(answer, taken->replyTo);
    }
    QTimer::singleShot(0, this, &BrokerService::checkLimit);
}

void BrokerService::checkLimit()
{
    if (m_limit > 0 && m_takenCount >= m_limit && m_service->pendingAnswers() == 0 && !m_stopping) {
        emit logLine(QStringLiteral("service"),
                     QStringLiteral("%1 request(s) answered; stopping").arg(m_takenCount));
        stop();
    }
}
