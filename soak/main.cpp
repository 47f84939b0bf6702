// The soak: thousands of complete dialogues in one process (see SoakRunner).
//
//   tavrin_soak [--dialogues N] [--time-scale S] [--scenarios DIR] [--quiet]

#include <QtCore/QCommandLineParser>
#include <QtWidgets/QApplication>

#include "programlog.h"
#include "scenariocatalog.h"
#include "soakrunner.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ProgramLog::install("tavrin_soak", argc, argv);
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
                                       QStringLiteral("dir"), ScenarioCatalog::shippedDir());
    const QCommandLineOption quiet(QStringLiteral("quiet"), QStringLiteral("Only the figures."));
    parser.addOptions({dialogues, timeScale, scenarios, quiet});
    parser.process(app);

    bool dialoguesOk = false;
    bool timeScaleOk = false;
    const SoakRunner::Options options{parser.value(dialogues).toInt(&dialoguesOk),
                                      parser.value(timeScale).toDouble(&timeScaleOk),
                                      parser.value(scenarios), parser.isSet(quiet)};
    if (!dialoguesOk || options.dialogues < 1)
        return ProgramLog::refuse(QStringLiteral("--dialogues wants a positive number"));
    if (!timeScaleOk || !(options.timeScale > 0))
        return ProgramLog::refuse(QStringLiteral("--time-scale wants a positive number"));

    SoakRunner runner(options);
    QString error;
    return runner.prepare(&error) ? runner.run() : ProgramLog::refuse(error);
}
