#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtNetwork/QSslConfiguration>
#include <QtNetwork/QSslKey>
#include <QtNetwork/QSslSocket>
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

} // namespace

// The STOMP transport against a broker that the test scripts: the handshake, plain and over
// TLS, heart-beats, acknowledgement after hand-on, every way a connection ends and the
// reconnection after it, fail-over through a list of brokers, and sends that wait for a
// connection.
class tst_StompClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void connectHandshake_data();
    void connectHandshake();
    void heartBeatsAreSent();
    void silenceLimit_data();
    void silenceLimit();
    void ackFollowsHandOn_data();
    void ackFollowsHandOn();
    void reconnectsAndSubscribesAgain_data();
    void reconnectsAndSubscribesAgain();
    void backOffDoublesUntilAGoodConnection();
    void sendsWaitInABoundedQueue();
    void unconfirmedSendGoesAgain();
    void refusedSendIsGivenUp();
    void refusalsAreFinal_data();
    void refusalsAreFinal();
    void closeWaitsForTheBroker();
    void tlsHandshake_data();
    void tlsHandshake();
    void failOverMovesThroughTheList();
    void copiesAreDroppedBySendId();

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
    QTest::addColumn<QByteArray>("brokerBeats");
    QTest::addColumn<QList<StompFrame::Header>>("headers");
    QTest::addColumn<int>("outgoing");
    QTest::addColumn<int>("incoming");

    // The client can beat every 70 ms and wants the broker's every 30 ms.
    const QList<StompFrame::Header> plain{{"accept-version", "1.2"}, {"host", "/"}, {"heart-beat", "70,30"}};
    QTest::newRow("default virtual host, no credentials; each way at the slower side's pace")
        << "/" << QString() << QString() << QByteArray("40,50") << plain << 70 << 40;
    QTest::newRow("virtual host and credentials as they are; a broker that wants no beats gets none")
        << "tavrin:test" << "guest" << "pa\\ss:word" << QByteArray("40,0")
        << QList<StompFrame::Header>{{"accept-version", "1.2"}, {"host", "tavrin:test"}, {"login", "guest"},
                                     {"passcode", "pa\\ss:word"}, {"heart-beat", "70,30"}}
        << 0 << 40;
    QTest::newRow("a broken heart-beat header counts as none")
        << "/" << QString() << QString() << QByteArray("40,slow") << plain << 0 << 0;
}

void tst_StompClient::connectHandshake()
{
    QFETCH(QString, virtualHost);
    QFETCH(QString, login);
    QFETCH(QString, passcode);
    QFETCH(QByteArray, brokerBeats);

    broker->heartBeat = brokerBeats;
    StompClient::Settings settings = broker->clientSettings();
    settings.virtualHost = virtualHost;
    settings.login = login;
    settings.passcode = passcode;
    settings.heartBeatSendMs = 70;
    settings.heartBeatReceiveMs = 30;
    QVERIFY(connectedClient(settings));

    const QList<StompFrame> connects = broker->receivedOf("CONNECT");
    QCOMPARE(connects.size(), 1);
    QTEST(connects.first().headers(), "headers");
    QTEST(client->outgoingHeartBeatMs(), "outgoing");
    QTEST(client->incomingHeartBeatMs(), "incoming");
}

void tst_StompClient::heartBeatsAreSent()
{
    broker->heartBeat = "0,20";
    StompClient::Settings settings = broker->clientSettings();
    settings.heartBeatSendMs = 20;
    QVERIFY(connectedClient(settings));
    QTRY_VERIFY(broker->heartBeatsReceived() >= 5);
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
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("handedOn");
    QTest::addColumn<bool>("acked");

    const QByteArray answer = QJsonDocument(QJsonObject::fromVariantMap(BusProbe::stepAnswer("17", 1, true)))
                                  .toJson(QJsonDocument::Compact);
    QTest::newRow("handed on, then acknowledged") << true << false << answer << true << true;
    QTest::newRow("closed while handling: left for the broker to deliver again")
        << true << true << answer << true << false;
    QTest::newRow("before any request: left from an earlier run, acknowledged, not handed on")
        << false << false << answer << false << true;
    // Valid JSON, so that only the check for an object can turn it away; acknowledged all the
    // same, or it would come back for ever.
    QTest::newRow("a body that is not an object: acknowledged, not handed on")
        << true << false << QByteArray("[1,2]") << false << true;
}

