#include <QtTest/QtTest>

#include "tavrinpluginhandler.h"

// The plugin's build stamp and its log: debug lines carry customers' personal data and stay
// out of a terminal's log unless an operator asks for them.
class tst_Identity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_locale = QLocale(); }
    void cleanup();
    void buildStamp_data();
    void buildStamp();
    void builtStampIsADateTime();
    void hostRulesLeaveTheDebugLinesOff();

private:
    QLocale m_locale;
};

void tst_Identity::cleanup()
{
    QLoggingCategory::setFilterRules(QString());
    QLocale::setDefault(m_locale);
}

void tst_Identity::buildStamp_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("expected");

    QTest::newRow("space-padded one-digit day") << "May  1 2023" << "09:05:00" << "2023-05-01T09:05:00";
    QTest::newRow("first second of a year") << "Jan  1 2000" << "00:00:00" << "2000-01-01T00:00:00";
    QTest::newRow("last second of a year") << "Dec 31 2099" << "23:59:59" << "2099-12-31T23:59:59";
    QTest::newRow("leap day") << "Feb 29 2024" << "12:00:00" << "2024-02-29T12:00:00";
    QTest::newRow("not a date gives no stamp") << "Mai 11 2023" << "14:39:47" << QString();
}

void tst_Identity::buildStamp()
{
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(QString, expected);

    // Month names are the compiler's English ones whatever language the terminal speaks.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QCOMPARE(TavrinPluginHandler::buildStamp(date, time), expected);
}

void tst_Identity::builtStampIsADateTime()
{
    const QString stamp = TavrinPluginHandler::TAVRIN_PLUGIN_BUILD;
    const QDateTime built = QDateTime::fromString(stamp, Qt::ISODate);
    QVERIFY2(built.isValid(), qPrintable(stamp));
    QCOMPARE(built.toString(Qt::ISODate), stamp);
    QVERIFY2(built <= QDateTime::currentDateTime(), qPrintable(stamp));
}

void tst_Identity::hostRulesLeaveTheDebugLinesOff()
{
    // A host tuning its own categories at run time must not let the plugin's debug lines out
    // (they carry customers' data); its warnings stay on.
    QLoggingCategory::setFilterRules(QStringLiteral("paymenthost.*.debug=true"));
    QVERIFY(!TAVRIN_PLUGIN_LOG().isDebugEnabled());
    QVERIFY(TAVRIN_PLUGIN_LOG().isWarningEnabled());
}

QTEST_MAIN(tst_Identity)
#include "tst_identity.moc"
