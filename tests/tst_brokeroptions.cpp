#include <QtCore/QCommandLineParser>
#include <QtTest/QtTest>

#include "brokeroptions.h"

Q_DECLARE_METATYPE(BrokerOptions::Side)

// The simulators' broker options are typed by people at a shell: a usable command line gives
// the bus exactly what was asked for, and any mistake is refused with the option named before
// a connection is tried.
class tst_BrokerOptions : public QObject
{
    Q_OBJECT

private slots:
    void readsTheBusSettings_data();
    void readsTheBusSettings();
    void refusesMistakes_data();
    void refusesMistakes();
    void terminalsStartedAlikeHaveTheirOwnReplies();
};

namespace {

// Parses as the programs do; false with the message the user would see.
bool parse(BrokerOptions *options, const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    parser.addOptions(options->options());
    if (!parser.parse(QStringList{QStringLiteral("program")} + arguments)) {
        *error = parser.errorText();
        return false;
    }
    return options->read(parser, error);
}

} // namespace

void tst_BrokerOptions::readsTheBusSettings_data()
{
    QTest::addColumn<BrokerOptions::Side>("side");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("broker");
    QTest::addColumn<QString>("virtualHost");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("requests");
    QTest::addColumn<QString>("replies");
    QTest::addColumn<uint>("kovraId");
    QTest::addColumn<int>("heartBeatMs");
    QTest::addColumn<QString>("transport");

    const QString plain = QStringLiteral("plain, 30000 ms");
    const auto terminal = BrokerOptions::Side::Terminal;
    QTest::newRow("a terminal id without a broker still names the terminal")
        << terminal << QStringList{"--terminal-id", "77"} << false << QString() << QString()
        << QString() << QString() << QString() << 77u << 10000 << plain;
    QTest::newRow("defaults, the broker trimmed, and the terminal id, up to 32 bits, naming the reply queue")
        << terminal << QStringList{"--broker", " broker.local:61613 ", "--terminal-id", "4294967295"} << true
        << "broker.local:61613" << "/" << QString() << "/queue/tavrin.requests"
        << "/queue/tavrin.replies.4294967295" << 4294967295u << 10000 << plain;
    QTest::newRow("every option of a terminal")
        << terminal
        << QStringList{"--broker", "[::1]:61614", "--vhost", "payments", "--login", "terminal",
                       "--passcode", "secret", "--request-destination", "/queue/checks",
                       "--reply-destination", "/topic/answers", "--terminal-id", "0", "--heart-beat", "2000"}
        << true << "[::1]:61614" << "payments" << "terminal" << "/queue/checks" << "/topic/answers" << 0u
        << 2000 << plain;
    QTest::newRow("a service has no reply destination of its own")
        << BrokerOptions::Side::Service
        << QStringList{"--broker", "localhost:61613", "--request-destination", "/exchange/checks",
                       "--heart-beat", "0"}
        << true << "localhost:61613" << "/" << QString() << "/exchange/checks" << QString() << 4242u << 0
        << plain;
    QTest::newRow("a cluster's nodes over TLS with a client certificate, on quorum queues")
        << BrokerOptions::Side::Service
        << QStringList{"--broker", "127.0.0.1:61614, localhost:61624,[::1]:61634", "--tls", "--ca-file", "ca.pem",
                       "--cert", "c.pem", "--key", "c.key", "--connect-timeout", "2.5", "--quorum-queues"}
        << true << "127.0.0.1:61614,localhost:61624,[::1]:61634" << "/" << QString()
        << "/queue/tavrin.requests" << QString() << 4242u << 10000
        << "TLS, CA ca.pem, certificate c.pem, key c.key, 2500 ms, queues durable:true auto-delete:false "
           "x-queue-type:quorum";
}

void tst_BrokerOptions::readsTheBusSettings()
{
    QFETCH(BrokerOptions::Side, side);
    QFETCH(QStringList, arguments);
    QFETCH(bool, enabled);

    BrokerOptions options(side);
    QString error;
    QVERIFY2(parse(&options, arguments, &error), qPrintable(error));
    QCOMPARE(options.isEnabled(), enabled);
    QTEST(options.terminalId(4242), "kovraId");
    if (!enabled)
        return;
    const StompBus::Settings settings = options.settings(options.terminalId(4242));
    QTEST(settings.connection.broker(), "broker");
    QTEST(settings.connection.virtualHost, "virtualHost");
    QTEST(settings.connection.login, "login");
    QTEST(settings.requestDestination, "requests");
    QTEST(settings.replyDestination, "replies");
    QTEST(settings.connection.heartBeatSendMs, "heartBeatMs");
    QTEST(settings.connection.heartBeatReceiveMs, "heartBeatMs");
    const StompClient::Settings &connection = settings.connection;
    QString transport = connection.tls ? QStringLiteral("TLS, CA %1, certificate %2, key %3")
                                             .arg(connection.caFile, connection.certificateFile, connection.keyFile)
                                       : QStringLiteral("plain");
    transport += QStringLiteral(", %1 ms").arg(connection.connectTimeoutMs);
    if (!settings.queueHeaders.isEmpty()) {
        transport += QStringLiteral(", queues");
        for (const StompFrame::Header &header : settings.queueHeaders)
            transport += QStringLiteral(" %1:%2").arg(QString::fromUtf8(header.first), QString::fromUtf8(header.second));
    }
    QTEST(transport, "transport");
    QVERIFY2(settings.connection.validate().isEmpty(), qPrintable(settings.connection.validate()));
}