void tst_StompClient::ackFollowsHandOn()
{
    QFETCH(bool, requestSent);
    QFETCH(bool, closeWhileHandling);
    QFETCH(QByteArray, body);
    QFETCH(bool, handedOn);
    QFETCH(bool, acked);

    StompBus *terminal = subscribedTerminal();
    QVERIFY(terminal);
    QCOMPARE(broker->receivedOf("SUBSCRIBE").first().header("ack"), QByteArray("client-individual"));
    if (requestSent)
        terminal->send(BusProbe::stepAnswer("17", 1, false));
    QList<QVariantMap> messages;
    connect(terminal, &StompBus::messageReceived, this, [&](const QVariantMap &message) {
        messages.append(message);
        if (closeWhileHandling)
            terminal->close();
    });
    const QByteArray ackId = broker->deliver(body);

    // Settled once the broker has the acknowledgement or the goodbye.
    QTRY_VERIFY(!broker->receivedOf("ACK").isEmpty() || !broker->receivedOf("DISCONNECT").isEmpty());
    QCOMPARE(messages, handedOn ? QList<QVariantMap>{jsonMap(body)} : QList<QVariantMap>());
    QCOMPARE(broker->ackedIds(), acked ? QList<QByteArray>{ackId} : QList<QByteArray>());
}

void tst_StompClient::reconnectsAndSubscribesAgain_data()
{
    QTest::addColumn<QByteArray>("connectAnswer");
    QTest::addColumn<QByteArray>("afterSubscribe");
    QTest::addColumn<QString>("reason");

    const QByteArray usual;
    QTest::newRow("an ERROR frame") << usual << StompFrame("ERROR", {{"message", "queue gone"}}, "details").encode()
                                    << "the broker reported an error: queue gone";
    QTest::newRow("garbage from the broker") << usual << QByteArray("HTTP/1.1 200 OK\r\n") << "broken STOMP stream";
    QTest::newRow("a second CONNECTED") << usual << StompFrame("CONNECTED", {{"version", "1.2"}}).encode()
                                        << "CONNECTED before CONNECTED or twice";
    QTest::newRow("a frame that only clients send") << usual << StompFrame("SEND").encode()
                                                    << "protocol error: the broker sent SEND";
    QTest::newRow("a MESSAGE before CONNECTED") << StompFrame("MESSAGE", {{"ack", "x"}}, "{}").encode() << usual
                                               << "MESSAGE before CONNECTED";
    QTest::newRow("heart-beats promised and not kept")
        << StompFrame("CONNECTED", {{"version", "1.2"}, {"heart-beat", "50,0"}}).encode() << usual
        << "2.5 times its heart-beat";
}

