#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtTest/QtTest>

#include <memory>

#include "busprobe.h"
#include "fakestompbroker.h"
#include "messagecapture.h"
#include "stompbus.h"
#include "stompclient.h"

namespace {

QVariantMap jsonMap(const QByteArray &body)
{
    return QJsonDocument::fromJson(body).object().toVariantMap();
}

QByteArray jsonBody(const QVariantMap &map)
{
    return QJsonDocument(QJsonObject::fromVariantMap(map)).toJson(QJsonDocument::Compact);
}

} // namespace

// The STOMP transport against a broker that the test scripts: the handshake, heart-beats,
// acknowledgement after hand-on, every way a connection ends and the reconnection after it,
// and sends that wait for a connection.
class tst_StompClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void connectHandshake_data();
    void connectHandshake();
    void heartBeatNegotiation_data();
    void heartBeatNegotiation();
    void heartBeatsAreSent();
    void silenceLimit_data();
    void silenceLimit();
    void ackFollowsHandOn_data();
    void ackFollowsHandOn();
    void bodiesThatAreNotObjects();
    void reconnectsAndSubscribesAgain_data();
    void reconnectsAndSubscribesAgain();
    void backOffDoublesUntilAGoodConnection();
    void sendsWaitInABoundedQueue();
    void unconfirmedSendGoesAgain();
    void refusedSendIsGivenUp();
    void refusalsAreFinal_data();
    void refusalsAreFinal();
    void closeWaitsForTheBroker();
    void brokerAddress_data();
    void brokerAddress();

private:
    StompBus *terminalBus(const StompClient::Settings &connection);
    // A terminal bus on the broker, subscribed to its replies.
    StompBus *subscribedTerminal();
    // A client of the broker with these settings, connected.
    StompClient *connectedClient(const StompClient::Settings &settings);

    // The transport's warnings are expected here: kept for the tests to read, not printed.
    std::unique_ptr<MessageCapture> log;
    std::unique_ptr<FakeStompBroker> broker;
    std::unique_ptr<StompBus> bus;
    std::unique_ptr<StompClient> client;
};

void tst_StompClient::init()
{
    log.reset(new MessageCapture);
    broker.reset(new FakeStompBroker);
    QVERIFY2(broker->listen(), qPrintable(broker->errorString()));
}

void tst_StompClient::cleanup()
{
    client.reset();
    bus.reset();
    broker.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    log.reset();
}

StompBus *tst_StompClient::terminalBus(const StompClient::Settings &connection)
{
    StompBus::Settings settings;
    settings.connection = connection;
    settings.replyDestination = StompBus::Settings::defaultReplyDestination(4242);
    bus.reset(new StompBus(StompBus::TerminalRole, settings));
    return bus.get();
}

StompBus *tst_StompClient::subscribedTerminal()
{
    StompBus *terminal = terminalBus(broker->clientSettings());
    if (!terminal->open() || !QTest::qWaitFor([&] { return !broker->receivedOf("SUBSCRIBE").isEmpty(); }))
        return nullptr;
    return terminal;
}

StompClient *tst_StompClient::connectedClient(const StompClient::Settings &settings)
{
    client.reset(new StompClient(settings));
    QSignalSpy connected(client.get(), &StompClient::connected);
    return client->open() && connected.wait() ? client.get() : nullptr;
}

void tst_StompClient::connectHandshake_data()
{
    QTest::addColumn<QString>("virtualHost");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("passcode");
    QTest::addColumn<QList<StompFrame::Header>>("headers");

    QTest::newRow("default virtual host, no credentials")
        << "/" << QString() << QString()
        << QList<StompFrame::Header>{{"accept-version", "1.2"}, {"host", "/"}, {"heart-beat", "0,0"}};
    QTest::newRow("named virtual host and credentials, passed as they are")
        << "tavrin:test" << "guest" << "pa\\ss:word"
        << QList<StompFrame::Header>{{"accept-version", "1.2"}, {"host", "tavrin:test"},
                                     {"login", "guest"}, {"passcode", "pa\\ss:word"},
                                     {"heart-beat", "0,0"}};
}

