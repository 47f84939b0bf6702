#include "conformancerun.h"

#include "answerwatch.h"
#include "pipeservice.h"
#include "pluginhost.h"
#include "scenariorecorder.h"
#include "servicedialogue.h"
#include "stompbus.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QTextStream>
#include <QtCore/QTimer>

namespace {

// Real milliseconds a broker has to accept the first connection.
const int FirstConnectionMilliseconds = 15000;
// How often a dialogue's stray answers are looked for while it closes.
const int DrainPollMilliseconds = 20;

} // namespace

ConformanceRun::ConformanceRun(const ServiceCheckOptions &options, const QList<Entry> &scenarios,
                               PluginHost *host, QTextStream *out, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_scenarios(scenarios)
    , m_host(host)
    , m_out(out)
    , m_watch(new AnswerWatch(options.waitMilliseconds(), this))
    , m_dialogue(new ServiceDialogue(host, options.timeScale(), this))
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_watch->setTimeScale(options.timeScale());
    m_report.setService(options.describeService());
    m_report.setRequireComplete(options.requireComplete());
    connect(m_watch, &AnswerWatch::violated, this, [this](const AnswerRules::Violation &violation) {
        m_report.addViolation(violation);
    });
    connect(m_watch, &AnswerWatch::noted, this, [this](const AnswerRules::Violation &note) {
        m_report.addNote(note);
    });
    connect(m_dialogue, &ServiceDialogue::ended, this, &ConformanceRun::dialogueEnded);
    connect(m_dialogue, &ServiceDialogue::shown, this, [this](const QString &what) {
        *m_out << what << '\n';
        m_out->flush();
    });
}

ConformanceRun::~ConformanceRun()
{
}

bool ConformanceRun::prepare(QString *error)
{
    const unsigned int kovraId = m_options.broker().terminalId(
        m_scenarios.isEmpty() ? 4242 : m_scenarios.first().scenario.kovraId);
    if (!m_dialogue->attach(m_watch, kovraId, error))
        return false;
    // Every dialogue is recorded: one that fails is written out to be replayed offline.
    m_recorder = new ScenarioRecorder(m_options.timeScale(), this);
    connect(m_watch, &AnswerWatch::requestOut, m_recorder, &ScenarioRecorder::requestSent);
    connect(m_watch, &AnswerWatch::messageReceived, m_recorder, &ScenarioRecorder::answerReceived);
    if (!m_options.broker().isEnabled())
        return true;
    m_bus = new StompBus(StompBus::TerminalRole, m_options.broker().settings(kovraId), this);
    connect(m_watch, &AnswerWatch::requestOut, m_bus, &StompBus::send);
    connect(m_bus, &StompBus::messageReceived, m_watch, &AnswerWatch::takeAnswer);
    connect(m_bus->client(), &StompClient::connected, this, [this] {
        if (!m_started) {
            m_started = true;
            m_timer->stop();
            next();
        }
    });
    connect(m_bus->client(), &StompClient::closed, this, [this] {
        if (m_stopped)
            emit finished(m_exitCode);
    });
    connect(m_bus->client(), &StompClient::refused, this, [this](StompClient::Refusal refusal, const QString &reason) {
        stop(2, BrokerOptions::explainRefusal(BrokerOptions::Side::Terminal, refusal, reason));
    });
    return m_bus->open(error);
}

void ConformanceRun::start()
{
    *m_out << "service: " << m_options.describeService() << '\n';
    m_out->flush();
    if (!m_bus) {
        m_started = true;
        next();
        return;
    }
    disconnect(m_timer, nullptr, this, nullptr);
    connect(m_timer, &QTimer::timeout, this, [this] {
        stop(2, QStringLiteral("no connection to the broker at %1 within %2 s")
                    .arg(m_bus->settings().connection.broker()).arg(FirstConnectionMilliseconds / 1000));
    });
    m_timer->start(FirstConnectionMilliseconds);
}