void tst_StompClient::reconnectsAndSubscribesAgain()
{
    QFETCH(QByteArray, connectAnswer);
    QFETCH(QByteArray, afterSubscribe);
    QFETCH(QString, reason);

    broker->connectAnswer = connectAnswer;
    broker->afterSubscribe = afterSubscribe;
    StompClient::Settings settings = broker->clientSettings();
    settings.heartBeatReceiveMs = 50;
    settings.connectTimeoutMs = 1000;
    StompClient *client = terminalBus(settings)->client();
    QSignalSpy lost(client, &StompClient::connectionLost);
    QVERIFY(bus->open());

    QTRY_VERIFY(!lost.isEmpty());
    QVERIFY2(lost.first().first().toString().contains(reason), qPrintable(lost.first().first().toString()));
    broker->connectAnswer.clear();
    broker->afterSubscribe.clear();

    // A new connection, subscribed again to the same destination under the same id.
    QTRY_VERIFY(client->isConnected() && broker->connectionCount() >= 2
                && broker->received.last().command() == "SUBSCRIBE");
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
    const QList<QVariantMap> waiting{{{"uid", "1"}, {"rekv", "Иванов Иван"}}, {{"uid", "2"}, {"summ", 0}}};
    for (const QVariantMap &message : waiting)
        terminal->send(message);
    terminal->send({{"uid", "3"}});
    QCOMPARE(refused.count(), 1);
    QCOMPARE(jsonMap(refused.first().first().value<StompFrame>().body()).value("uid").toString(), "3");
    QVERIFY(refused.first().last().toString().contains("already waiting"));

    QVERIFY(broker->listen());
    QTRY_COMPARE(broker->receivedOf("SEND").size(), 2);
    QList<QVariantMap> sent;
    for (const StompFrame &send : broker->receivedOf("SEND")) {
        sent.append(jsonMap(send.body()));
        QCOMPARE(send.header("destination"), QByteArray("/queue/tavrin.requests"));
        QCOMPARE(send.header("reply-to"), QByteArray("/queue/tavrin.replies.4242"));
        QCOMPARE(send.header("content-type"), QByteArray("application/json;charset=utf-8"));
        QVERIFY(!send.body().contains('\n'));
    }
    QCOMPARE(sent, waiting);
}

void tst_StompClient::unconfirmedSendGoesAgain()
{
    broker->sendsReceipts = false;
    QVERIFY(connectedClient(broker->clientSettings()));
    QVERIFY(client->send("/queue/a", "{\"uid\":\"5\"}"));
    QTRY_COMPARE(broker->receivedOf("SEND").size(), 1);

    broker->sendsReceipts = true;
    broker->dropConnections();
    QTRY_COMPARE(broker->receivedOf("SEND").size(), 2);
    const QList<StompFrame> sends = broker->receivedOf("SEND");
    QCOMPARE(sends.at(1).body(), sends.at(0).body());
    QVERIFY(sends.at(1).header("receipt") != sends.at(0).header("receipt"));
    QTRY_COMPARE(client->unconfirmedCount(), 0);
}

void tst_StompClient::refusedSendIsGivenUp()
{
    broker->sendsReceipts = false;
    connect(broker.get(), &FakeStompBroker::frameReceived, this, [this](const StompFrame &frame) {
        if (frame.header("destination") == "/queue/nowhere")
            broker->sendFrame(StompFrame("ERROR", {{"message", "not_found"}, {"receipt-id", frame.header("receipt")}},
                                         "no queue"));
    });
    QVERIFY(connectedClient(broker->clientSettings()));
    QSignalSpy refused(client.get(), &StompClient::sendRefused);
    QSignalSpy errors(client.get(), &StompClient::errorReceived);
    QSignalSpy connected(client.get(), &StompClient::connected);
    QVERIFY(client->send("/queue/nowhere", "{}"));

    QTRY_COMPARE(refused.count(), 1);
    QVERIFY(refused.first().last().toString().contains("not_found"));
    QCOMPARE(errors.first(), (QVariantList{"not_found", "no queue"}));
    QTRY_COMPARE(connected.count(), 1);
    QVERIFY(client->send("/queue/somewhere", "{}"));
    QTRY_COMPARE(broker->receivedOf("SEND").size(), 2);
    QCOMPARE(broker->receivedOf("SEND").last().header("destination"), QByteArray("/queue/somewhere"));
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
    QTest::newRow("no CONNECTED within the time-out after open()")
        << "silence" << int(StompClient::NoConnection) << "within 300 ms";
}

