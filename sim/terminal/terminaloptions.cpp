#include "terminaloptions.h"

#include "optionvalues.h"
#include "scenario.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QCoreApplication>
#include <QtGui/QGuiApplication>

#include <cstring>

namespace {

// A day: far beyond any scenario, and well within what a timer can wait.
const int MaximumTimeout = 86400;

} // namespace

bool TerminalOptions::hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

bool TerminalOptions::needsOffscreen(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--headless") || !std::strcmp(argv[i], "--list")
            || !std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")
            || !std::strcmp(argv[i], "--version"))
            return true;
    }
    return !hasDisplay();
}

bool TerminalOptions::parse(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Loads the online-check plugin as a payment terminal does and plays a scenario against a "
        "simulated check service (in this process, or with --broker the one that "
        "tavrin-checkservice runs on a STOMP broker). Without a display (or with --headless) a "
        "scripted customer plays it and a transcript is printed; the exit code tells whether the scenario's "
        "expected end was reached (0), missed (1), or the run could not start (2). With a "
        "display the kiosk screen opens for a person to use."));
    parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption scenario(QStringLiteral("scenario"),
        QStringLiteral("Scenario to play: a shipped scenario's name (see --list) or a file. "
                       "Default: the built-in 454 scenario."), QStringLiteral("name|file"));
    const QCommandLineOption list(QStringLiteral("list"), QStringLiteral("Lists the shipped scenarios."));
    const QCommandLineOption plugin(QStringLiteral("plugin"),
        QStringLiteral("The plugin module to load. Default: the one beside this program."),
        QStringLiteral("path"));
    const QCommandLineOption forms(QStringLiteral("forms"),
        QStringLiteral("The form project directory. Default: the one beside this program."),
        QStringLiteral("dir"));
    const QCommandLineOption headless(QStringLiteral("headless"),
        QStringLiteral("Plays the scenario's customer offscreen and prints a transcript (the "
                       "default without a display)."));
    const QCommandLineOption automatic(QStringLiteral("auto"),
        QStringLiteral("Plays the scenario's customer in a visible window."));
    const QCommandLineOption screenshots(QStringLiteral("screenshots"),
        QStringLiteral("Writes a PNG of every screen into the directory."), QStringLiteral("dir"));
    const QCommandLineOption timeScale = OptionValues::timeScaleOption(
        QStringLiteral("Factor for message timers and service delays (headless default 0.02, "
                       "--auto 0.2, interactive 1; with --broker 1, and the service must run "
                       "at the same factor)."));
    const QCommandLineOption language(QStringLiteral("language"),
        QStringLiteral("The language of the terminal's texts: the plugin's translation for %1 "
                       "(default %2).").arg(Scenario::languages().join(QStringLiteral(" or ")),
                                           Scenario::languages().constFirst()),
        QStringLiteral("lang"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
        QStringLiteral("Real seconds after which a scripted run fails (0: never)."),
        QStringLiteral("seconds"));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
        QStringLiteral("Shows the plugin's and the host's debug lines."));
    const QCommandLineOption record(QStringLiteral("record"),
        QStringLiteral("Writes the dialogue, with the service's answers as they came, as a "
                       "scenario file that replays offline (scripted runs)."), QStringLiteral("file"));
    parser.addOption(record);
    parser.addOptions({scenario, list, plugin, forms, headless, automatic, screenshots, timeScale,
                       language, timeout, verbose});
    parser.addOptions(m_broker.options());
    if (!OptionValues::parse(parser, arguments, error))
        return false;
    if (parser.isSet(version))
        parser.showVersion();
    m_list = parser.isSet(list);
    m_scenario = parser.value(scenario);
    m_pluginPath = parser.value(plugin);
    m_formsDir = parser.value(forms);
    m_screenshotDir = parser.value(screenshots);
    m_recordPath = parser.value(record);
    m_verbose = parser.isSet(verbose);
    if (!m_broker.read(parser, error))
        return false;

    const QString platform = QGuiApplication::platformName();
    const bool noScreen = platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
    if (parser.isSet(headless) || noScreen)
        m_mode = Mode::Headless;
    else if (parser.isSet(automatic))
        m_mode = Mode::Auto;
    else
        m_mode = Mode::Interactive;

    if (!m_recordPath.isEmpty() && m_mode == Mode::Interactive) {
        *error = QStringLiteral("--record needs a scripted run (--headless or --auto): the "
                                "recorded customer is the scenario's");
        return false;
    }

    m_language = parser.isSet(language) ? parser.value(language) : Scenario::languages().constFirst();
    if (!Scenario::languages().contains(m_language)) {
        *error = QStringLiteral("--language takes %1, not \"%2\"")
                     .arg(Scenario::languages().join(QStringLiteral(" or ")), m_language);
        return false;
    }

    m_timeScale = m_mode == Mode::Headless ? 0.02 : m_mode == Mode::Auto ? 0.2 : 1.0;
    // A service in another process keeps its own time: shortened timers here would make it
    // look too slow.
    if (m_broker.isEnabled())
        m_timeScale = 1.0;
    if (!OptionValues::readTimeScale(parser, timeScale, &m_timeScale, error))
        return false;

    // Enough for the longest shipped scenario (about 100 s of dialogue time), with room to spare.
    m_timeout = isScripted() ? 30.0 + 200.0 * m_timeScale : 0.0;
    if (parser.isSet(timeout)) {
        bool ok = false;
        m_timeout = parser.value(timeout).toDouble(&ok);
        if (!ok || !(m_timeout >= 0 && m_timeout <= MaximumTimeout)) {
            *error = QStringLiteral("--timeout takes seconds from 0 (never) to %1, not \"%2\"")
                         .arg(MaximumTimeout).arg(parser.value(timeout));
            return false;
        }
    }
    return true;
}