void ConformanceRun::next()
{
    if (m_stopped)
        return;
    if (++m_index >= m_scenarios.size()) {
        if (m_pipeDeadEarly > 0 && m_pipeDeadEarly == m_dialoguesAsking) {
            stop(2, QStringLiteral("cannot run the service: in every dialogue it ended before its first answer; %1")
                        .arg(m_lastExit));
            return;
        }
        stop(m_report.passed() ? 0 : 1);
        return;
    }
    const Entry &entry = m_scenarios.at(m_index);
    const Scenario &scenario = entry.scenario;
    if (!m_options.serviceCommand().isEmpty()) {
        QString command = m_options.serviceCommand();
        command.replace(QStringLiteral("{scenario}"), entry.path);
        m_pipe = new PipeService(command, this);
        connect(m_watch, &AnswerWatch::requestOut, m_pipe, &PipeService::send);
        connect(m_pipe, &PipeService::answerReceived, m_watch, &AnswerWatch::takeAnswer);
        connect(m_pipe, &PipeService::unreadable, m_watch, &AnswerWatch::takeUnreadable);
        connect(m_pipe, &PipeService::finished, this, &ConformanceRun::serviceExited);
        QString error;
        if (!m_pipe->start(&error)) {
            stop(2, error);
            return;
        }
    }
    AnswerWatch::Provider provider;
    provider.id = scenario.providerId;
    provider.baseId = scenario.baseProviderId;
    for (const Scenario::ProviderParameter &parameter : scenario.parameters)
        provider.parameters.append(parameter.name);
    m_watch->beginDialogue(scenario.name, provider);
    m_recorder->restart();
    QString error;
    if (!m_recorder->setSource(entry.path, &error)) {
        stop(2, error);
        return;
    }
    m_current = CheckReport::Dialogue();
    m_current.scenario = scenario.name;
    m_current.expectedEnd = Scenario::endName(scenario.expectedEnd);
    m_requestsBefore = m_watch->requestCount();
    m_answersBefore = m_watch->answerCount();
    m_violationsBefore = m_report.violationCount();
    m_notesBefore = m_report.noteCount();
    for (int step = 0; step < 2; ++step) {
        m_sentBefore[step] = m_watch->sentOfStep(step + 1);
        m_answeredBefore[step] = m_watch->answeredOfStep(step + 1);
    }
    *m_out << "[dialogue] " << scenario.name << " (" << entry.path << ")\n";
    m_out->flush();
    m_dialogue->play(scenario, int(m_options.timeout() * 1000));
}

void ConformanceRun::dialogueEnded(const QString &end, const QString &problem,
                                   const QMap<QString, QString> &values)
{
    m_current.end = end;
    m_current.note = problem;
    m_values = values;
    drain();
}

void ConformanceRun::serviceExited()
{
    // Ending once its input is closed is what a service does; ending before is a fault, shown
    // at once rather than as an answer that never came.
    if (!m_pipe || m_pipe->inputClosed())
        return;
    const bool beforeFirstAnswer = m_watch->answerCount() == m_answersBefore;
    m_diedEarly = beforeFirstAnswer;
    m_pipeDeadEarly += beforeFirstAnswer ? 1 : 0;
    const QStringList errors = m_pipe->lastErrorLines();
    m_lastExit = QStringLiteral("it %1%2").arg(m_pipe->exitDescription(),
        errors.isEmpty() ? QStringLiteral(" and wrote nothing to its standard error")
                         : QStringLiteral("; its standard error ended with: ") + errors.join(QStringLiteral(" | ")));
    AnswerRules::Violation exited = AnswerRules::violation(QStringLiteral("service-alive"), QString(), QVariant());
    exited.dialogue = m_current.scenario;
    exited.request = beforeFirstAnswer ? QStringLiteral("before its first answer")
                                       : QStringLiteral("after %1 answer(s)").arg(m_watch->answerCount() - m_answersBefore);
    exited.value = m_lastExit;
    m_report.addViolation(exited);
    m_watch->abandonDialogue();
    m_dialogue->abort(QStringLiteral("the service %1").arg(m_pipe->exitDescription()));
}

void ConformanceRun::drain()
{
    // Answers still due are waited for: a late or a second answer is what is being looked for.
    const int wait = m_options.waitMilliseconds();
    m_drainClock.start();
    m_drainLimit = m_watch->millisecondsToWait() + wait;
    if (m_pipe) {
        disconnect(m_timer, nullptr, this, nullptr);
        disconnect(m_pipe, &PipeService::finished, this, &ConformanceRun::serviceExited);
        if (!m_pipe->isRunning()) {
            QTimer::singleShot(0, this, &ConformanceRun::closeDialogue);
            return;
        }
        connect(m_pipe, &PipeService::finished, this, &ConformanceRun::closeDialogue);
        connect(m_timer, &QTimer::timeout, this, &ConformanceRun::closeDialogue);
        m_timer->start(int(m_drainLimit) + 2000);
        m_pipe->closeInput();
        return;
    }
    pollDrain();
}

