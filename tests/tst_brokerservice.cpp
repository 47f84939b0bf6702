#include <QtTest/QtTest>

#include <memory>

#include "brokerservice.h"
#include "checkservice.h"
#include "fakestompbroker.h"
#include "messagecapture.h"

// The simulated service on a broker, against a broker the test scripts: each answer goes back
// the way its own request came, whatever uid the request or the answer carries.
class tst_BrokerService : public QObject
{
    Q_OBJECT

private slots:
    void answersGoWhereTheirRequestCameFrom_data();
    void answersGoWhereTheirRequestCameFrom();
};

void tst_BrokerService::answersGoWhereTheirRequestCameFrom_data()
{
    QTest::addColumn<bool>("wrongUid");
    QTest::addColumn<QList<QByteArray>>("answerUids");

    // Two terminals started together may send one uid; a faulty answer may carry another.
    QTest::newRow("two terminals, one uid") << false << QList<QByteArray>{"\"uid\":\"42\"", "\"uid\":\"42\""};
    QTest::newRow("answers with a uid of their own")
        << true << QList<QByteArray>{"\"uid\":\"420\"", "\"uid\":\"420\""};
}

void tst_BrokerService::answersGoWhereTheirRequestCameFrom()
{
    QFETCH(bool, wrongUid);
    QFETCH(QList<QByteArray>, answerUids);

    MessageCapture log;
    FakeStompBroker broker;
    QVERIFY2(broker.listen(), qPrintable(broker.errorString()));
    StompBus::Settings settings;
    settings.connection = broker.clientSettings();
    CheckServiceBehaviour behaviour;
    behaviour.delay = 0;
    BrokerService service(behaviour, settings);
    if (wrongUid)
        service.service()->setFault(CheckServiceBehaviour::Fault::WrongUid);
    QVERIFY(service.open(nullptr));
    QTRY_VERIFY(!broker.receivedOf("SUBSCRIBE").isEmpty());

    const StompFrame subscribe = broker.receivedOf("SUBSCRIBE").first();
    const QList<QByteArray> replies{"/queue/tavrin.replies.4242.1", "/queue/tavrin.replies.4242.2"};
    for (const QByteArray &replyTo : replies) {
        broker.sendFrame(StompFrame("MESSAGE", {{"destination", subscribe.header("destination")},
                                                {"subscription", subscribe.header("id")},
                                                {"ack", replyTo}, {"reply-to", replyTo}},
                                    "{\"uid\":\"42\",\"code\":\"check\"}"));
    }
    QTRY_COMPARE(broker.receivedOf("SEND").size(), 2);
    const QList<StompFrame> answers = broker.receivedOf("SEND");
    for (int i = 0; i < answers.size(); ++i) {
        QCOMPARE(answers.at(i).header("destination"), replies.at(i));
        QVERIFY2(answers.at(i).body().contains(answerUids.at(i)), answers.at(i).body().constData());
    }
}

QTEST_GUILESS_MAIN(tst_BrokerService)
#include "tst_brokerservice.moc"
