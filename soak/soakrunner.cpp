#include "soakrunner.h"

#include "checkservice.h"
#include "objectcensus.h"
#include "pluginhost.h"
#include "scenariocatalog.h"
#include "scenarioverdict.h"
#include "scenarioplay.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QEvent>
#include <QtCore/QEventLoop>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QTimer>
#include <QtTest/QTest>
#include <QtWidgets/QApplication>

#include <cstdio>
#include <unistd.h>

namespace {

// Log lines by category and kind: a terminal's log must not grow with every dialogue either.
QMap<QString, int> g_logLines;

void countLine(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    static const char *const kinds[] = {"debug", "warning", "critical", "fatal", "info"};
    const char *category = context.category ? context.category : "default";
    ++g_logLines[QStringLiteral("%1 %2").arg(QLatin1String(category), QLatin1String(kinds[type]))];
    // Qt ends the process after a fatal message: it is the last thing the soak says.
    if (type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

// Real time a dialogue may take, whatever the time scale: far more than any scenario needs.
const int WatchdogMilliseconds = 20000;

void flushDeletions()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void print(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

QString describe(const QMap<QString, int> &counts)
{
    QStringList items;
    for (auto it = counts.constBegin(); it != counts.constEnd(); ++it)
        items << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    return items.join(QStringLiteral(", "));
}

QString describe(const std::array<long, 3> &census)
{
    return QStringLiteral("%1, %2, %3").arg(census[0]).arg(census[1]).arg(census[2]);
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
}

} // namespace

SoakRunner::SoakRunner(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
{
}

SoakRunner::~SoakRunner()
{
    qInstallMessageHandler(nullptr);
}

bool SoakRunner::prepare(QString *error)
{
    if (!m_fixture.isLoaded()) {
        *error = QStringLiteral("cannot load the plugin: %1").arg(m_fixture.errorString());
        return false;
    }
    // The customer reads the screens of a Russian kiosk, as the terminal simulator's default.
    const QString language = Scenario::languages().constFirst();
    // The host's own texts speak the same language as the plugin's.
    if (!m_fixture.host.installTranslation(language, error))
        return false;
    const QDir dir(m_options.scenarioDir);
    for (const QString &file : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        Scenario scenario;
        QString origin;
        if (!ScenarioCatalog::load(dir.filePath(file), &scenario, &origin, error))
            return false;
        scenario.chooseLanguage(language);
        m_scenarios.append(scenario);
    }
    if (m_scenarios.isEmpty()) {
        *error = QStringLiteral("no scenarios in %1").arg(dir.absolutePath());
        return false;
    }
    PluginHost::attachBus(m_fixture.plugin, &m_bus, Scenario().kovraId);
    m_screen.show();
    MessageWidgetController::setTimeScale(m_options.timeScale);
    m_counting = ObjectCensus::install();
    qInstallMessageHandler(countLine);
    return true;
}

SoakRunner::Census SoakRunner::takeCensus() const
{
    flushDeletions();
    const QObject *plugin = m_fixture.pluginObject;
    return {plugin ? plugin->children().size() : 0, QApplication::allWidgets().size(),
            m_counting ? ObjectCensus::alive() : 0};
}

QStringList SoakRunner::playDialogue(const Scenario &scenario)
{
    CheckService service(scenario.service);
    service.setTimeScale(m_options.timeScale);
    connect(&m_bus, &InProcessBus::requestReceived, &service, &CheckService::handleRequest);
    connect(&service, &CheckService::answerReady, &m_bus, &InProcessBus::publish);
    ScenarioPlay play;
    play.setRequestCounter([&service] { return service.requestCount(); }, true);
    QEventLoop loop;
    ScenarioVerdict::Play ended;
    bool over = false;
    connect(&play, &ScenarioPlay::ended, &loop, [&](const ScenarioVerdict::Play &result) {
        ended = result;
        over = true;
        loop.quit();
    });

    m_fixture.plugin->setKovraInfo(KovraInfo(scenario.kovraId));
    // The customer acts at once: the soak is about what a dialogue leaves, not its pace.
    PluginBaseFormViewer *viewer = play.open(m_fixture.plugin, &m_fixture.session, scenario, 0);
    if (!viewer)
        return {QStringLiteral("start gave no pay screen")};
    // The stack is empty: the pay screen is what it shows.
    m_screen.addWidget(viewer);
    // The customer stops the moment the pay screen asks to end, inside the plugin's call, so
    // that nothing it had planned is left over when the objects are counted.
    connect(viewer, &PluginBaseFormViewer::cancelRequested, &loop, &QEventLoop::quit);
    connect(viewer, &PluginBaseFormViewer::payDetailRequested, &loop, &QEventLoop::quit);
    play.begin(WatchdogMilliseconds);
    if (!over && play.play().endRequests == 0)
        loop.exec();
    play.stop();

    // The dialogue is over; its screens settle before the host takes the pay screen away.
    flushDeletions();
    const int viewerObjects = play.viewer() ? play.viewer()->findChildren<QObject *>().size() : -1;
    m_fixture.plugin->stop();
    flushDeletions();
    // An answer the service still owes arrives after the dialogue, as a late one does on a
    // terminal: it must find nothing to act on.
    (void)QTest::qWaitFor([&service] { return service.pendingAnswers() == 0; }, WatchdogMilliseconds);
    flushDeletions();

    QStringList problems;
    if (ended.timedOut) {
        problems << QStringLiteral("no end within %1 s, the customer at %2")
                        .arg(WatchdogMilliseconds / 1000)
                        .arg(ended.firstUnusedInput.isEmpty() ? QStringLiteral("the end of the inputs")
                                                              : ended.firstUnusedInput);
    } else if (!ended.problem.isEmpty()) {
        problems << ended.problem;
    } else {
        // End requests that came after the end count too.
        problems << ScenarioVerdict(scenario, play.play()).failures();
    }
    if (play.viewer())
        problems << QStringLiteral("stop left the pay screen alive");
    // The same scenario leaves the same forms on its pay screen every time.
    if (!m_viewerBaseline.contains(scenario.name))
        m_viewerBaseline.insert(scenario.name, viewerObjects);
    else if (m_viewerBaseline.value(scenario.name) != viewerObjects)
        problems << QStringLiteral("the pay screen held %1 objects at the end, not %2")
                        .arg(viewerObjects).arg(m_viewerBaseline.value(scenario.name));
    return problems;
}

int SoakRunner::run()
{
    QElapsedTimer clock;
    clock.start();
    int played = 0;
    int failures = 0;
    qint64 rssAfter100 = -1;
    // A first round of every scenario lets Qt and the host make what they make once.
    const int settled = m_scenarios.size();
    Census baseline{};
    for (int i = 1; i <= m_options.dialogues && failures < 10; ++i, ++played) {
        const Scenario &scenario = m_scenarios.at((i - 1) % m_scenarios.size());
        ++m_played[scenario.name];
        QStringList problems = playDialogue(scenario);
        const Census census = takeCensus();
        if (i == settled)
            baseline = census;
        else if (i > settled && census != baseline)
            problems << QStringLiteral("plugin children, widgets, QObjects alive: %1, not %2")
                            .arg(describe(census), describe(baseline));
        if (!problems.isEmpty()) {
            ++failures;
            print(QStringLiteral("dialogue %1 (%2): %3").arg(i).arg(scenario.name, problems.join(QStringLiteral("; "))));
        }
        if (i == 100)
            rssAfter100 = residentBytes();
        if (!m_options.quiet && (i % 1000 == 0))
            print(QStringLiteral("%1 dialogues, %2 s, resident %3 MiB")
                      .arg(i).arg(clock.elapsed() / 1000.0, 0, 'f', 1).arg(residentBytes() / 1048576.0, 0, 'f', 1));
    }
    if (failures >= 10)
        print(QStringLiteral("giving up after 10 failed dialogues"));

    const Census last = takeCensus();
    print(QStringLiteral("played %1 dialogues in %2 s: %3").arg(played)
              .arg(clock.elapsed() / 1000.0, 0, 'f', 1).arg(describe(m_played)));
    print(QStringLiteral("resident memory after 100 dialogues: %1 MiB, after %2: %3 MiB")
              .arg(rssAfter100 < 0 ? QStringLiteral("-") : QString::number(rssAfter100 / 1048576.0, 'f', 1))
              .arg(played).arg(residentBytes() / 1048576.0, 0, 'f', 1));
    print(QStringLiteral("after each dialogue: plugin children %1, widgets %2, QObjects %3")
              .arg(last[0]).arg(last[1])
              .arg(m_counting ? QStringLiteral("%1 (change from the first round)").arg(last[2] - baseline[2])
                              : QStringLiteral("not counted (no hooks)")));
    print(QStringLiteral("log lines: %1").arg(g_logLines.isEmpty() ? QStringLiteral("none") : describe(g_logLines)));
    print(failures ? QStringLiteral("FAILED: %1 dialogues").arg(failures) : QStringLiteral("ok"));
    return failures ? 1 : 0;
}