void tst_StompClient::connectHandshake()
{
    StompClient::Settings settings = broker->clientSettings();
    QFETCH(QString, virtualHost);
    settings.virtualHost = virtualHost;
    QFETCH(QString, login);
    settings.login = login;
    QFETCH(QString, passcode);
    settings.passcode = passcode;
    QVERIFY(connectedClient(settings));

    const QList<StompFrame> connects = broker->receivedOf("CONNECT");
    QCOMPARE(connects.size(), 1);
    QTEST(connects.first().headers(), "headers");
}

void tst_StompClient::heartBeatNegotiation_data()
{
    QTest::addColumn<int>("canSend");
    QTest::addColumn<int>("wants");
    QTest::addColumn<QByteArray>("brokerBeats");
    QTest::addColumn<int>("outgoing");
    QTest::addColumn<int>("incoming");

    QTest::newRow("the slower of the two sides in each direction") << 70 << 30 << QByteArray("40,50") << 70 << 40;
    QTest::newRow("the broker wants none") << 20 << 30 << QByteArray("40,0") << 0 << 40;
    QTest::newRow("a broken header counts as none") << 20 << 30 << QByteArray("fast") << 0 << 0;
}

void tst_StompClient::heartBeatNegotiation()
{
    QFETCH(int, canSend);
    QFETCH(int, wants);
    QFETCH(QByteArray, brokerBeats);

    broker->heartBeat = brokerBeats;
    StompClient::Settings settings = broker->clientSettings();
    settings.heartBeatSendMs = canSend;
    settings.heartBeatReceiveMs = wants;
    QVERIFY(connectedClient(settings));

    QCOMPARE(broker->receivedOf("CONNECT").first().header("heart-beat"),
             QByteArray::number(canSend) + ',' + QByteArray::number(wants));
    QTEST(client->outgoingHeartBeatMs(), "outgoing");
    QTEST(client->incomingHeartBeatMs(), "incoming");
}

void tst_StompClient::heartBeatsAreSent()
{
    broker->heartBeat = "20,20";
    StompClient::Settings settings = broker->clientSettings();
    settings.heartBeatSendMs = 20;
    settings.heartBeatReceiveMs = 200;
    StompClient client(settings);
    QSignalSpy lost(&client, &StompClient::connectionLost);
    QVERIFY(client.open());

    QTRY_VERIFY(broker->heartBeatsReceived() >= 5);
    // The broker's beats kept the connection open meanwhile.
    QCOMPARE(lost.count(), 0);
    QCOMPARE(broker->connectionCount(), 1);
}

void tst_StompClient::silenceLimit_data()
{
    QTest::addColumn<int>("intervalMs");
    QTest::addColumn<int>("beatEveryMs");
    QTest::addColumn<bool>("kept");

    // ActiveMQ's first beat comes up to two intervals late.
    QTest::newRow("beats 2.2 intervals apart keep the connection") << 400 << 880 << true;
    QTest::newRow("silent for 3 intervals is noticed") << 100 << 300 << false;
}

void tst_StompClient::silenceLimit()
{
    QFETCH(int, intervalMs);
    QFETCH(int, beatEveryMs);
    QFETCH(bool, kept);

    broker->heartBeat = QByteArray::number(intervalMs) + ",0";
    broker->beatEveryMs = beatEveryMs;
    StompClient::Settings settings = broker->clientSettings();
    settings.heartBeatReceiveMs = intervalMs;
    StompClient client(settings);
    QSignalSpy lost(&client, &StompClient::connectionLost);
    QVERIFY(client.open());

    if (kept) {
        QTRY_VERIFY_WITH_TIMEOUT(broker->heartBeatsSent() >= 3, 10000);
        QVERIFY2(lost.isEmpty(), qPrintable(lost.value(0).value(0).toString()));
        QCOMPARE(broker->connectionCount(), 1);
    } else {
        QTRY_VERIFY(!lost.isEmpty());
        QVERIFY2(lost.first().first().toString().contains("250 ms, 2.5 times its heart-beat"),
                 qPrintable(lost.first().first().toString()));
    }
}

