#include "brokeroptions.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QCoreApplication>
#include <QtCore/QRandomGenerator>
#include <QtCore/QRegularExpression>
#include <QtCore/QStringList>

namespace {

const QString BrokerName = QStringLiteral("broker");
const QString VirtualHostName = QStringLiteral("vhost");
const QString LoginName = QStringLiteral("login");
const QString PasscodeName = QStringLiteral("passcode");
const QString RequestDestinationName = QStringLiteral("request-destination");
const QString ReplyDestinationName = QStringLiteral("reply-destination");
const QString TerminalIdName = QStringLiteral("terminal-id");
const QString HeartBeatName = QStringLiteral("heart-beat");
const QString TlsName = QStringLiteral("tls");
const QString CaFileName = QStringLiteral("ca-file");
const QString CertName = QStringLiteral("cert");
const QString KeyName = QStringLiteral("key");
const QString ConnectTimeoutName = QStringLiteral("connect-timeout");
const QString QuorumName = QStringLiteral("quorum-queues");

// Brokers differ on a bare name (ActiveMQ makes a queue of it, RabbitMQ refuses it): only the
// prefixes both understand are taken, so that a typo fails here and not in silence.
const QStringList DestinationPrefixes{QStringLiteral("/queue/"), QStringLiteral("/topic/"),
                                      QStringLiteral("/temp-queue/"), QStringLiteral("/exchange/")};

bool hasControlCharacter(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

// Empty when the destination can be used.
QString destinationProblem(const QString &option, const QString &destination)
{
    if (destination.trimmed().isEmpty())
        return QStringLiteral("--%1 needs a destination such as /queue/name or /topic/name").arg(option);
    if (hasControlCharacter(destination) || destination.trimmed() != destination)
        return QStringLiteral("--%1 \"%2\" holds spaces at its ends or control characters")
            .arg(option, destination);
    for (const QString &prefix : DestinationPrefixes) {
        if (destination.startsWith(prefix) && destination.size() > prefix.size())
            return QString();
    }
    return QStringLiteral("--%1 \"%2\" is not a destination: it starts with %3 and names one")
        .arg(option, destination, DestinationPrefixes.join(QStringLiteral(", ")));
}

// The number text writes with at most digits digits before the point and decimals after it;
// -1 for anything else. QString::toDouble() alone takes a sign, "1e3", " 5" and "nan".
double plainNumber(const QString &text, int digits, int decimals)
{
    QString pattern = QStringLiteral("^\\d{1,%1}").arg(digits);
    if (decimals > 0)
        pattern += QStringLiteral("(\\.\\d{1,%1})?").arg(decimals);
    return QRegularExpression(pattern + QLatin1Char('$')).match(text).hasMatch() ? text.toDouble() : -1;
}

} // namespace

BrokerOptions::BrokerOptions(Side side)
    : m_side(side)
    // Terminals started alike (same scenario, same kovraId) must not read each other's
    // answers: the process id keeps them apart on one machine, the random part across machines.
    , m_ownReplySuffix(QStringLiteral("%1-%2")
                           .arg(QCoreApplication::applicationPid())
                           .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')))
{
}

QList<QCommandLineOption> BrokerOptions::options() const
{
    const bool terminal = m_side == Side::Terminal;
    QList<QCommandLineOption> list{
        QCommandLineOption(BrokerName,
            QStringLiteral("Uses the STOMP broker at HOST:PORT (\"[::1]:61613\" for an IPv6 address) "
                           "instead of %1. Several separated by commas are a cluster's nodes: the "
                           "first that answers is used, the next when the connection is lost.")
                .arg(terminal ? QStringLiteral("the in-process bus and service")
                              : QStringLiteral("standard input and output")),
            QStringLiteral("host:port[,host:port...]")),
        QCommandLineOption(TlsName,
            QStringLiteral("STOMP over TLS: the broker's certificate must be trusted and name the "
                           "host given in --broker.")),
        QCommandLineOption(CaFileName,
            QStringLiteral("With --tls: the CA certificates to trust, a PEM file (default: the "
                           "system's)."), QStringLiteral("file")),
        QCommandLineOption(CertName,
            QStringLiteral("With --tls: a client certificate to show the broker, a PEM file; needs --key."),
            QStringLiteral("file")),
        QCommandLineOption(KeyName,
            QStringLiteral("The private key of --cert, an unencrypted PEM file."), QStringLiteral("file")),
        QCommandLineOption(ConnectTimeoutName,
            QStringLiteral("Seconds from the start to the broker's first CONNECTED (default %1); "
                           "past them the program ends. A connection lost later is always "
                           "reconnected.").arg(StompClient::Settings().connectTimeoutMs / 1000),
            QStringLiteral("seconds")),
        QCommandLineOption(QuorumName,
            QStringLiteral("Declares every /queue/ destination used as a RabbitMQ quorum queue, "
                           "which survives the loss of a cluster's node; every program on those "
                           "queues must give it alike.")),
        QCommandLineOption(VirtualHostName,
            QStringLiteral("The broker's virtual host, sent as CONNECT's host header (default \"/\")."),
            QStringLiteral("name")),
        QCommandLineOption(LoginName,
            QStringLiteral("Login for the broker (default: none, the broker's default user)."),
            QStringLiteral("login")),
        QCommandLineOption(PasscodeName, QStringLiteral("Passcode for the broker."),
                           QStringLiteral("passcode")),
        QCommandLineOption(HeartBeatName,
            QStringLiteral("Heart-beat interval asked of the broker in both directions, in ms; "
                           "0 for none (default %1). The connection counts as lost after %2 "
                           "intervals without a sign of the broker.")
                .arg(StompClient::Settings().heartBeatReceiveMs)
                .arg(StompClient::SilenceLimit),
            QStringLiteral("ms")),
        QCommandLineOption(RequestDestinationName,
            terminal ? QStringLiteral("Where check requests go (default %1).")
                           .arg(StompBus::Settings::defaultRequestDestination())
                     : QStringLiteral("Where check requests are taken from (default %1).")
                           .arg(StompBus::Settings::defaultRequestDestination()),
            QStringLiteral("destination")),
    };
    if (terminal) {
        // The default named with a placeholder for the id.
        QString ownQueue = StompBus::Settings::defaultReplyDestination(0);
        ownQueue.chop(1);
        list.append(QCommandLineOption(ReplyDestinationName,
            QStringLiteral("Where this terminal's answers come (default %1<terminal id> with "
                           "--terminal-id, else %1<scenario's id>.<process id>-<random>, one "
                           "per run); a destination that terminals share must be a topic.").arg(ownQueue),
            QStringLiteral("destination")));
        list.append(QCommandLineOption(TerminalIdName,
            QStringLiteral("The terminal's id (kovraId), 0 to 4294967295 (default: the scenario's)."),
            QStringLiteral("number")));
    }
    return list;
}

bool BrokerOptions::read(const QCommandLineParser &parser, QString *error)
{
    const auto refuse = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    const bool terminal = m_side == Side::Terminal;
    m_settings = StompBus::Settings();
    m_enabled = parser.isSet(BrokerName);
    m_hasTerminalId = false;
    m_terminalId = 0;

    if (terminal && parser.isSet(TerminalIdName)) {
        static const QRegularExpression digits(QStringLiteral("^\\d{1,10}$"));
        const QString text = parser.value(TerminalIdName);
        const qulonglong id = text.toULongLong();
        if (!digits.match(text).hasMatch() || id > 0xFFFFFFFFull)
            return refuse(QStringLiteral("--terminal-id takes a whole number from 0 to 4294967295, "
                                         "not \"%1\"").arg(text));
        m_hasTerminalId = true;
        m_terminalId = static_cast<unsigned int>(id);
    }

    QStringList connectionOptions{VirtualHostName, LoginName, PasscodeName, HeartBeatName,
                                  RequestDestinationName, TlsName, CaFileName, CertName, KeyName,
                                  ConnectTimeoutName, QuorumName};
    if (terminal)
        connectionOptions.append(ReplyDestinationName);
    if (!m_enabled) {
        for (const QString &name : qAsConst(connectionOptions)) {
            if (parser.isSet(name))
                return refuse(QStringLiteral("--%1 needs --broker").arg(name));
        }
        return true;
    }

    QString problem;
    if (!m_settings.connection.setBroker(parser.value(BrokerName), &problem))
        return refuse(QStringLiteral("--broker: %1").arg(problem));
    if (parser.isSet(VirtualHostName))
        m_settings.connection.virtualHost = parser.value(VirtualHostName);
    m_settings.connection.login = parser.value(LoginName);
    m_settings.connection.passcode = parser.value(PasscodeName);
    if (parser.isSet(HeartBeatName)) {
        const double ms = plainNumber(parser.value(HeartBeatName), 7, 0);
        // Below 100 ms a busy machine misses beats; above an hour a dead broker goes unnoticed.
        if (ms != 0 && (ms < 100 || ms > 3600000))
            return refuse(QStringLiteral("--heart-beat takes 0 or milliseconds from 100 to 3600000, "
                                         "not \"%1\"").arg(parser.value(HeartBeatName)));
        m_settings.connection.heartBeatSendMs = m_settings.connection.heartBeatReceiveMs = int(ms);
    }
    m_settings.connection.tls = parser.isSet(TlsName);
    for (const QString &name : {CaFileName, CertName, KeyName}) {
        if (parser.isSet(name) && !m_settings.connection.tls)
            return refuse(QStringLiteral("--%1 needs --tls").arg(name));
    }
    if (parser.isSet(CertName) != parser.isSet(KeyName))
        return refuse(QStringLiteral("--cert and --key go together"));
    m_settings.connection.caFile = parser.value(CaFileName);
    m_settings.connection.certificateFile = parser.value(CertName);
    m_settings.connection.keyFile = parser.value(KeyName);
    if (parser.isSet(ConnectTimeoutName)) {
        const double seconds = plainNumber(parser.value(ConnectTimeoutName), 4, 3);
        if (seconds < 0.1 || seconds > 3600)
            return refuse(QStringLiteral("--connect-timeout takes seconds from 0.1 to 3600, not \"%1\"")
                              .arg(parser.value(ConnectTimeoutName)));
        m_settings.connection.connectTimeoutMs = int(seconds * 1000);
    }
    if (parser.isSet(QuorumName))
        m_settings.queueHeaders = StompBus::Settings::quorumQueueHeaders();
    problem = m_settings.connection.validate();
    if (!problem.isEmpty())
        return refuse(problem);

    if (parser.isSet(RequestDestinationName)) {
        m_settings.requestDestination = parser.value(RequestDestinationName);
        problem = destinationProblem(RequestDestinationName, m_settings.requestDestination);
        if (!problem.isEmpty())
            return refuse(problem);
    }
    if (terminal && parser.isSet(ReplyDestinationName)) {
        m_settings.replyDestination = parser.value(ReplyDestinationName);
        problem = destinationProblem(ReplyDestinationName, m_settings.replyDestination);
        if (!problem.isEmpty())
            return refuse(problem);
        if (m_settings.replyDestination == m_settings.requestDestination)
            return refuse(QStringLiteral("--reply-destination is the request destination: the "
                                         "terminal would take requests for answers"));
    }
    return true;
}

StompBus::Settings BrokerOptions::settings(unsigned int kovraId) const
{
    StompBus::Settings settings = m_settings;
    if (m_side == Side::Terminal && settings.replyDestination.isEmpty()) {
        settings.replyDestination = StompBus::Settings::defaultReplyDestination(terminalId(kovraId));
        // A terminal id given by hand names one terminal; a scenario's is shared by every run.
        if (!m_hasTerminalId)
            settings.replyDestination += QLatin1Char('.') + m_ownReplySuffix;
    }
    return settings;
}

QString BrokerOptions::describe(unsigned int kovraId) const
{
    const StompBus::Settings current = settings(kovraId);
    QString text = QStringLiteral("%1%2, virtual host \"%3\"")
                       .arg(current.connection.broker(),
                            current.connection.tls ? QStringLiteral(" over TLS") : QString(),
                            current.connection.virtualHost);
    if (!current.connection.login.isEmpty())
        text += QStringLiteral(" as %1").arg(current.connection.login);
    if (m_side == Side::Terminal) {
        text += QStringLiteral(", requests to %1, answers on %2")
                    .arg(current.requestDestination, current.replyDestination);
    } else {
        text += QStringLiteral(", requests from %1").arg(current.requestDestination);
    }
    return text;
}

QString BrokerOptions::explainRefusal(Side side, StompClient::Refusal refusal, const QString &reason)
{
    QString options;
    switch (refusal) {
    case StompClient::LoginRefused:
        options = QStringLiteral("--login, --passcode and --vhost");
        break;
    case StompClient::SubscriptionRefused:
        options = side == Side::Terminal ? QStringLiteral("--request-destination and --reply-destination")
                                         : QStringLiteral("--request-destination");
        break;
    case StompClient::TlsRefused:
        options = QStringLiteral("--ca-file, --cert, --key and the host names in --broker");
        break;
    case StompClient::NoConnection:
        options = QStringLiteral("--broker, --tls and --connect-timeout");
        break;
    }
    return QStringLiteral("%1; check %2").arg(reason, options);
}
