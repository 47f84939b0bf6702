// The soak: thousands of complete dialogues in one process (see SoakRunner).
//
//   tavrin_soak [--dialogues N] [--time-scale S] [--scenarios DIR] [--quiet]

#include <QtCore/QCommandLineParser>
#include <QtWidgets/QApplication>

#include <cstdio>

#include "soakrunner.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Plays complete dialogues one after the other"));
    parser.addHelpOption();
    const QCommandLineOption dialogues(QStringLiteral("dialogues"),
                                       QStringLiteral("How many dialogues (10000)."),
                                       QStringLiteral("count"), QStringLiteral("10000"));
    const QCommandLineOption timeScale(QStringLiteral("time-scale"),
                                       QStringLiteral("Factor for every message and service time "
                                                      "(0.003: a minute in 180 ms)."),
                                       QStringLiteral("factor"), QStringLiteral("0.003"));
    const QCommandLineOption scenarios(QStringLiteral("scenarios"),
                                       QStringLiteral("Directory of the scenario files."),
                                       QStringLiteral("dir"), QStringLiteral(TAVRIN_SCENARIOS_PATH));
    const QCommandLineOption quiet(QStringLiteral("quiet"), QStringLiteral("Only the figures."));
    parser.addOptions({dialogues, timeScale, scenarios, quiet});
    parser.process(app);

    SoakRunner::Options options;
    bool ok = false;
    options.dialogues = parser.value(dialogues).toInt(&ok);
    if (!ok || options.dialogues < 1) {
        std::fprintf(stderr, "tavrin_soak: --dialogues wants a positive number\n");
        return 2;
    }
    options.timeScale = parser.value(timeScale).toDouble(&ok);
    if (!ok || options.timeScale <= 0) {
        std::fprintf(stderr, "tavrin_soak: --time-scale wants a positive number\n");
        return 2;
    }
    options.scenarioDir = parser.value(scenarios);
    options.quiet = parser.isSet(quiet);

    SoakRunner runner(options);
    QString error;
    if (!runner.prepare(&error)) {
        std::fprintf(stderr, "tavrin_soak: %s\n", qPrintable(error));
        return 2;
    }
    return runner.run();
}