void tst_StompClient::ackFollowsHandOn_data()
{
    QTest::addColumn<bool>("requestSent");
    QTest::addColumn<bool>("closeWhileHandling");

    QTest::newRow("handed on, then acknowledged") << true << false;
    QTest::newRow("closed while handling: left for the broker to deliver again") << true << true;
    QTest::newRow("before any request: left from an earlier run, acknowledged, not handed on")
        << false << false;
}

void tst_StompClient::ackFollowsHandOn()
{
    QFETCH(bool, requestSent);
    QFETCH(bool, closeWhileHandling);

    StompBus *terminal = subscribedTerminal();
    QVERIFY(terminal);
    QCOMPARE(broker->receivedOf("SUBSCRIBE").first().header("ack"), QByteArray("client-individual"));
    if (requestSent)
        terminal->send(BusProbe::stepAnswer("17", 1, false));

    QList<QVariantMap> handedOn;
    connect(terminal, &StompBus::messageReceived, this, [&](const QVariantMap &message) {
        handedOn.append(message);
        if (closeWhileHandling)
            terminal->close();
    });
    const QByteArray answer = jsonBody(BusProbe::stepAnswer("17", 1, true));
    const QByteArray ackId = broker->deliver(terminal->settings().replyDestination, answer);

    if (!requestSent) {
        QTRY_COMPARE(broker->ackedIds(), QList<QByteArray>{ackId});
        QVERIFY(handedOn.isEmpty());
        return;
    }
    QTRY_COMPARE(handedOn, QList<QVariantMap>{jsonMap(answer)});
    if (closeWhileHandling) {
        QTRY_COMPARE(broker->receivedOf("DISCONNECT").size(), 1);
        QTRY_COMPARE(terminal->client()->state(), StompClient::UnconnectedState);
        QVERIFY(broker->ackedIds().isEmpty());
    } else {
        QTRY_COMPARE(broker->ackedIds(), QList<QByteArray>{ackId});
        // ActiveMQ's ack ids hold ':', which goes back escaped.
        QVERIFY(broker->rawReceived(0).contains("ACK\nid:msg\\c1\n"));
    }
}

void tst_StompClient::bodiesThatAreNotObjects()
{
    StompBus *terminal = subscribedTerminal();
    QVERIFY(terminal);
    QSignalSpy received(terminal, &StompBus::messageReceived);
    // Valid JSON, so that only the check for an object can turn it away.
    const QByteArray ackId = broker->deliver(terminal->settings().replyDestination, "[1,2]");
    // Acknowledged all the same, or it would come back for ever.
    QTRY_COMPARE(broker->ackedIds(), QList<QByteArray>{ackId});
    QCOMPARE(received.count(), 0);
    QCOMPARE(log->summary({"paymenthost.stomp"}).filter("not a JSON object").size(), 1);
}

void tst_StompClient::reconnectsAndSubscribesAgain_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("reason");

    QTest::newRow("ERROR frame") << "error" << "the broker reported an error: queue gone";
    QTest::newRow("dropped connection") << "drop" << "";
    QTest::newRow("garbage from the broker") << "garbage" << "broken STOMP stream";
    QTest::newRow("a MESSAGE before CONNECTED") << "early" << "MESSAGE before CONNECTED";
    QTest::newRow("silent broker") << "silent" << "2.5 times its heart-beat";
    QTest::newRow("no CONNECTED in time") << "mute" << "no CONNECTED from the broker";
}

