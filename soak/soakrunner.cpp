#include "soakrunner.h"

#include "checkservice.h"
#include "inprocessbus.h"
#include "objectcensus.h"
#include "scenarioparser.h"
#include "soakcustomer.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QEvent>
#include <QtCore/QEventLoop>
#include <QtCore/QFile>
#include <QtCore/QTimer>
#include <QtWidgets/QApplication>
#include <QtWidgets/QWidget>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// Log lines by category and kind: a terminal's log must not grow with every dialogue either.
QMap<QString, int> g_logLines;

void countLine(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    static const char *const kinds[] = {"debug", "warning", "critical", "fatal", "info"};
    const char *category = context.category ? context.category : "default";
    ++g_logLines[QStringLiteral("%1 %2").arg(QLatin1String(category), QLatin1String(kinds[type]))];
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::abort();
    }
}

// Real time a dialogue may take, whatever the time scale: far more than any scenario needs.
const int WatchdogMilliseconds = 20000;

void flushDeletions()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

SoakRunner::SoakRunner(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_bus(new InProcessBus(this))
{
}

SoakRunner::~SoakRunner()
{
    qInstallMessageHandler(nullptr);
    ObjectCensus::uninstall();
}

bool SoakRunner::prepare(QString *error)
{
    if (!m_fixture.isLoaded()) {
        *error = QStringLiteral("cannot load the plugin: %1").arg(m_fixture.errorString());
        return false;
    }
    const QDir dir(m_options.scenarioDir);
    const QStringList files = dir.entryList(QStringList{QStringLiteral("*.json")}, QDir::Files,
                                            QDir::Name);
    for (const QString &file : files) {
        Scenario scenario;
        QString why;
        if (!ScenarioParser::parseFile(dir.filePath(file), &scenario, &why)) {
            *error = QStringLiteral("%1: %2").arg(file, why);
            return false;
        }
        m_scenarios.append(scenario);
    }
    if (m_scenarios.isEmpty()) {
        *error = QStringLiteral("no scenarios in %1").arg(dir.absolutePath());
        return false;
    }
    m_fixture.plugin->setMessageReciever(m_bus, SLOT(send(QVariantMap)));
    m_fixture.plugin->setMessageSender(m_bus, SIGNAL(messageReceived(QVariantMap)));
    MessageWidgetController::setTimeScale(m_options.timeScale);
    m_counting = ObjectCensus::install();
    qInstallMessageHandler(countLine);
    return true;
}

qint64 SoakRunner::residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
}

SoakRunner::Census SoakRunner::takeCensus() const
{
    flushDeletions();
    Census census;
    census.pluginChildren = m_fixture.pluginObject ? m_fixture.pluginObject->children().size() : 0;
    census.widgets = QApplication::allWidgets().size();
    census.objects = m_counting ? ObjectCensus::alive() : 0;
    return census;
}

void SoakRunner::print(const QString &line) const
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

