#include <QtTest/QtTest>

#include "messagecapture.h"
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
    void categorySwitches_data();
    void categorySwitches();
    void lifecycleLines_data();
    void lifecycleLines();

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

    QTest::newRow("two-digit day") << "May 11 2023" << "14:39:47" << "2023-05-11T14:39:47";
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

void tst_Identity::categorySwitches_data()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<bool>("debug");

    QTest::newRow("off with the default rules, also after a request") << QString() << false;
    QTest::newRow("on when an operator asks") << "tavrin.debug=true" << true;
    // A host tuning its own categories at run time must not let the plugin's debug lines out.
    QTest::newRow("off when the host asks for its own") << "paymenthost.*.debug=true" << false;
}

void tst_Identity::categorySwitches()
{
    QFETCH(QString, rules);
    QFETCH(bool, debug);

    QCOMPARE(TAVRIN_PLUGIN_LOG().categoryName(), "tavrin");
    QLoggingCategory::setFilterRules(QStringLiteral("tavrin.debug=true"));
    QLoggingCategory::setFilterRules(rules);
    QCOMPARE(TAVRIN_PLUGIN_LOG().isDebugEnabled(), debug);
    QVERIFY(TAVRIN_PLUGIN_LOG().isWarningEnabled());
    QVERIFY(TAVRIN_PLUGIN_LOG().isCriticalEnabled());
}

void tst_Identity::lifecycleLines_data()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QStringList>("lines");

    const QString destructorLine = QStringLiteral("default debug: TavrinPluginHandler plugin destructor");
    QTest::newRow("only the plain destructor line by default") << QString() << QStringList{destructorLine};
    QTest::newRow("tags when debug is on")
        << "tavrin.debug=true"
        << QStringList{"tavrin debug: TAVRIN_CONSTRUCTOR", destructorLine,
                       "tavrin debug: TAVRIN_DESTRUCTOR"};
}

void tst_Identity::lifecycleLines()
{
    QFETCH(QString, rules);
    QFETCH(QStringList, lines);

    QLoggingCategory::setFilterRules(rules);
    MessageCapture capture;
    delete new TavrinPluginHandler;

    QCOMPARE(capture.summary({"tavrin", "default"}), lines);
    // A terminal's log names where each line of ours was written, also in a release build.
    for (const MessageCapture::Line &line : qAsConst(capture.lines)) {
        if (line.category != "tavrin")
            continue;
        QVERIFY2(line.file.endsWith("tavrinpluginhandler.cpp"), line.file.constData());
        QVERIFY2(line.function.contains("TavrinPluginHandler::"), line.function.constData());
    }
}

QTEST_MAIN(tst_Identity)
#include "tst_identity.moc"