void tst_StompClient::reconnectsAndSubscribesAgain()
{
    QFETCH(QString, failure);
    QFETCH(QString, reason);

    StompClient::Settings settings = broker->clientSettings();
    if (failure == "silent") {
        broker->heartBeat = "50,0";
        broker->sendsHeartBeats = false;
        settings.heartBeatReceiveMs = 50;
    } else if (failure == "mute") {
        broker->answersConnect = false;
        settings.connectTimeoutMs = 100;
    } else if (failure == "early") {
        // The first CONNECT gets a MESSAGE first; CONNECTED follows too late.
        connect(broker.get(), &FakeStompBroker::frameReceived, this, [this](const StompFrame &frame) {
            if (frame.command() == "CONNECT" && broker->connectionCount() == 1)
                broker->sendFrame(StompFrame("MESSAGE", {{"ack", "x"}}, "{}"));
        });
    }
    StompClient *client = terminalBus(settings)->client();
    QSignalSpy connected(client, &StompClient::connected);
    QSignalSpy lost(client, &StompClient::connectionLost);
    QSignalSpy errors(client, &StompClient::errorReceived);
    QVERIFY(bus->open());

    if (failure == "error" || failure == "drop" || failure == "garbage") {
        QVERIFY(connected.wait());
        QTRY_COMPARE(broker->receivedOf("SUBSCRIBE").size(), 1);
        if (failure == "error")
            broker->sendFrame(StompFrame("ERROR", {{"message", "queue gone"}}, "details"));
        else if (failure == "drop")
            broker->dropConnections();
        else
            broker->sendRaw("HTTP/1.1 200 OK\r\n");
    }

    QTRY_VERIFY(lost.count() >= 1);
    QVERIFY2(lost.first().first().toString().contains(reason), qPrintable(lost.first().first().toString()));
    const QList<QVariantList> reported{{"queue gone", "details"}};
    QCOMPARE(QList<QVariantList>(errors), failure == "error" ? reported : QList<QVariantList>());
    broker->sendsHeartBeats = true;
    broker->answersConnect = true;

    // A new connection, subscribed again to the same destination under the same id.
    QTRY_VERIFY(client->isConnected() && broker->connectionCount() >= 2
                && broker->rawReceived(broker->connectionCount() - 1).contains("SUBSCRIBE\n"));
    for (const StompFrame &subscribe : broker->receivedOf("SUBSCRIBE")) {
        QCOMPARE(subscribe.header("destination"), QByteArray("/queue/tavrin.replies.4242"));
        QCOMPARE(subscribe.header("id"), QByteArray("sub-1"));
    }
}

void tst_StompClient::backOffDoublesUntilAGoodConnection()
{
    broker->stopListening();
    StompClient::Settings settings = broker->clientSettings();
    settings.reconnectMinMs = 20;
    settings.reconnectMaxMs = 160;
    StompClient client(settings);
    QSignalSpy delays(&client, &StompClient::reconnectScheduled);
    QSignalSpy connected(&client, &StompClient::connected);
    QVERIFY(client.open());
    QTRY_VERIFY(delays.count() >= 5);
    QVERIFY(broker->listen());
    QVERIFY(connected.wait());

    // A good connection starts the back-off over.
    const int beforeDrop = delays.count();
    broker->stopListening();
    broker->dropConnections();
    QTRY_VERIFY(delays.count() >= beforeDrop + 3);
    client.close();

    QList<int> seen;
    for (const QVariantList &arguments : qAsConst(delays))
        seen.append(arguments.first().toInt());
    QCOMPARE(seen.mid(0, 5), (QList<int>{20, 40, 80, 160, 160}));
    QCOMPARE(seen.mid(beforeDrop, 3), (QList<int>{20, 40, 80}));
}

