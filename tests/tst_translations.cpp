#include <QtCore/QFileInfo>
#include <QtCore/QTranslator>
#include <QtTest/QtTest>

#include "dialoguedriver.h"

// The built .qm files lie beside the plugin and translate the texts the plugin really shows.
class tst_Translations : public QObject
{
    Q_OBJECT

private slots:
    void russianTexts_data();
    void russianTexts();
    void englishDialogue();

private:
    static QString qmPath(const QString &language);
};

QString tst_Translations::qmPath(const QString &language)
{
    return QFileInfo(QStringLiteral(TAVRIN_PLUGIN_PATH)).absolutePath()
           + QStringLiteral("/tavrinplugin_%1.qm").arg(language);
}

void tst_Translations::russianTexts_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("translation");
    QTest::newRow("the time-out message's button") << "Continue" << "Продолжить";
    QTest::newRow("the service error keeps its code")
        << "Ошибка обработки запроса (%1).Попробуйте поздее"
        << "Ошибка обработки запроса (%1). Попробуйте позднее";
}

void tst_Translations::russianTexts()
{
    QFETCH(QString, source);
    QFETCH(QString, translation);
    QTranslator translator;
    QVERIFY2(translator.load(qmPath(QStringLiteral("ru"))), qPrintable(qmPath(QStringLiteral("ru"))));
    QCOMPARE(translator.translate("TavrinPluginHandler", source.toUtf8().constData()), translation);
}

void tst_Translations::englishDialogue()
{
    QTranslator translator;
    QVERIFY2(translator.load(qmPath(QStringLiteral("en"))), qPrintable(qmPath(QStringLiteral("en"))));
    QCoreApplication::installTranslator(&translator);

    DialogueDriver d;
    QVERIFY2(d.start(), qPrintable(d.fixture.errorString()));
    QVERIFY(d.enter(QStringLiteral("9001234567")));
    QCOMPARE(d.lastShownMessage().text, QStringLiteral("Looking up the customer. Please wait..."));
    QCOMPARE(d.fixture.plugin->pluginDescription(), QStringLiteral("Tavrin online check plugin"));

    QCoreApplication::removeTranslator(&translator);
}

QTEST_MAIN(tst_Translations)
#include "tst_translations.moc"
