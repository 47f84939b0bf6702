#include "terminalbrokerlink.h"

#include "brokeroptions.h"

TerminalBrokerLink::TerminalBrokerLink(const StompBus::Settings &settings, QObject *parent)
    : QObject(parent)
    , m_bus(new StompBus(StompBus::TerminalRole, settings, this))
{
    StompClient *client = m_bus->client();
    connect(client, &StompClient::connected, this, &TerminalBrokerLink::connected);
    connect(client, &StompClient::connectionLost, this, &TerminalBrokerLink::lost);
    connect(client, &StompClient::errorReceived, this, [this](const QString &message, const QString &) {
        m_lastProblem = QStringLiteral("the broker reported an error: %1").arg(message);
        emit noted(m_lastProblem);
    });
    connect(client, &StompClient::sendRefused, this, [this](const StompFrame &, const QString &reason) {
        emit noted(QStringLiteral("a request will not go out: %1").arg(reason));
    });
    connect(client, &StompClient::closed, this, &TerminalBrokerLink::closed);
    connect(client, &StompClient::refused, this, [this](StompClient::Refusal refusal, const QString &reason) {
        m_waiting = false;
        emit refused(BrokerOptions::explainRefusal(BrokerOptions::Side::Terminal, refusal, reason));
    });
}

bool TerminalBrokerLink::open(QString *error)
{
    return m_bus->open(error);
}

void TerminalBrokerLink::waitForConnection()
{
    if (m_waiting)
        return;
    m_waiting = true;
    emit noted(QStringLiteral("connecting to %1").arg(m_bus->settings().connection.broker()));
}

QString TerminalBrokerLink::giveUp(double seconds)
{
    m_waiting = false;
    const QString why = m_lastProblem.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(m_lastProblem);
    return QStringLiteral("no connection to the broker at %1 within %2 s%3")
        .arg(m_bus->settings().connection.broker())
        .arg(seconds)
        .arg(why);
}

bool TerminalBrokerLink::close()
{
    if (m_bus->client()->state() == StompClient::UnconnectedState)
        return false;
    // The answers handed on are acknowledged before the program goes: a clean DISCONNECT, or
    // at once when the broker is away.
    m_bus->close();
    return true;
}

void TerminalBrokerLink::connected()
{
    m_up = true;
    const QString where = m_bus->client()->currentBroker();
    emit noted(m_everConnected ? QStringLiteral("connected again, to %1").arg(where)
                               : QStringLiteral("connected to %1").arg(where));
    m_everConnected = true;
    if (m_waiting) {
        m_waiting = false;
        emit ready();
    }
}

void TerminalBrokerLink::lost(const QString &reason)
{
    m_lastProblem = reason;
    // While the broker stays away every attempt fails; the transcript tells the first.
    if (!m_up)
        return;
    m_up = false;
    emit noted(QStringLiteral("connection lost: %1").arg(reason));
}
