#include "pluginhost.h"
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

bool g_verbose = false;

// What the offscreen platform says about itself tells nothing about the plugin.
bool isPlatformNoise(const QString &text)
{
    return text.contains(QLatin1String("does not support propagateSizeHints"))
           || text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"));
}

// Warnings go to standard error, debug lines only when asked for: the transcript on standard
// output stays readable.
void logMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (((type == QtDebugMsg || type == QtInfoMsg) || isPlatformNoise(text)) && !g_verbose)
        return;
    static const char *const names[] = {"debug", "warning", "critical", "fatal", "info"};
    const char *name = type >= 0 && type <= QtInfoMsg ? names[type] : "log";
    std::fflush(stdout);
    const QByteArray category = context.category ? QByteArray(context.category) : QByteArray("default");
    std::fprintf(stderr, "[%s %s] %s\n", name, category.constData(), text.toLocal8Bit().constData());
    std::fflush(stderr);
}

int refuse(const QString &message)
{
    std::fflush(stdout);
    std::fprintf(stderr, "tavrin-terminal: %s\n", message.toLocal8Bit().constData());
    return 2;
}

int listScenarios()
{
    QTextStream out(stdout);
    out.setCodec("UTF-8");
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
    for (int i = 1; i < argc; ++i)
        g_verbose = g_verbose || !qstrcmp(argv[i], "--verbose");
    qInstallMessageHandler(logMessage);
    const QStringList pluginArguments = TerminalOptions::takePluginArguments(&argc, argv);
    if (TerminalOptions::needsOffscreen(argc, argv) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrin-terminal"));
    QApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));

    TerminalOptions options;
    QString error;
    if (!options.parse(QApplication::arguments() + pluginArguments, &error))
        return refuse(error);
    if (options.verbose())
        QLoggingCategory::setFilterRules(QStringLiteral("tavrin.debug=true"));
    if (options.listScenarios())
        return listScenarios();

    Scenario scenario;
    QString origin;
    if (!ScenarioCatalog::load(options.scenario(), &scenario, &origin, &error))
        return refuse(QStringLiteral("scenario %1").arg(error));
    scenario.chooseLanguage(options.language());

    PluginHost host;
    if (!host.load(options.pluginPath().isEmpty() ? PluginHost::defaultPluginPath() : options.pluginPath()))
        return refuse(host.errorString());
    QString warning;
    if (!host.installTranslation(options.language(), &warning))
        qCWarning(lcTerminal).noquote() << warning;

    int exitCode = 0;
    {
        TerminalSimulator simulator(options, scenario, origin, &host);
        if (!simulator.prepare(&error))
            return refuse(error);
        QObject::connect(&simulator, &TerminalSimulator::finished, &app, &QApplication::exit);
        QTimer::singleShot(0, &simulator, &TerminalSimulator::start);
        exitCode = app.exec();
    }
    host.release();
    return exitCode;
}