void ConformanceRun::pollDrain()
{
    // The settling time lets a second copy of the last answer arrive.
    const qint64 settle = qMin(1000, m_options.waitMilliseconds() / 4);
    if (m_drainClock.elapsed() >= m_drainLimit
        || (m_watch->unanswered() == 0 && m_drainClock.elapsed() >= settle)) {
        closeDialogue();
        return;
    }
    QTimer::singleShot(DrainPollMilliseconds, this, &ConformanceRun::pollDrain);
}

void ConformanceRun::closeDialogue()
{
    if (m_pipe) {
        m_timer->stop();
        disconnect(m_timer, nullptr, this, nullptr);
        disconnect(m_pipe, nullptr, this, nullptr);
        m_pipe->kill();
        m_pipe->deleteLater();
        m_pipe = nullptr;
    }
    m_watch->closeDialogue();
    m_current.requests = m_watch->requestCount() - m_requestsBefore;
    m_current.answers = m_watch->answerCount() - m_answersBefore;
    for (int step = 0; step < 2; ++step) {
        m_current.sent[step] = m_watch->sentOfStep(step + 1) - m_sentBefore[step];
        m_current.answered[step] = m_watch->answeredOfStep(step + 1) - m_answeredBefore[step];
    }
    // A dialogue that asked the service nothing says nothing of whether it can answer.
    m_dialoguesAsking += m_current.requests > 0 || m_diedEarly ? 1 : 0;
    m_diedEarly = false;
    m_current.firstViolation = m_violationsBefore;
    m_current.violations = m_report.violationCount() - m_violationsBefore;
    m_current.firstNote = m_notesBefore;
    m_current.notes = m_report.noteCount() - m_notesBefore;
    const bool failed = m_current.violations > 0 || !m_current.reachedEnd();
    // A recording needs an end to replay to.
    if (!m_current.end.isEmpty() && (failed || !m_options.recordDir().isEmpty())) {
        const QString dir = m_options.recordDir().isEmpty() ? replayDir() : m_options.recordDir();
        const QString path = QFileInfo(QDir(dir).filePath(QStringLiteral("%1-%2.json").arg(m_index + 1).arg(m_current.scenario)))
                                 .absoluteFilePath();
        QString error;
        if (QDir().mkpath(dir) && m_recorder->write(path, m_current.end, m_values, &error)) {
            m_current.recording = path;
            if (failed) {
                m_current.replay = QStringLiteral("%1 --headless --scenario %2")
                                       .arg(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tavrin-terminal")), path);
            }
        } else {
            m_current.note += (m_current.note.isEmpty() ? QString() : QStringLiteral("; ")) + error;
        }
    }
    *m_out << "[dialogue] " << m_current.scenario << ": "
           << (m_current.end.isEmpty() ? QStringLiteral("did not end: ") + m_current.note : m_current.end)
           << ", " << m_current.violations << " violation(s)\n";
    m_out->flush();
    m_report.addDialogue(m_current);
    QTimer::singleShot(0, this, &ConformanceRun::next);
}

QString ConformanceRun::replayDir() const
{
    return QDir::temp().filePath(QStringLiteral("tavrin-servicecheck-%1").arg(QCoreApplication::applicationPid()));
}

void ConformanceRun::stop(int exitCode, const QString &problem)
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_exitCode = exitCode;
    QSet<QString> met = m_watch->rulesMet();
    if (!m_options.serviceCommand().isEmpty() && m_index > 0)
        met.insert(QStringLiteral("service-alive"));
    m_report.setRulesMet(met);
    if (!problem.isEmpty())
        *m_out << "CANNOT CHECK: " << problem << '\n';
    else
        m_report.writeText(*m_out);
    // The reports are written also when the check could not run, so that CI shows why.
    QString error;
    if (!m_options.jsonPath().isEmpty() && !m_report.writeJson(m_options.jsonPath(), &error)) {
        *m_out << "CANNOT CHECK: " << error << '\n';
        m_exitCode = 2;
    }
    if (!m_options.junitPath().isEmpty() && !m_report.writeJUnit(m_options.junitPath(), &error)) {
        *m_out << "CANNOT CHECK: " << error << '\n';
        m_exitCode = 2;
    }
    m_out->flush();
    if (m_bus && m_bus->client()->state() != StompClient::UnconnectedState) {
        m_bus->close();
        return;
    }
    QTimer::singleShot(0, this, [this] { emit finished(m_exitCode); });
}