void tst_StompClient::refusalsAreFinal()
{
    QFETCH(QString, refusing);
    QFETCH(int, refusal);
    QFETCH(QString, reason);

    if (refusing == "CONNECT") {
        broker->connectAnswer = StompFrame("ERROR", {{"message", "Access refused"}}, "Access refused").encode();
    } else if (refusing == "silence") {
        broker->connectAnswer = "\n";
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
    settings.connectTimeoutMs = 300;
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
    QVERIFY(connectedClient(broker->clientSettings()));
    QSignalSpy connected(client.get(), &StompClient::connected);
    QSignalSpy closed(client.get(), &StompClient::closed);
    QSignalSpy lost(client.get(), &StompClient::connectionLost);
    QVERIFY(client->send("/queue/a", "{}"));
    client->close();
    QCOMPARE(client->state(), StompClient::ClosingState);

    QVERIFY(closed.wait());
    QCOMPARE(broker->receivedOf("DISCONNECT").size(), 1);
    QVERIFY(!broker->receivedOf("DISCONNECT").first().header("receipt").isEmpty());
    QCOMPARE(lost.count(), 0);

    // The broker closed without a receipt: the send is kept for the next connection.
    broker->sendsReceipts = true;
    QVERIFY(client->open());
    QVERIFY(connected.wait());
    client->close();
    QVERIFY(closed.wait());
    QCOMPARE(broker->receivedOf("SEND").size(), 2);
    QCOMPARE(client->queuedCount() + client->unconfirmedCount(), 0);
}

void tst_StompClient::tlsHandshake_data()
{
    QTest::addColumn<QString>("serverCertificate");
    QTest::addColumn<bool>("clientCertificateRequired");
    QTest::addColumn<bool>("clientTls");
    QTest::addColumn<bool>("trustsTheCa");
    QTest::addColumn<bool>("showsCertificate");
    // -1: connected.
    QTest::addColumn<int>("refusal");
    QTest::addColumn<QString>("reason");

    QTest::newRow("trusted through the CA file, named by its address")
        << "server" << false << true << true << false << -1 << QString();
    QTest::newRow("a client certificate shown to a broker that asks for one")
        << "server" << true << true << true << true << -1 << QString();
    QTest::newRow("the system's CAs do not know the broker's")
        << "server" << false << true << false << false << int(StompClient::TlsRefused) << "is not trusted";
    QTest::newRow("a certificate for another host name")
        << "other" << false << true << true << false << int(StompClient::TlsRefused)
        << "not for the host name 127.0.0.1";
    QTest::newRow("no client certificate for a broker that requires one")
        << "server" << true << true << true << false << int(StompClient::TlsRefused) << "TLS with the broker";
    QTest::newRow("plain STOMP to a TLS listener")
        << "server" << false << false << false << false << int(StompClient::NoConnection)
        << "a TLS listener never answers plain STOMP";
}

void tst_StompClient::tlsHandshake()
{
    QFETCH(QString, serverCertificate);
    QFETCH(bool, clientCertificateRequired);
    QFETCH(bool, clientTls);
    QFETCH(bool, trustsTheCa);
    QFETCH(bool, showsCertificate);
    QFETCH(int, refusal);
    QFETCH(QString, reason);

    const auto data = [](const QString &name) { return QFINDTESTDATA(QStringLiteral("data/tls/") + name); };
    const auto read = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(read(data(serverCertificate + ".pem"))));
    tls.setPrivateKey(QSslKey(read(data(serverCertificate + ".key")), QSsl::Rsa));
    QVERIFY2(!tls.localCertificate().isNull() && !tls.privateKey().isNull(), "test certificates missing");
    tls.setCaCertificates(QSslCertificate::fromPath(data("ca.pem")));
    tls.setPeerVerifyMode(clientCertificateRequired ? QSslSocket::VerifyPeer : QSslSocket::VerifyNone);
    broker.reset(new FakeStompBroker);
    broker->setTls(tls);
    QVERIFY(broker->listen());

    StompClient::Settings settings = broker->clientSettings();
    settings.tls = clientTls;
    settings.connectTimeoutMs = 1000;
    if (trustsTheCa)
        settings.caFile = data("ca.pem");
    if (showsCertificate) {
        settings.certificateFile = data("client.pem");
        settings.keyFile = data("client.key");
    }
    client.reset(new StompClient(settings));
    QSignalSpy connected(client.get(), &StompClient::connected);
    QSignalSpy refused(client.get(), &StompClient::refused);
    QVERIFY(client->open());
    QTRY_VERIFY(connected.count() + refused.count() > 0);
    if (refusal < 0) {
        QVERIFY2(refused.isEmpty(), qPrintable(refused.value(0).value(1).toString()));
        QVERIFY(client->send("/queue/a", "{}"));
        QTRY_COMPARE(broker->receivedOf("SEND").size(), 1);
        return;
    }
    QCOMPARE(int(refused.first().first().value<StompClient::Refusal>()), refusal);
    QVERIFY2(refused.first().last().toString().contains(reason), qPrintable(refused.first().last().toString()));
    QCOMPARE(client->state(), StompClient::UnconnectedState);
    // Final: no attempt follows.
    const int connections = broker->connectionCount();
    QTest::qWait(200);
    QCOMPARE(broker->connectionCount(), connections);
}

