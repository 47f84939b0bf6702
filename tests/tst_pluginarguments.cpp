#include <QtTest/QtTest>

#include "pluginarguments.h"

#include <vector>

// Both simulators take their --plugin out of argv before Qt would read it as its -plugin.
class tst_PluginArguments : public QObject
{
    Q_OBJECT

private slots:
    void take_data();
    void take();
};

void tst_PluginArguments::take_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QStringList>("left");

    QTest::newRow("a value after a space")
        << QStringList{"--headless", "--plugin", "x.so", "--verbose"} << QStringList{"--plugin", "x.so"}
        << QStringList{"--headless", "--verbose"};
    QTest::newRow("a value after an equals sign")
        << QStringList{"--plugin=x.so", "--verbose"} << QStringList{"--plugin=x.so"} << QStringList{"--verbose"};
    QTest::newRow("no value at the end, for the parser to refuse")
        << QStringList{"--verbose", "--plugin"} << QStringList{"--plugin"} << QStringList{"--verbose"};
}

void tst_PluginArguments::take()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, taken);
    QFETCH(QStringList, left);

    arguments.prepend("program");
    std::vector<QByteArray> storage;
    for (const QString &argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    int argc = int(arguments.size());

    QCOMPARE(PluginArguments::take(&argc, argv.data()), taken);
    QStringList kept;
    for (int i = 1; i < argc; ++i)
        kept.append(QString::fromLocal8Bit(argv[size_t(i)]));
    QCOMPARE(kept, left);
    QVERIFY2(argv[size_t(argc)] == nullptr, "argv ends with a null pointer after what is left, as main()'s does");
}

QTEST_GUILESS_MAIN(tst_PluginArguments)
#include "tst_pluginarguments.moc"
