#include <QtTest/QtTest>

#include "tavrinpluginhandler.h"

#include <time.h>

// The build stamp is read from the compiler's stamps without the locale's date parser, which
// made loading the plugin slow; whatever that reading does not take for certain must still get
// the parser's answer.
class tst_BuildStamp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_timeZone = qgetenv("TZ"); }
    void cleanup();
    void sameAsTheLocaleParser_data();
    void sameAsTheLocaleParser();

private:
    QByteArray m_timeZone;
};

void tst_BuildStamp::cleanup()
{
    if (m_timeZone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", m_timeZone);
    tzset();
}

void tst_BuildStamp::sameAsTheLocaleParser_data()
{
    QTest::addColumn<QByteArray>("timeZone");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("expected");

    QTest::newRow("day with a leading zero")
        << QByteArray("UTC") << "May 05 2023" << "07:08:09" << "2023-05-05T07:08:09";
    QTest::newRow("month in lower case still parses")
        << QByteArray("UTC") << "jan  5 2023" << "10:00:00" << "2023-01-05T10:00:00";
    QTest::newRow("leap day of a common year gives no stamp")
        << QByteArray("UTC") << "Feb 29 2023" << "12:00:00" << QString();
    QTest::newRow("hour 24 gives no stamp")
        << QByteArray("UTC") << "Jun  1 2023" << "24:00:00" << QString();
    QTest::newRow("one-digit hour gives no stamp")
        << QByteArray("UTC") << "Jun  1 2023" << "9:05:00" << QString();
    QTest::newRow("long month name gives no stamp")
        << QByteArray("UTC") << "Sept  1 2023" << "10:00:00" << QString();
    QTest::newRow("clock skipped by daylight saving gives no stamp")
        << QByteArray("Europe/Berlin") << "Mar 26 2023" << "02:30:00" << QString();
    QTest::newRow("same clock where it is not skipped")
        << QByteArray("UTC") << "Mar 26 2023" << "02:30:00" << "2023-03-26T02:30:00";
    QTest::newRow("hour repeated by daylight saving")
        << QByteArray("Europe/Berlin") << "Oct 29 2023" << "02:30:00" << "2023-10-29T02:30:00";
}

void tst_BuildStamp::sameAsTheLocaleParser()
{
    QFETCH(QByteArray, timeZone);
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(QString, expected);

    qputenv("TZ", timeZone);
    tzset();
    QCOMPARE(TavrinPluginHandler::buildStamp(date, time), expected);
    const QString reference = QLocale(QStringLiteral("en"))
                                  .toDateTime(QStringLiteral("%1 %2").arg(date, time).simplified(),
                                              QStringLiteral("MMM d yyyy hh:mm:ss"))
                                  .toString(Qt::ISODate);
    QCOMPARE(reference, expected);
}

QTEST_MAIN(tst_BuildStamp)
#include "tst_buildstamp.moc"