void tst_BrokerOptions::refusesMistakes_data()
{
    QTest::addColumn<BrokerOptions::Side>("side");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    const auto terminal = BrokerOptions::Side::Terminal;
    const auto service = BrokerOptions::Side::Service;
    QTest::newRow("an IPv6 address without brackets")
        << terminal << QStringList{"--broker", "::1:61613"} << "--broker: \"::1:61613\" is not HOST:PORT";
    QTest::newRow("a port out of range")
        << service << QStringList{"--broker", "127.0.0.1:65536"} << "has no port between 1 and 65535";
    QTest::newRow("a destination without a broker")
        << service << QStringList{"--request-destination", "/queue/x"}
        << "--request-destination needs --broker";
    QTest::newRow("a terminal id over 32 bits")
        << terminal << QStringList{"--terminal-id", "4294967296"}
        << "--terminal-id takes a whole number from 0 to 4294967295, not \"4294967296\"";
    QTest::newRow("a terminal id that is not a number")
        << terminal << QStringList{"--terminal-id", "4242a"} << "--terminal-id takes a whole number";
    QTest::newRow("an empty request destination")
        << terminal << QStringList{"--broker", "h:1", "--request-destination", ""}
        << "--request-destination needs a destination";
    QTest::newRow("a destination with a line break")
        << terminal << QStringList{"--broker", "h:1", "--reply-destination", "/queue/a\nb"}
        << "--reply-destination \"/queue/a\nb\" holds spaces at its ends or control characters";
    QTest::newRow("answers on the request destination")
        << terminal << QStringList{"--broker", "h:1", "--reply-destination", "/queue/tavrin.requests"}
        << "--reply-destination is the request destination";
    QTest::newRow("a request destination without a prefix")
        << service << QStringList{"--broker", "h:1", "--request-destination", "tavrin.requests"}
        << "--request-destination \"tavrin.requests\" is not a destination: it starts with /queue/";
    QTest::newRow("a prefix that names nothing")
        << terminal << QStringList{"--broker", "h:1", "--reply-destination", "/topic/"}
        << "--reply-destination \"/topic/\" is not a destination";
    QTest::newRow("a heart-beat too short to keep")
        << terminal << QStringList{"--broker", "h:1", "--heart-beat", "50"}
        << "--heart-beat takes 0 or milliseconds from 100 to 3600000, not \"50\"";
    QTest::newRow("a virtual host with a line break")
        << service << QStringList{"--broker", "h:1", "--vhost", "a\nb"} << "cannot hold line breaks";
    QTest::newRow("an empty entry in a broker list")
        << terminal << QStringList{"--broker", "h:1,,h:2"} << "--broker: \"\" is not HOST:PORT";
    QTest::newRow("TLS without a broker") << service << QStringList{"--tls"} << "--tls needs --broker";
    QTest::newRow("a CA file without TLS")
        << terminal << QStringList{"--broker", "h:1", "--ca-file", "ca.pem"} << "--ca-file needs --tls";
    QTest::newRow("a client certificate without its key")
        << terminal << QStringList{"--broker", "h:1", "--tls", "--cert", "c.pem"} << "--cert and --key go together";
    QTest::newRow("a connection time-out of nothing")
        << service << QStringList{"--broker", "h:1", "--connect-timeout", "0"}
        << "--connect-timeout takes seconds from 0.1 to 3600, not \"0\"";
    QTest::newRow("a service takes no reply destination")
        << service << QStringList{"--broker", "h:1", "--reply-destination", "/queue/x"}
        << "Unknown option 'reply-destination'";
}

void tst_BrokerOptions::refusesMistakes()
{
    QFETCH(BrokerOptions::Side, side);
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    BrokerOptions options(side);
    QString error;
    QVERIFY2(!parse(&options, arguments, &error), "the command line was taken");
    QVERIFY2(error.contains(message), qPrintable(error));
}

void tst_BrokerOptions::terminalsStartedAlikeHaveTheirOwnReplies()
{
    // Two terminals from the same command line, the scenario's kovraId for both: on one queue
    // each would take the other's answers.
    const QStringList arguments{"--broker", "h:1"};
    BrokerOptions first(BrokerOptions::Side::Terminal);
    BrokerOptions second(BrokerOptions::Side::Terminal);
    QString error;
    QVERIFY2(parse(&first, arguments, &error) && parse(&second, arguments, &error), qPrintable(error));
    const QString mine = first.settings(4242).replyDestination;
    QVERIFY2(mine.startsWith("/queue/tavrin.replies.4242."), qPrintable(mine));
    QVERIFY2(mine != second.settings(4242).replyDestination, qPrintable(mine));
    QCOMPARE(first.settings(4242).replyDestination, mine);
    QCOMPARE(first.describe(4242), QStringLiteral("h:1, virtual host \"/\", requests to "
                                                  "/queue/tavrin.requests, answers on %1").arg(mine));
}

QTEST_GUILESS_MAIN(tst_BrokerOptions)
#include "tst_brokeroptions.moc"