void tst_StompClient::sendsWaitInABoundedQueue()
{
    broker->stopListening();
    StompClient::Settings settings = broker->clientSettings();
    settings.maxQueuedSends = 2;
    StompBus *terminal = terminalBus(settings);
    QSignalSpy refused(terminal->client(), &StompClient::sendRefused);
    QVERIFY(terminal->open());
    const QVariantMap first{{"uid", "1"}, {"rekv", "Иванов Иван"}};
    const QVariantMap second{{"uid", "2"}, {"summ", 0}};
    terminal->send(first);
    terminal->send(second);
    terminal->send({{"uid", "3"}});
    QCOMPARE(terminal->client()->queuedCount(), 2);
    QCOMPARE(refused.count(), 1);
    QCOMPARE(jsonMap(refused.first().first().value<StompFrame>().body()).value("uid").toString(), "3");
    QVERIFY(refused.first().last().toString().contains("already waiting"));

    QVERIFY(broker->listen());
    QTRY_COMPARE(broker->receivedOf("SEND").size(), 2);
    const QList<StompFrame> sends = broker->receivedOf("SEND");
    QCOMPARE(jsonMap(sends.at(0).body()), first);
    QCOMPARE(jsonMap(sends.at(1).body()), second);
    for (const StompFrame &send : sends) {
        QCOMPARE(send.header("destination"), QByteArray("/queue/tavrin.requests"));
        QCOMPARE(send.header("reply-to"), QByteArray("/queue/tavrin.replies.4242"));
        QCOMPARE(send.header("content-type"), QByteArray("application/json;charset=utf-8"));
        QCOMPARE(send.header("content-length").toInt(), send.body().size());
        QVERIFY(!send.body().contains('\n'));
    }
    QTRY_COMPARE(terminal->client()->unconfirmedCount(), 0);
    QCOMPARE(terminal->client()->queuedCount(), 0);
}

void tst_StompClient::unconfirmedSendGoesAgain()
{
    broker->sendsReceipts = false;
    StompBus *terminal = terminalBus(broker->clientSettings());
    QSignalSpy connected(terminal->client(), &StompClient::connected);
    QVERIFY(terminal->open());
    QVERIFY(connected.wait());
    terminal->send({{"uid", "5"}});
    QTRY_COMPARE(broker->receivedOf("SEND").size(), 1);
    QCOMPARE(terminal->client()->unconfirmedCount(), 1);

    broker->sendsReceipts = true;
    broker->dropConnections();
    QTRY_COMPARE(broker->receivedOf("SEND").size(), 2);
    const QList<StompFrame> sends = broker->receivedOf("SEND");
    QCOMPARE(sends.at(1).body(), sends.at(0).body());
    QVERIFY(sends.at(1).header("receipt") != sends.at(0).header("receipt"));
    QTRY_COMPARE(terminal->client()->unconfirmedCount(), 0);
}

void tst_StompClient::refusedSendIsGivenUp()
{
    broker->sendsReceipts = false;
    connect(broker.get(), &FakeStompBroker::frameReceived, this, [this](const StompFrame &frame) {
        if (frame.command() == "SEND" && frame.header("destination") == "/queue/nowhere")
            broker->sendFrame(StompFrame("ERROR", {{"message", "not_found"},
                                                   {"receipt-id", frame.header("receipt")}}));
    });
    StompClient client(broker->clientSettings());
    QSignalSpy refused(&client, &StompClient::sendRefused);
    QSignalSpy connected(&client, &StompClient::connected);
    QVERIFY(client.open());
    QVERIFY(connected.wait());
    QVERIFY(client.send("/queue/nowhere", "{}"));

    QTRY_COMPARE(refused.count(), 1);
    QVERIFY(refused.first().last().toString().contains("not_found"));
    QTRY_COMPARE(connected.count(), 2);
    QVERIFY(client.send("/queue/somewhere", "{}"));
    QTRY_COMPARE(broker->receivedOf("SEND").size(), 2);
    QCOMPARE(broker->receivedOf("SEND").last().header("destination"), QByteArray("/queue/somewhere"));
    QCOMPARE(client.queuedCount() + client.unconfirmedCount(), 1);
}

void tst_StompClient::refusalsAreFinal_data()
{
    QTest::addColumn<QString>("refusing");
    QTest::addColumn<int>("refusal");
    QTest::addColumn<QString>("reason");

    QTest::newRow("the login") << "CONNECT" << int(StompClient::LoginRefused)
                               << "refused the login as \"terminal\" (wrong credentials or virtual host?): Access refused";
    // RabbitMQ names no frame; ActiveMQ names the receipt.
    QTest::newRow("a subscription, the ERROR naming no frame")
        << "SUBSCRIBE" << int(StompClient::SubscriptionRefused)
        << "refused the subscription to /queue/tavrin.replies.4242 (wrong destination or no permission?): not_found";
    QTest::newRow("a subscription, the ERROR naming its receipt")
        << "SUBSCRIBE receipt" << int(StompClient::SubscriptionRefused)
        << "refused the subscription to /queue/tavrin.replies.4242";
}

