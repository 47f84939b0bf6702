#include <QtCore/QJsonDocument>
#include <QtTest/QtTest>

#include <csignal>

#include "brokerservice.h"
#include "checkservice.h"
#include "fakestompbroker.h"
#include "stopsignals.h"

// The check service as its own process on a broker: several terminals share it, so every
// answer must reach the terminal that asked, nothing taken from the broker may be dropped
// unanswered, and a stop must leave the broker with everything that was sent.
class tst_BrokerService : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void answersEachTerminalOnItsReplyTo();
    void endsAfterTheRequestsAskedFor_data();
    void endsAfterTheRequestsAskedFor();
    void leavesARequestWithoutReplyToUnanswered();
    void stopsCleanly_data();
    void stopsCleanly();
    void stopSignalsArriveInTheEventLoop();

private:
    BrokerService *makeService();
    QByteArray deliverRequest(const QString &uid, const QByteArray &replyTo);

    FakeStompBroker *broker = nullptr;
    CheckServiceBehaviour behaviour;
};

namespace {

const QString Requests = QStringLiteral("/queue/requests");

QByteArray firstStepRequest(const QString &uid)
{
    const QString checkdata = QStringLiteral("{\"currentStep\":\"1\",\"payParamList\":"
                                             "[{\"name\":\"msisdn\",\"value\":\"79161234567\"}]}");
    const QVariantMap request{{"code", "check"}, {"uid", uid}, {"msgType", "tavrinPluginRequest"},
                              {"params", QVariantMap{{"checkdata", checkdata}}}};
    return QJsonDocument::fromVariant(request).toJson(QJsonDocument::Compact);
}

QString uidOf(const StompFrame &answer)
{
    return QJsonDocument::fromJson(answer.body()).object().value("message").toObject().value("uid").toString();
}

} // namespace

void tst_BrokerService::init()
{
    broker = new FakeStompBroker(this);
    QVERIFY2(broker->listen(), qPrintable(broker->errorString()));
    behaviour = CheckServiceBehaviour();
    behaviour.delay = 0;
    behaviour.parameters = {QVariantMap{{"name", "smscode"}, {"isEditable", true}}};
}

void tst_BrokerService::cleanup()
{
    delete broker;
    broker = nullptr;
}

BrokerService *tst_BrokerService::makeService()
{
    StompBus::Settings settings;
    settings.connection = broker->clientSettings();
    settings.requestDestination = Requests;
    auto *service = new BrokerService(behaviour, settings, this);
    QString error;
    if (!service->open(&error))
        qWarning("cannot open: %s", qPrintable(error));
    return service;
}

QByteArray tst_BrokerService::deliverRequest(const QString &uid, const QByteArray &replyTo)
{
    QList<StompFrame::Header> headers{{"content-type", "application/json;charset=utf-8"}};
    if (!replyTo.isEmpty())
        headers.append({"reply-to", replyTo});
    return broker->deliver(Requests, firstStepRequest(uid), headers);
}

void tst_BrokerService::answersEachTerminalOnItsReplyTo()
{
    QScopedPointer<BrokerService> service(makeService());
    deliverRequest("101", "/queue/replies.a");
    deliverRequest("202", "/topic/replies.shared");
    deliverRequest("303", "/queue/replies.a");

    QTRY_COMPARE(broker->receivedOf("SEND").size(), 3);
    QMap<QString, QByteArray> destinationByUid;
    for (const StompFrame &answer : broker->receivedOf("SEND")) {
        destinationByUid.insert(uidOf(answer), answer.header("destination"));
        QCOMPARE(answer.header("content-type"), QByteArray("application/json;charset=utf-8"));
        QVERIFY2(!answer.hasHeader("reply-to"), "an answer asks to be answered");
    }
    const QMap<QString, QByteArray> expected{
        {"101", "/queue/replies.a"}, {"202", "/topic/replies.shared"}, {"303", "/queue/replies.a"}};
    QCOMPARE(destinationByUid, expected);
    // Taken requests are acknowledged, so the broker gives them to no other service.
    QTRY_COMPARE(broker->receivedOf("ACK").size(), 3);
}

void tst_BrokerService::endsAfterTheRequestsAskedFor_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("duplicates");
    QTest::addColumn<int>("answers");

    const int normal = int(CheckServiceBehaviour::AnswerKind::Normal);
    const int none = int(CheckServiceBehaviour::AnswerKind::None);
    QTest::newRow("after every copy of the answer") << normal << 2 << 3;
    QTest::newRow("at once for a request left unanswered") << none << 0 << 0;
}

