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
    void initTestCase();
    void cleanup();
    void sameAsTheLocaleParser_data();
    void sameAsTheLocaleParser();

private:
    QByteArray m_timeZone;
};

void tst_BuildStamp::initTestCase()
{
    m_timeZone = qgetenv("TZ");
    // Month names are the compiler's English ones whatever language the terminal speaks.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

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

    QTest::newRow("space-padded one-digit day")
        << QByteArray("UTC") << "May  1 2023" << "09:05:00" << "2023-05-01T09:05:00";
    QTest::newRow("last second of a year")
        << QByteArray("UTC") << "Dec 31 2099" << "23:59:59" << "2099-12-31T23:59:59";
    QTest::newRow("leap day") << QByteArray("UTC") << "Feb 29 2024" << "12:00:00" << "2024-02-29T12:00:00";
    QTest::newRow("month name of another language gives no stamp")
        << QByteArray("UTC") << "Mai 11 2023" << "14:39:47" << QString();
    // Each malformed in one place only, where the reading alone decides. A letter in the day or
    // the year, a five-digit year or a one-digit hour ends with the parser whether the reading
    // turns it away or not: those have no row.
    QTest::newRow("a three-digit day gives no stamp") << QByteArray("UTC") << "May 011 2023" << "14:39:47" << QString();
    QTest::newRow("a letter in the hour gives no stamp") << QByteArray("UTC") << "May 11 2023" << "1x:39:47" << QString();
    QTest::newRow("a letter in the minute gives no stamp") << QByteArray("UTC") << "May 11 2023" << "14:3x:47" << QString();
    QTest::newRow("a letter in the second gives no stamp") << QByteArray("UTC") << "May 11 2023" << "14:39:4x" << QString();
    QTest::newRow("a dot between hour and minute gives no stamp") << QByteArray("UTC") << "May 11 2023" << "14.39:47" << QString();
    QTest::newRow("a dot between minute and second gives no stamp") << QByteArray("UTC") << "May 11 2023" << "14:39.47" << QString();
    QTest::newRow("a clock of three digits a part gives no stamp") << QByteArray("UTC") << "May 11 2023" << "14:39:470" << QString();
    QTest::newRow("minute 60 gives no stamp") << QByteArray("UTC") << "May 11 2023" << "14:60:00" << QString();
    QTest::newRow("a fifth part gives no stamp") << QByteArray("UTC") << "May 11 2023" << "14:39:47 UTC" << QString();
    QTest::newRow("month in lower case still parses")
        << QByteArray("UTC") << "jan  5 2023" << "10:00:00" << "2023-01-05T10:00:00";
    QTest::newRow("leap day of a common year gives no stamp")
        << QByteArray("UTC") << "Feb 29 2023" << "12:00:00" << QString();
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
