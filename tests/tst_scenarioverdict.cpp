#include <QtTest/QtTest>

#include "scenarioverdict.h"

// A scenario passes only when the dialogue ended as expected, the provider holds the expected
// values and the expected number of requests went out; each miss is named with both sides.
class tst_ScenarioVerdict : public QObject
{
    Q_OBJECT

private slots:
    void judges_data();
    void judges();
};

Q_DECLARE_METATYPE(Scenario::End)

void tst_ScenarioVerdict::judges_data()
{
    QTest::addColumn<Scenario::End>("end");
    QTest::addColumn<QString>("msisdn");
    QTest::addColumn<int>("requests");
    QTest::addColumn<bool>("countedByService");
    QTest::addColumn<QString>("failure");

    const auto Payment = Scenario::End::Payment;
    QTest::addRow("payment with the expected phone after 3 requests")
        << Payment << "79161234567" << 3 << true << QString();
    QTest::addRow("cancelled where a payment is expected")
        << Scenario::End::Cancelled << "79161234567" << 3 << true
        << "the dialogue ended in \"cancelled\", the scenario expects \"payment\"";
    QTest::addRow("payment with another phone")
        << Payment << "79000000000" << 3 << true
        << "expected.providerValues.MSISDN: the provider holds \"79000000000\", expected \"79161234567\"";
    QTest::addRow("payment without the phone parameter")
        << Payment << QString() << 3 << true
        << "expected.providerValues.MSISDN: the provider has no such parameter";
    QTest::addRow("2 requests sent over a broker where 3 are expected")
        << Payment << "79161234567" << 2 << false
        << "expected.requests: the terminal sent 2 request(s), expected 3";
}

void tst_ScenarioVerdict::judges()
{
    QFETCH(Scenario::End, end);
    QFETCH(QString, msisdn);
    QFETCH(int, requests);
    QFETCH(bool, countedByService);
    QFETCH(QString, failure);

    Scenario scenario;
    scenario.expectedEnd = Scenario::End::Payment;
    scenario.expectedValues.insert(QStringLiteral("MSISDN"), QStringLiteral("79161234567"));
    scenario.expectedRequests = 3;

    ScenarioVerdict::Play play;
    play.end = end;
    play.providerParameters.append(ProviderParameter(QStringLiteral("ACCOUNT"), QString(), QStringLiteral("1")));
    if (!msisdn.isNull())
        play.providerParameters.append(ProviderParameter(QStringLiteral("MSISDN"), QString(), msisdn));
    play.requests = requests;
    play.requestsCountedByService = countedByService;

    const ScenarioVerdict verdict(scenario, play);
    QCOMPARE(verdict.failures(), failure.isEmpty() ? QStringList() : QStringList{failure});
    QCOMPARE(verdict.passed(), failure.isEmpty());
    // The end, the values and the requests are each judged once, passed or failed.
    QCOMPARE(verdict.passes().size() + verdict.failures().size(), 3);
}

QTEST_GUILESS_MAIN(tst_ScenarioVerdict)
#include "tst_scenarioverdict.moc"
