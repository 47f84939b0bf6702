#include "pluginarguments.h"
#include "pluginhost.h"
#include "programlog.h"
#include "scenariocatalog.h"
#include "terminallog.h"
#include "terminaloptions.h"
#include "terminalsimulator.h"

#include <QtCore/QLoggingCategory>
#include <QtCore/QTextStream>
#include <QtCore/QTimer>
#include <QtWidgets/QApplication>

#include <cstdio>

namespace {


int listScenarios()
{
    QTextStream out(stdout);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    out.setCodec("UTF-8");
#endif
    out << "built-in (used without --scenario): " << ScenarioCatalog::builtInPath() << '\n';
    out << "shipped, in " << ScenarioCatalog::shippedDir() << ":\n";
    QStringList problems;
    const QList<ScenarioCatalog::Entry> entries = ScenarioCatalog::shipped(&problems);
    for (const ScenarioCatalog::Entry &entry : entries)
        out << "  " << entry.name.leftJustified(26) << ' ' << entry.description << '\n';
    out.flush();
    for (const QString &problem : problems)
        std::fprintf(stderr, "tavrin-terminal: skipped %s\n", problem.toLocal8Bit().constData());
    return problems.isEmpty() ? 0 : 2;
}

} // namespace

int main(int argc, char *argv[])
{
    ProgramLog::install("tavrin-terminal", argc, argv);
    const QStringList pluginArguments = PluginArguments::take(&argc, argv);
    if (TerminalOptions::needsOffscreen(argc, argv) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrin-terminal"));
    QApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));

    TerminalOptions options;
    QString error;
    if (!options.parse(QApplication::arguments() + pluginArguments, &error))
        return ProgramLog::refuse(error);
    if (options.verbose())
        QLoggingCategory::setFilterRules(QStringLiteral("tavrin.debug=true"));
    if (options.listScenarios())
        return listScenarios();

    Scenario scenario;
    QString origin;
    if (!ScenarioCatalog::load(options.scenario(), &scenario, &origin, &error))
        return ProgramLog::refuse(QStringLiteral("scenario %1").arg(error));
    scenario.chooseLanguage(options.language());

    PluginHost host;
    if (!host.load(options.pluginPath().isEmpty() ? PluginHost::defaultPluginPath() : options.pluginPath()))
        return ProgramLog::refuse(host.errorString());
    QString warning;
    if (!host.installTranslation(options.language(), &warning))
        qCWarning(lcTerminal).noquote() << warning;

    int exitCode = 0;
    {
        TerminalSimulator simulator(options, scenario, origin, &host);
        if (!simulator.prepare(&error))
            return ProgramLog::refuse(error);
        QObject::connect(&simulator, &TerminalSimulator::finished, &app, &QApplication::exit);
        QTimer::singleShot(0, &simulator, &TerminalSimulator::start);
        exitCode = app.exec();
    }
    host.release();
    return exitCode;
}
