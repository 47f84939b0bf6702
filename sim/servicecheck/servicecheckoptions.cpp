#include "servicecheckoptions.h"

#include "optionvalues.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>

bool ServiceCheckOptions::parse(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays the customer side of scenarios with the terminal's plugin against a check "
        "service, reached through a STOMP broker (--broker) or run as a local program speaking "
        "one JSON request and one JSON answer a line (--service-command), and checks every "
        "answer against the rules the plugin relies on. Exit code 0: no rule broken; 1: a rule "
        "was broken (or, with --require-complete, a dialogue did not reach its end); 2: the "
        "check could not run. With --terminals it loads the service instead."));
    parser.addHelpOption();
    const QCommandLineOption scenario(QStringLiteral("scenario"),
        QStringLiteral("A scenario file or the name of a shipped scenario; repeatable (default: "
                       "every shipped scenario whose service is not scripted)."), QStringLiteral("file"));
    const QCommandLineOption command(QStringLiteral("service-command"),
        QStringLiteral("Runs the service as this command, as /bin/sh -c runs it (quotes, "
                       "pipes and variables work), started afresh for each dialogue; {scenario} "
                       "in it stands for the dialogue's scenario file. Its environment is this "
                       "program's, unchanged."), QStringLiteral("command"));
    const QCommandLineOption plugin(QStringLiteral("plugin"),
        QStringLiteral("The plugin module (default: the one beside this program)."), QStringLiteral("file"));
    const QCommandLineOption timeScale = OptionValues::timeScaleOption(
        QStringLiteral("Factor for the terminal's waits and the customer's pauses (default 1): "
                       "at 0.05 the 60 s wait for an answer is 3 s. Give the service the same."));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
        QStringLiteral("Real seconds a dialogue may take (default 30 + 400 x the time scale)."),
        QStringLiteral("seconds"));
    const QCommandLineOption json(QStringLiteral("json"),
        QStringLiteral("Writes the report as JSON to this file (with --terminals, the load "
                       "report)."), QStringLiteral("file"));
    const QCommandLineOption junit(QStringLiteral("junit"),
        QStringLiteral("Writes the report as JUnit XML to this file: one test case per dialogue, "
                       "a failure per violation."), QStringLiteral("file"));
    const QCommandLineOption requireComplete(QStringLiteral("require-complete"),
        QStringLiteral("A dialogue that does not reach the end its scenario plays to fails the "
                       "check (exit code 1)."));
    const QCommandLineOption warmUp(QStringLiteral("warm-up"),
        QStringLiteral("Load: the first N dialogues of each terminal are left out of the latency "
                       "figures (default 1)."), QStringLiteral("N"));
    const QCommandLineOption record(QStringLiteral("record"),
        QStringLiteral("Writes each dialogue, with the service's answers as they came, as a "
                       "scenario file into this directory."), QStringLiteral("dir"));
    const QCommandLineOption terminals(QStringLiteral("terminals"),
        QStringLiteral("Load: runs this many terminals at once, each with its own id and reply "
                       "destination, driving the service with the plugin's requests."), QStringLiteral("count"));
    const QCommandLineOption dialogues(QStringLiteral("dialogues"),
        QStringLiteral("Load: dialogues per terminal (default 1)."), QStringLiteral("count"));
    const QCommandLineOption ceiling(QStringLiteral("ceiling"),
        QStringLiteral("Load: sends each request straight back to the terminal's own reply "
                       "destination, so that only the broker's round trip is measured."));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Shows the plugin's debug lines."));
    parser.addOptions({scenario, command, plugin, timeScale, timeout, json, junit, requireComplete,
                       record, terminals, dialogues, warmUp, ceiling, verbose});
    parser.addOptions(m_broker.options());
    if (!OptionValues::parse(parser, arguments, error) || !m_broker.read(parser, error))
        return false;
    m_scenarios = parser.values(scenario);
    m_serviceCommand = parser.value(command);
    m_pluginPath = parser.value(plugin);
    m_jsonPath = parser.value(json);
    m_junitPath = parser.value(junit);
    m_requireComplete = parser.isSet(requireComplete);
    m_recordDir = parser.value(record);
    m_verbose = parser.isSet(verbose);
    m_ceiling = parser.isSet(ceiling);
    if (parser.isSet(command) == m_broker.isEnabled()) {
        *error = QStringLiteral("name the service with either --broker or --service-command");
        return false;
    }
    if (!OptionValues::readTimeScale(parser, timeScale, &m_timeScale, error))
        return false;
    m_timeout = 30.0 + 400.0 * m_timeScale;
    if (parser.isSet(timeout)) {
        bool ok = false;
        m_timeout = parser.value(timeout).toDouble(&ok);
        // Bounded, and written so that "nan" and "inf" are refused: the play takes milliseconds
        // as an int.
        if (!ok || !(m_timeout > 0 && m_timeout <= 86400)) {
            *error = QStringLiteral("--timeout takes seconds above 0 and up to 86400, not \"%1\"")
                         .arg(parser.value(timeout));
            return false;
        }
    }
    if (!OptionValues::readWholeNumber(parser, terminals, 1, 1000, &m_terminals, error)
        || !OptionValues::readWholeNumber(parser, dialogues, 1, 1000000, &m_dialogues, error)
        || !OptionValues::readWholeNumber(parser, warmUp, 0, 1000000, &m_warmUp, error))
        return false;
    for (const QCommandLineOption *loadOnly : {&dialogues, &warmUp, &ceiling}) {
        if (parser.isSet(*loadOnly) && !isLoad()) {
            *error = QStringLiteral("--%1 needs --terminals").arg(loadOnly->names().constFirst());
            return false;
        }
    }
    if (m_ceiling && !m_broker.isEnabled()) {
        *error = QStringLiteral("--ceiling needs --broker: it measures the broker's round trip");
        return false;
    }
    if (isLoad() && (!m_recordDir.isEmpty() || !m_junitPath.isEmpty() || m_requireComplete)) {
        *error = QStringLiteral("--record, --junit and --require-complete belong to the conformance check, not to --terminals");
        return false;
    }
    if (isLoad() && m_scenarios.size() > 1) {
        *error = QStringLiteral("--terminals plays one scenario; give --scenario once");
        return false;
    }
    if (!m_recordDir.isEmpty() && !QFileInfo(m_recordDir).isDir() && !QDir().mkpath(m_recordDir)) {
        *error = QStringLiteral("--record: cannot make the directory %1").arg(m_recordDir);
        return false;
    }
    return true;
}

QString ServiceCheckOptions::describeService() const
{
    return m_broker.isEnabled() ? QStringLiteral("broker %1").arg(m_broker.describe(m_broker.terminalId(4242)))
                                : QStringLiteral("command %1").arg(m_serviceCommand);
}