void tst_StompClient::refusalsAreFinal()
{
    QFETCH(QString, refusing);
    QFETCH(int, refusal);
    QFETCH(QString, reason);

    if (refusing == "CONNECT") {
        broker->connectError = "Access refused";
    } else {
        connect(broker.get(), &FakeStompBroker::frameReceived, this, [&](const StompFrame &frame) {
            if (frame.command() != "SUBSCRIBE")
                return;
            StompFrame error("ERROR", {{"message", "not_found"}});
            if (refusing.endsWith("receipt"))
                error.addHeader("receipt-id", frame.header("receipt"));
            broker->sendFrame(error);
        });
    }
    StompClient::Settings settings = broker->clientSettings();
    settings.login = "terminal";
    settings.passcode = "wrong";
    StompClient *client = terminalBus(settings)->client();
    QSignalSpy refused(client, &StompClient::refused);
    QVERIFY(bus->open());

    QTRY_COMPARE(refused.count(), 1);
    QCOMPARE(int(refused.first().first().value<StompClient::Refusal>()), refusal);
    QVERIFY2(refused.first().last().toString().contains(reason), qPrintable(refused.first().last().toString()));
    // Stopped, not waiting to try again; open() tries once more.
    QCOMPARE(client->state(), StompClient::UnconnectedState);
    QVERIFY(bus->open());
    QTRY_COMPARE(refused.count(), 2);
    QCOMPARE(broker->connectionCount(), 2);
}

void tst_StompClient::closeWaitsForTheBroker()
{
    broker->sendsReceipts = false;
    StompClient client(broker->clientSettings());
    QSignalSpy connected(&client, &StompClient::connected);
    QSignalSpy closed(&client, &StompClient::closed);
    QSignalSpy lost(&client, &StompClient::connectionLost);
    QVERIFY(client.open());
    QVERIFY(connected.wait());
    QVERIFY(client.send("/queue/a", "{}"));
    client.close();
    QCOMPARE(client.state(), StompClient::ClosingState);

    QVERIFY(closed.wait());
    QCOMPARE(broker->receivedOf("DISCONNECT").size(), 1);
    QVERIFY(!broker->receivedOf("DISCONNECT").first().header("receipt").isEmpty());
    // The broker closed without a receipt: the send is kept for the next connection.
    QCOMPARE(client.queuedCount(), 1);
    QCOMPARE(lost.count(), 0);

    broker->sendsReceipts = true;
    QVERIFY(client.open());
    QVERIFY(connected.wait());
    client.close();
    QVERIFY(closed.wait());
    QCOMPARE(broker->receivedOf("SEND").size(), 2);
    QCOMPARE(client.queuedCount() + client.unconfirmedCount(), 0);
}

void tst_StompClient::brokerAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");

    QTest::newRow("name and port, spaces around") << " broker.local:61613 " << "broker.local" << 61613;
    QTest::newRow("port out of range") << "127.0.0.1:65536" << QString() << 0;
    QTest::newRow("IPv6 without brackets") << "::1:61613" << QString() << 0;
}

void tst_StompClient::brokerAddress()
{
    QFETCH(QString, address);
    QFETCH(QString, host);
    QFETCH(int, port);

    StompClient::Settings settings;
    QString error;
    QCOMPARE(settings.setBroker(address, &error), port != 0);
    if (port != 0) {
        QCOMPARE(settings.host, host);
        QCOMPARE(int(settings.port), port);
        QVERIFY(settings.validate().isEmpty());
    } else {
        QVERIFY(!error.isEmpty());
        QCOMPARE(settings.host, StompClient::Settings().host);
    }
}

QTEST_MAIN(tst_StompClient)
#include "tst_stompclient.moc"