void tst_BrokerService::endsAfterTheRequestsAskedFor()
{
    QFETCH(int, kind);
    QFETCH(int, duplicates);
    QFETCH(int, answers);

    CheckServiceBehaviour::Rule rule;
    rule.request = 2;
    rule.answer = static_cast<CheckServiceBehaviour::AnswerKind>(kind);
    rule.duplicates = duplicates;
    behaviour.rules = {rule};
    QScopedPointer<BrokerService> service(makeService());
    service->setRequestLimit(2);
    QSignalSpy finished(service.data(), &BrokerService::finished);

    deliverRequest("1", "/queue/replies");
    QTRY_COMPARE(broker->receivedOf("SEND").size(), 1);
    QVERIFY2(broker->receivedOf("DISCONNECT").isEmpty(), "the service stopped before its last request");
    deliverRequest("2", "/queue/replies");

    QVERIFY(finished.wait(5000));
    QCOMPARE(broker->receivedOf("SEND").size(), 1 + answers);
    // Every answer went out before the connection was closed, and the broker confirmed them.
    QCOMPARE(broker->received.last().command(), QByteArray("DISCONNECT"));
    QCOMPARE(service->bus()->client()->unconfirmedCount(), 0);
    QCOMPARE(service->bus()->client()->queuedCount(), 0);
    QCOMPARE(broker->receivedOf("ACK").size(), 2);
}

void tst_BrokerService::leavesARequestWithoutReplyToUnanswered()
{
    QScopedPointer<BrokerService> service(makeService());
    QSignalSpy log(service.data(), &BrokerService::logLine);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("without reply-to")));
    deliverRequest("1", QByteArray());
    deliverRequest("2", "/queue/replies");

    QTRY_COMPARE(broker->receivedOf("SEND").size(), 1);
    QCOMPARE(uidOf(broker->receivedOf("SEND").first()), "2");
    // The service's own numbering and script start with the first request it can answer.
    QCOMPARE(service->takenRequests(), 1);
    QCOMPARE(service->service()->requestCount(), 1);
    QStringList logged;
    for (const QVariantList &line : qAsConst(log))
        logged << line.at(1).toString();
    QCOMPARE(logged.filter(QRegularExpression("^without reply-to")).size(), 1);
    // Acknowledged all the same: the broker would otherwise give it to the next service forever.
    QTRY_COMPARE(broker->receivedOf("ACK").size(), 2);
}

void tst_BrokerService::stopsCleanly_data()
{
    QTest::addColumn<bool>("brokerThere");
    QTest::newRow("with the broker there: DISCONNECT, confirmed") << true;
    QTest::newRow("with the broker away: at once") << false;
}

void tst_BrokerService::stopsCleanly()
{
    QFETCH(bool, brokerThere);
    behaviour.delay = 3600; // an answer that is not due when the stop comes
    if (!brokerThere)
        broker->stopListening();
    QScopedPointer<BrokerService> service(makeService());
    QSignalSpy finished(service.data(), &BrokerService::finished);
    if (brokerThere) {
        QTRY_COMPARE(broker->receivedOf("SUBSCRIBE").size(), 1);
        deliverRequest("1", "/queue/replies");
        QTRY_COMPARE(broker->receivedOf("ACK").size(), 1);
    }

    service->stop();
    // Told once the caller's call is over, never inside it.
    QCOMPARE(finished.count(), 0);
    QVERIFY(finished.wait(5000));
    QCOMPARE(broker->receivedOf("DISCONNECT").size(), brokerThere ? 1 : 0);
    QVERIFY2(broker->receivedOf("SEND").isEmpty(), "an answer not due was sent");
    service->stop();
    QTest::qWait(50);
    QCOMPARE(finished.count(), 1);
}

void tst_BrokerService::stopSignalsArriveInTheEventLoop()
{
    StopSignals stopSignals;
    QVERIFY(stopSignals.isInstalled());
    QSignalSpy stops(&stopSignals, &StopSignals::stopRequested);
    // Delivered to this thread at once; the slot may only run once the event loop turns.
    std::raise(SIGTERM);
    std::raise(SIGINT);
    QCOMPARE(stops.count(), 0);
    QTRY_COMPARE(stops.count(), 2);
    QCOMPARE(stops.at(0).at(0).toInt(), int(SIGTERM));
    QCOMPARE(stops.at(1).at(0).toInt(), int(SIGINT));
    QCOMPARE(stopSignals.count(), 2);
}

QTEST_GUILESS_MAIN(tst_BrokerService)
#include "tst_brokerservice.moc"