QString SoakRunner::playDialogue(const Scenario &scenario)
{
    QScopedPointer<Provider> provider(scenario.createProvider());
    CheckService service(scenario.service);
    service.setTimeScale(m_options.timeScale);
    connect(m_bus, &InProcessBus::requestReceived, &service, &CheckService::handleRequest);
    connect(&service, &CheckService::answerReady, m_bus, &InProcessBus::publish);
    SoakCustomer customer(scenario.inputs);

    QEventLoop loop;
    End end = End::None;
    m_fixture.plugin->setKovraInfo(KovraInfo(scenario.kovraId));
    IPayWidget *widget = m_fixture.plugin->start(provider.data(), Currency(643), &m_fixture.session);
    QPointer<PluginBaseFormViewer> viewer = dynamic_cast<PluginBaseFormViewer *>(widget);
    if (!viewer)
        return QStringLiteral("start gave no pay screen");
    connect(viewer.data(), &PluginBaseFormViewer::cancelRequested, &loop, [&] {
        end = End::Cancelled;
        loop.quit();
    });
    connect(viewer.data(), &PluginBaseFormViewer::payDetailRequested, &loop, [&] {
        end = End::Payment;
        loop.quit();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, &loop, &QEventLoop::quit);
    watchdog.start(WatchdogMilliseconds);
    m_fixture.plugin->showInitScreen();
    if (end == End::None && customer.failure().isEmpty())
        loop.exec();

    // The dialogue is over; its screens settle before the host takes the pay screen away.
    flushDeletions();
    const int viewerObjects = viewer ? viewer->findChildren<QObject *>().size() : -1;
    m_fixture.plugin->stop();
    flushDeletions();
    // An answer the service still owes arrives after the dialogue, as a late one does on a
    // terminal: it must find nothing to act on.
    QElapsedTimer owed;
    owed.start();
    while (service.pendingAnswers() > 0 && owed.elapsed() < WatchdogMilliseconds) {
        QEventLoop wait;
        QTimer::singleShot(5, &wait, &QEventLoop::quit);
        wait.exec();
    }
    flushDeletions();

    QStringList problems;
    if (!customer.failure().isEmpty())
        problems << customer.failure();
    if (end == End::None)
        problems << QStringLiteral("no end within %1 s %2")
                        .arg(WatchdogMilliseconds / 1000)
                        .arg(customer.waiting());
    const End expectedEnd = scenario.expectedEnd == Scenario::End::Payment ? End::Payment
                                                                             : End::Cancelled;
    if (end != End::None && end != expectedEnd) {
        // On a machine too slow for the time scale a message runs out before the customer or
        // the service is heard.
        problems << QStringLiteral("ended in %1 (a message that ran out first would say the "
                                   "time scale is too small for this machine)")
                        .arg(end == End::Payment ? QStringLiteral("payment")
                                                 : QStringLiteral("cancel"));
    }
    if (end != End::None && !customer.usedAllInputs())
        problems << QStringLiteral("ended before the customer was through");
    if (scenario.expectedRequests >= 0 && service.requestCount() != scenario.expectedRequests)
        problems << QStringLiteral("%1 requests, not %2").arg(service.requestCount())
                        .arg(scenario.expectedRequests);
    const QMap<QString, QString> &expected = scenario.expectedValues;
    for (auto it = expected.constBegin(); it != expected.constEnd(); ++it) {
        QString value;
        for (const ProviderParameter &parameter : provider->parameters()) {
            if (parameter.name() == it.key())
                value = parameter.value();
        }
        if (value != it.value())
            problems << QStringLiteral("%1 is \"%2\", not \"%3\"").arg(it.key(), value, it.value());
    }
    if (viewer)
        problems << QStringLiteral("stop left the pay screen alive");
    // The same scenario leaves the same forms on its pay screen every time.
    if (!m_viewerBaseline.contains(scenario.name))
        m_viewerBaseline.insert(scenario.name, viewerObjects);
    else if (m_viewerBaseline.value(scenario.name) != viewerObjects)
        problems << QStringLiteral("the pay screen held %1 objects at the end, not %2")
                        .arg(viewerObjects).arg(m_viewerBaseline.value(scenario.name));
    return problems.join(QStringLiteral("; "));
}

int SoakRunner::run()
{
    QElapsedTimer clock;
    clock.start();
    int failures = 0;
    qint64 rssAfter100 = -1;
    long objectsAtBaseline = 0;
    // A first round of every scenario lets Qt and the host make what they make once.
    const int settled = m_scenarios.size();

    for (int i = 1; i <= m_options.dialogues; ++i) {
        const Scenario &scenario = m_scenarios.at((i - 1) % m_scenarios.size());
        ++m_played[scenario.name];
        QStringList problems;
        const QString played = playDialogue(scenario);
        if (!played.isEmpty())
            problems << played;

        const Census census = takeCensus();
        if (i == settled) {
            m_baseline = census;
            objectsAtBaseline = census.objects;
        } else if (i > settled) {
            if (census.pluginChildren != m_baseline.pluginChildren)
                problems << QStringLiteral("the plugin holds %1 children, not %2")
                                .arg(census.pluginChildren).arg(m_baseline.pluginChildren);
            if (census.widgets != m_baseline.widgets)
                problems << QStringLiteral("%1 widgets alive, not %2").arg(census.widgets)
                                .arg(m_baseline.widgets);
            if (m_counting && census.objects != m_baseline.objects)
                problems << QStringLiteral("%1 QObjects alive, not %2").arg(census.objects)
                                .arg(m_baseline.objects);
        }
        if (!problems.isEmpty()) {
            ++failures;
            print(QStringLiteral("dialogue %1 (%2): %3").arg(i).arg(scenario.name,
                                                               problems.join(QStringLiteral("; "))));
            if (failures >= 10) {
                print(QStringLiteral("giving up after 10 failed dialogues"));
                break;
            }
        }
        if (i == 100)
            rssAfter100 = residentBytes();
        if (!m_options.quiet && (i % 1000 == 0))
            print(QStringLiteral("%1 dialogues, %2 s, resident %3 MiB")
                      .arg(i).arg(clock.elapsed() / 1000.0, 0, 'f', 1)
                      .arg(residentBytes() / 1048576.0, 0, 'f', 1));
    }

    const Census last = takeCensus();
    QStringList mix;
    for (auto it = m_played.constBegin(); it != m_played.constEnd(); ++it)
        mix << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    print(QStringLiteral("played %1 dialogues in %2 s: %3").arg(m_options.dialogues)
              .arg(clock.elapsed() / 1000.0, 0, 'f', 1).arg(mix.join(QStringLiteral(", "))));
    print(QStringLiteral("resident memory after 100 dialogues: %1 MiB, after %2: %3 MiB")
              .arg(rssAfter100 < 0 ? QStringLiteral("-")
                                   : QString::number(rssAfter100 / 1048576.0, 'f', 1))
              .arg(m_options.dialogues)
              .arg(residentBytes() / 1048576.0, 0, 'f', 1));
    print(QStringLiteral("after each dialogue: plugin children %1, widgets %2, QObjects %3 (%4)")
              .arg(last.pluginChildren).arg(last.widgets)
              .arg(m_counting ? QString::number(last.objects - objectsAtBaseline, 10)
                              : QStringLiteral("not counted"))
              .arg(m_counting ? QStringLiteral("change from the first round")
                              : QStringLiteral("no hooks")));
    QStringList lines;
    for (auto it = g_logLines.constBegin(); it != g_logLines.constEnd(); ++it)
        lines << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    print(QStringLiteral("log lines: %1").arg(lines.isEmpty() ? QStringLiteral("none")
                                                              : lines.join(QStringLiteral(", "))));
    print(failures ? QStringLiteral("FAILED: %1 dialogues").arg(failures) : QStringLiteral("ok"));
    return failures ? 1 : 0;
}