void tst_StompClient::failOverMovesThroughTheList()
{
    FakeStompBroker second;
    QVERIFY(second.listen());
    StompClient::Settings settings = broker->clientSettings();
    settings.brokers.append(second.clientSettings().brokers);
    // The first broker of the list is down at the start: the second answers, without a wait.
    broker->stopListening();
    StompBus *terminal = terminalBus(settings);
    QSignalSpy delays(terminal->client(), &StompClient::reconnectScheduled);
    QVERIFY(terminal->open());
    QTRY_VERIFY(!second.receivedOf("SUBSCRIBE").isEmpty());
    QCOMPARE(delays.count(), 0);
    QCOMPARE(terminal->client()->currentBroker(), second.clientSettings().broker());

    // One send confirmed, one not, when the second broker goes away.
    terminal->send({{"uid", "1"}});
    QTRY_COMPARE(terminal->client()->unconfirmedCount(), 0);
    second.sendsReceipts = false;
    terminal->send({{"uid", "2"}});
    QTRY_COMPARE(second.receivedOf("SEND").size(), 2);
    QVERIFY(broker->listen());
    second.stopListening();
    second.dropConnections();

    // On the first broker: subscribed again, and only the unconfirmed send again, as it was.
    QTRY_VERIFY(!broker->receivedOf("SUBSCRIBE").isEmpty());
    QTRY_COMPARE(broker->receivedOf("SEND").size(), 1);
    const StompFrame again = broker->receivedOf("SEND").first();
    QCOMPARE(jsonMap(again.body()).value("uid").toString(), QString("2"));
    QCOMPARE(again.header("send-id"), second.receivedOf("SEND").last().header("send-id"));
    QVERIFY(again.header("send-id") != second.receivedOf("SEND").first().header("send-id"));
    QCOMPARE(broker->receivedOf("SUBSCRIBE").first().header("destination"),
             second.receivedOf("SUBSCRIBE").first().header("destination"));
    QCOMPARE(terminal->client()->lostConnections(), 1);
}

void tst_StompClient::copiesAreDroppedBySendId()
{
    StompBus *terminal = subscribedTerminal();
    QVERIFY(terminal);
    QSignalSpy answers(terminal, &StompBus::messageReceived);
    terminal->send({{"uid", "7"}});
    const StompFrame subscribe = broker->receivedOf("SUBSCRIBE").last();
    const auto answer = [&](const QByteArray &ack, const QByteArray &sendId) {
        broker->sendFrame(StompFrame("MESSAGE", {{"destination", subscribe.header("destination")},
                                                 {"subscription", subscribe.header("id")},
                                                 {"ack", ack}, {"send-id", sendId}},
                                     "{\"message\":{\"uid\":\"7\"}}"));
    };
    // A copy sent again after a fail-over, then a second answer the service really sent.
    answer("a:1", "s-1");
    answer("a:2", "s-1");
    answer("a:3", "s-2");
    QTRY_COMPARE(broker->ackedIds().size(), 3);
    QCOMPARE(answers.count(), 2);
}

QTEST_MAIN(tst_StompClient)
#include "tst_stompclient.moc"
