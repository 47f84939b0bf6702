#include "conformancerun.h"
#include "loadrun.h"
#include "pluginarguments.h"
#include "pluginhost.h"
#include "programlog.h"
#include "scenariocatalog.h"
#include "servicecheckoptions.h"

#include <QtCore/QLoggingCategory>
#include <QtCore/QTextStream>
#include <QtCore/QTimer>
#include <QtWidgets/QApplication>

#include <cstdio>

namespace {


// The shipped scenarios whose customer meets a service answering on its own: a scripted
// service's failures are the scenario's, not the service under check's.
QStringList defaultScenarios(QString *error)
{
    QStringList problems;
    QStringList paths;
    for (const ScenarioCatalog::Entry &entry : ScenarioCatalog::shipped(&problems)) {
        Scenario scenario;
        QString origin;
        if (ScenarioCatalog::load(entry.path, &scenario, &origin, error) && scenario.service.rules.isEmpty())
            paths.append(entry.path);
    }
    if (paths.isEmpty())
        *error = QStringLiteral("no shipped scenarios in %1; name one with --scenario").arg(ScenarioCatalog::shippedDir());
    return paths;
}

} // namespace

int main(int argc, char *argv[])
{
    ProgramLog::install("tavrin-servicecheck", argc, argv);
    const QStringList pluginArguments = PluginArguments::take(&argc, argv);
    // The pay screens are real widgets, but nobody looks at them.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrin-servicecheck"));
    QApplication::setQuitOnLastWindowClosed(false);

    ServiceCheckOptions options;
    QString error;
    if (!options.parse(QApplication::arguments() + pluginArguments, &error))
        return ProgramLog::refuse(error);
    if (options.verbose())
        QLoggingCategory::setFilterRules(QStringLiteral("tavrin.debug=true"));

    QStringList names = options.scenarios();
    if (names.isEmpty()) {
        names = options.isLoad() ? QStringList{QStringLiteral("454-passport")} : defaultScenarios(&error);
        if (names.isEmpty())
            return ProgramLog::refuse(error);
    }
    // The customer reads the screens of a Russian kiosk, as the terminal simulator's default.
    const QString language = Scenario::languages().constFirst();
    QList<ConformanceRun::Entry> entries;
    for (const QString &name : qAsConst(names)) {
        ConformanceRun::Entry entry;
        if (!ScenarioCatalog::load(name, &entry.scenario, &entry.path, &error))
            return ProgramLog::refuse(QStringLiteral("scenario %1").arg(error));
        entry.scenario.chooseLanguage(language);
        entries.append(entry);
    }

    QTextStream out(stdout);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    out.setCodec("UTF-8");
#endif
    if (options.isLoad()) {
        LoadRun load(options, entries.first().scenario, &out);
        if (!load.prepare(&error))
            return ProgramLog::refuse(error);
        QObject::connect(&load, &LoadRun::finished, &app, &QApplication::exit);
        QTimer::singleShot(0, &load, &LoadRun::start);
        return app.exec();
    }

    PluginHost host;
    if (!host.load(options.pluginPath().isEmpty() ? PluginHost::defaultPluginPath() : options.pluginPath()))
        return ProgramLog::refuse(host.errorString());
    QString warning;
    if (!host.installTranslation(language, &warning))
        qWarning().noquote() << warning;
    int exitCode = 0;
    {
        ConformanceRun run(options, entries, &host, &out);
        if (!run.prepare(&error))
            return ProgramLog::refuse(error);
        QObject::connect(&run, &ConformanceRun::finished, &app, &QApplication::exit);
        QTimer::singleShot(0, &run, &ConformanceRun::start);
        exitCode = app.exec();
    }
    host.release();
    return exitCode;
}
