#include "loadrun.h"

#include "answerrules.h"
#include "checkservice.h"
#include "pipeservice.h"
#include "stompbus.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QSaveFile>
#include <QtCore/QTextStream>
#include <QtCore/QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const int FirstConnectionMilliseconds = 15000;
const int ProgressMilliseconds = 500;
// After the last dialogue, the time a second copy of an answer has to show up.
const int SettleMilliseconds = 500;

QString answerUid(const QVariantMap &answer)
{
    const QVariant uid = answer.value(QStringLiteral("message")).toMap().value(QStringLiteral("uid"));
    // In a ceiling run the request itself comes back.
    return uid.isValid() ? uid.toString() : answer.value(QStringLiteral("uid")).toString();
}

// The nearest-rank percentile of sorted values.
qint64 percentile(const QList<qint64> &sorted, double fraction)
{
    if (sorted.isEmpty())
        return 0;
    const int rank = qBound(0, int(std::ceil(fraction * sorted.size())) - 1, sorted.size() - 1);
    return sorted.at(rank);
}

} // namespace

LoadRun::LoadRun(const ServiceCheckOptions &options, const Scenario &scenario, QTextStream *out,
                 QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_scenario(scenario)
    , m_out(out)
    , m_connectLimit(new QTimer(this))
    , m_progress(new QTimer(this))
{
    m_clock.start();
    connect(m_progress, &QTimer::timeout, this, [this] { progress(false); });
    m_connectLimit->setSingleShot(true);
    connect(m_connectLimit, &QTimer::timeout, this, [this] {
        stop(2, QStringLiteral("only %1 of %2 terminals were connected to the broker within %3 s")
                    .arg(m_connected).arg(m_terminals.size()).arg(FirstConnectionMilliseconds / 1000));
    });
    // The customer's own inputs give the number and the code, as at a terminal.
    for (const Scenario::Input &input : scenario.inputs) {
        if (input.kind != Scenario::Input::Kind::Text || input.refused)
            continue;
        if (input.screen == QLatin1String("phone") && m_msisdn.isEmpty())
            m_msisdn = QLatin1Char('7') + input.text;
        else if (input.screen == QLatin1String("smscode"))
            m_smsCode = input.text;
    }
    if (m_msisdn.isEmpty())
        m_msisdn = scenario.service.msisdn.isEmpty() ? QStringLiteral("79161234567") : scenario.service.msisdn;
    if (m_smsCode.isEmpty())
        m_smsCode = scenario.service.smsCode.isEmpty() ? QStringLiteral("0000") : scenario.service.smsCode;
}

LoadRun::~LoadRun()
{
}

bool LoadRun::prepare(QString *error)
{
    const BrokerOptions &broker = m_options.broker();
    const unsigned int firstId = broker.terminalId(m_scenario.kovraId);
    // A reply destination given on the command line is a stem: each terminal gets its own.
    const bool namedReplies = broker.isEnabled()
                              && broker.settings(firstId).replyDestination == broker.settings(firstId + 1).replyDestination;
    m_terminals.resize(m_options.terminals());
    for (int i = 0; i < m_terminals.size(); ++i) {
        Terminal &terminal = m_terminals[i];
        terminal.id = firstId + unsigned(i);
        terminal.wait = new QTimer(this);
        terminal.wait->setSingleShot(true);
        connect(terminal.wait, &QTimer::timeout, this, [this, i] {
            Terminal &late = m_terminals[i];
            if (m_sent.contains(late.pendingUid))
                m_sent[late.pendingUid].lost = true;
            ++late.lost;
            dialogueOver(i);
        });
        if (!broker.isEnabled())
            continue;
        StompBus::Settings settings = broker.settings(terminal.id);
        if (namedReplies)
            settings.replyDestination += QStringLiteral(".%1").arg(i);
        terminal.replyDestination = settings.replyDestination;
        terminal.bus = new StompBus(StompBus::TerminalRole, settings, this);
        connect(terminal.bus, &StompBus::messageReceived, this, [this, i](const QVariantMap &answer) {
            takeAnswer(i, answer);
        });
        connect(terminal.bus->client(), &StompClient::connected, this, [this, i] {
            connectionUp(i);
            if (m_terminals[i].connections == 1 && ++m_connected == m_terminals.size() && !m_running && !m_stopped)
                begin();
        });
        connect(terminal.bus->client(), &StompClient::connectionLost, this, [this, i] { connectionDown(i); });
        connect(terminal.bus->client(), &StompClient::closed, this, [this] {
            if (m_stopped && --m_closing == 0)
                emit finished(m_exitCode);
        });
        connect(terminal.bus->client(), &StompClient::refused, this,
                [this](StompClient::Refusal refusal, const QString &reason) {
                    stop(2, BrokerOptions::explainRefusal(BrokerOptions::Side::Terminal, refusal, reason));
                });
    }
    if (broker.isEnabled())
        return true;
    QString command = m_options.serviceCommand();
    command.replace(QStringLiteral("{scenario}"), m_options.scenarios().value(0));
    m_pipe = new PipeService(command, this);
    connect(m_pipe, &PipeService::answerReceived, this, [this](const QVariantMap &answer) {
        takeAnswer(-1, answer);
    });
    // A line that is not JSON is a broken answer, not one meant for someone else.
    connect(m_pipe, &PipeService::unreadable, this, [this] { ++m_violations[QStringLiteral("answer-json")]; });
    return m_pipe->start(error);
}

void LoadRun::start()
{
    *m_out << "load: " << m_terminals.size() << " terminal(s), " << m_options.dialogues()
           << " dialogue(s) each, " << (m_options.ceiling() ? QStringLiteral("the broker's round trip alone (ceiling)")
                                                             : m_options.describeService())
           << ", scenario " << m_scenario.name << '\n';
    m_out->flush();
    if (!m_options.broker().isEnabled()) {
        begin();
        return;
    }
    for (Terminal &terminal : m_terminals) {
        QString error;
        if (!terminal.bus->open(&error)) {
            stop(2, error);
            return;
        }
    }
    m_connectLimit->start(FirstConnectionMilliseconds);
}

void LoadRun::begin()
{
    m_connectLimit->stop();
    m_running = true;
    m_startedAt = m_clock.elapsed();
    m_progress->start(ProgressMilliseconds);
    for (int i = 0; i < m_terminals.size(); ++i)
        sendStep(i, 1);
}

QVariantMap LoadRun::request(const Terminal &terminal, int step, QString *uid) const
{
    QVariantList list{QVariantMap{{QStringLiteral("name"), QStringLiteral("msisdn")}, {QStringLiteral("value"), m_msisdn}}};
    if (step == 2)
        list.append(QVariantMap{{QStringLiteral("name"), QStringLiteral("smscode")}, {QStringLiteral("value"), m_smsCode}});
    const QVariantMap checkdata{{QStringLiteral("payParamList"), list},
                                {QStringLiteral("currentStep"), QString::number(step)}};
    *uid = QStringLiteral("%1%2").arg(terminal.id).arg(m_counter, 10, 10, QLatin1Char('0'));
    return QVariantMap{
        {QStringLiteral("providerId"), m_scenario.providerId},
        {QStringLiteral("code"), QStringLiteral("check")},
        {QStringLiteral("rekv"), QString()},
        {QStringLiteral("params"), QVariantMap{{QStringLiteral("checkdata"),
                                                QString::fromUtf8(QJsonDocument::fromVariant(checkdata).toJson(QJsonDocument::Compact))}}},
        {QStringLiteral("currencyId"), 643},
        {QStringLiteral("summ"), 0},
        {QStringLiteral("commission"), 0},
        {QStringLiteral("msgType"), CheckService::DefaultMessageType},
        {QStringLiteral("uid"), *uid},
    };
}

void LoadRun::sendStep(int index, int step)
{
    Terminal &terminal = m_terminals[index];
    ++m_counter;
    QString uid;
    const QVariantMap message = request(terminal, step, &uid);
    terminal.step = step;
    terminal.pendingUid = uid;
    Sent sent;
    sent.terminal = index;
    sent.step = step;
    sent.warmUp = terminal.dialogues < warmUp();
    sent.sentAt = m_clock.nsecsElapsed() / 1000;
    if (step == 1)
        terminal.firstParameters.clear();
    m_sent.insert(uid, sent);
    terminal.wait->start(m_options.waitMilliseconds());
    if (m_pipe)
        m_pipe->send(message);
    else if (m_options.ceiling())
        terminal.bus->publish(message, terminal.replyDestination);
    else
        terminal.bus->send(message);
}

void LoadRun::takeAnswer(int index, const QVariantMap &answer)
{
    const QString uid = answerUid(answer);
    auto found = m_sent.find(uid);
    if (found == m_sent.end() || (index >= 0 && found->terminal != index)) {
        ++m_foreign;
        return;
    }
    Sent &sent = *found;
    if (sent.answers++ > 0) {
        ++m_duplicated;
        return;
    }
    if (sent.lost) {
        // Counted as lost when the wait ran out; it is late instead.
        --m_terminals[sent.terminal].lost;
        ++m_late;
        return;
    }
    if (!sent.warmUp)
        m_latencies.append(m_clock.nsecsElapsed() / 1000 - sent.sentAt);
    Terminal &terminal = m_terminals[sent.terminal];
    ++terminal.answers;
    if (!m_options.ceiling())
        judge(sent.terminal, sent, uid, answer);
    if (!m_running || terminal.pendingUid != uid)
        return;
    terminal.wait->stop();
    const bool success = m_options.ceiling() || AnswerRules::isSuccess(answer);
    if (!success) {
        ++m_errors;
        ++terminal.failed;
        dialogueOver(sent.terminal);
        return;
    }
    if (terminal.step == 1 && (m_options.ceiling() || AnswerRules::isComplete(answer))) {
        sendStep(sent.terminal, 2);
        return;
    }
    const bool completed = terminal.step == 2 && (m_options.ceiling() || AnswerRules::isComplete(answer));
    ++(completed ? terminal.completed : terminal.failed);
    dialogueOver(sent.terminal);
}

void LoadRun::judge(int index, const Sent &sent, const QString &uid, const QVariantMap &answer)
{
    Terminal &terminal = m_terminals[index];
    AnswerRules::Expectation expectation;
    expectation.uid = uid;
    expectation.messageType = CheckService::DefaultMessageType;
    expectation.step = sent.step;
    expectation.providerId = m_scenario.providerId;
    expectation.baseProviderId = m_scenario.baseProviderId;
    for (const Scenario::ProviderParameter &parameter : m_scenario.parameters)
        expectation.providerParameters.append(parameter.name);
    expectation.firstParameters = terminal.firstParameters;
    for (const AnswerRules::Violation &found : AnswerRules::check(answer, expectation)) {
        if (found.isNote) {
            ++m_notes[found.rule];
        } else {
            ++m_violations[found.rule];
            ++terminal.violations;
        }
    }
    if (sent.step == 1 && AnswerRules::isSuccess(answer)) {
        terminal.firstParameters = answer.value(QStringLiteral("message")).toMap().value(QStringLiteral("params"))
                                       .toMap().value(QStringLiteral("payParamList")).toList();
    }
}

int LoadRun::warmUp() const
{
    // By default the first dialogue of each terminal warms up, unless it is the only one.
    if (m_options.warmUp() >= 0)
        return m_options.warmUp();
    return m_options.dialogues() > 1 ? 1 : 0;
}

void LoadRun::connectionUp(int index)
{
    Terminal &terminal = m_terminals[index];
    if (terminal.connections++ > 0)
        ++m_reconnects;
    if (terminal.lostAt >= 0)
        m_longestGap = qMax(m_longestGap, m_clock.elapsed() - terminal.lostAt);
    terminal.lostAt = -1;
}

void LoadRun::connectionDown(int index)
{
    Terminal &terminal = m_terminals[index];
    if (terminal.lostAt < 0)
        terminal.lostAt = m_clock.elapsed();
}

void LoadRun::dialogueOver(int index)
{
    Terminal &terminal = m_terminals[index];
    terminal.pendingUid.clear();
    if (++terminal.dialogues < m_options.dialogues()) {
        sendStep(index, 1);
        return;
    }
    terminal.done = true;
    if (++m_finishedTerminals < m_terminals.size())
        return;
    m_endedAt = m_clock.elapsed();
    QTimer::singleShot(SettleMilliseconds, this, [this] {
        m_running = false;
        m_progress->stop();
        progress(true);
        report();
        if (m_reportFailed)
            stop(2);
        else
            stop(toVariant().value(QStringLiteral("verdict")).toString() == QLatin1String("pass") ? 0 : 1);
    });
}

int LoadRun::total(int Terminal::*count) const
{
    int sum = 0;
    for (const Terminal &terminal : m_terminals)
        sum += terminal.*count;
    return sum;
}

void LoadRun::progress(bool last)
{
    const int planned = m_terminals.size() * m_options.dialogues();
    const int lost = total(&Terminal::lost);
    const int done = total(&Terminal::completed) + total(&Terminal::failed) + lost;
    std::fprintf(stderr, "\r[load] %d/%d dialogues, %d answers, lost %d, duplicated %d, late %d, "
                         "foreign %d, errors %d, %.1f s%s",
                 done, planned, m_latencies.size(), lost, m_duplicated, m_late, m_foreign, m_errors,
                 ((last ? m_endedAt : m_clock.elapsed()) - m_startedAt) / 1000.0, last ? "\n" : "");
    std::fflush(stderr);
}

QVariantMap LoadRun::toVariant() const
{
    QList<qint64> sorted = m_latencies;
    std::sort(sorted.begin(), sorted.end());
    const double seconds = qMax<qint64>(1, m_endedAt - m_startedAt) / 1000.0;
    const int completed = total(&Terminal::completed);
    const int failed = total(&Terminal::failed);
    const int lost = total(&Terminal::lost);
    const int dialogues = completed + failed + lost;
    const auto ms = [](qint64 microseconds) { return std::round(microseconds / 10.0) / 100.0; };
    // A connection still down at the end is a gap until the end.
    qint64 longestGap = m_longestGap;
    for (const Terminal &terminal : m_terminals) {
        if (terminal.lostAt >= 0)
            longestGap = qMax(longestGap, m_endedAt - terminal.lostAt);
    }
    QVariantMap rules;
    int violations = 0;
    for (auto it = m_violations.cbegin(); it != m_violations.cend(); ++it) {
        rules.insert(it.key(), it.value());
        violations += it.value();
    }
    QVariantMap notes;
    for (auto it = m_notes.cbegin(); it != m_notes.cend(); ++it)
        notes.insert(it.key(), it.value());
    QVariantList perTerminal;
    int received = 0;
    for (const Terminal &terminal : m_terminals) {
        received += terminal.answers;
        perTerminal.append(QVariantMap{{QStringLiteral("id"), terminal.id},
                                       {QStringLiteral("dialogues"), terminal.completed + terminal.failed + terminal.lost},
                                       {QStringLiteral("completed"), terminal.completed},
                                       {QStringLiteral("failed"), terminal.failed},
                                       {QStringLiteral("lost"), terminal.lost},
                                       {QStringLiteral("answers"), terminal.answers},
                                       {QStringLiteral("violations"), terminal.violations}});
    }
    const bool pass = lost + m_duplicated + m_late + m_foreign + violations == 0;
    return QVariantMap{
        {QStringLiteral("service"), m_options.ceiling() ? QStringLiteral("ceiling") : m_options.describeService()},
        {QStringLiteral("scenario"), m_scenario.name},
        {QStringLiteral("terminals"), m_terminals.size()},
        {QStringLiteral("dialoguesPerTerminal"), m_options.dialogues()},
        {QStringLiteral("warmUp"), warmUp()},
        {QStringLiteral("seconds"), seconds},
        {QStringLiteral("rate"), dialogues / seconds},
        {QStringLiteral("dialogues"), QVariantMap{{QStringLiteral("total"), dialogues},
                                                  {QStringLiteral("completed"), completed},
                                                  {QStringLiteral("failed"), failed}}},
        {QStringLiteral("answers"), QVariantMap{{QStringLiteral("received"), received},
                                                {QStringLiteral("lost"), lost},
                                                {QStringLiteral("duplicated"), m_duplicated},
                                                {QStringLiteral("late"), m_late},
                                                {QStringLiteral("foreign"), m_foreign},
                                                {QStringLiteral("serviceErrors"), m_errors}}},
        {QStringLiteral("latencyMs"), QVariantMap{{QStringLiteral("count"), sorted.size()},
                                                  {QStringLiteral("median"), ms(percentile(sorted, 0.5))},
                                                  {QStringLiteral("p95"), ms(percentile(sorted, 0.95))},
                                                  {QStringLiteral("p99"), ms(percentile(sorted, 0.99))},
                                                  {QStringLiteral("max"), ms(sorted.isEmpty() ? 0 : sorted.last())}}},
        {QStringLiteral("violations"), violations},
        {QStringLiteral("rules"), rules},
        {QStringLiteral("notes"), notes},
        {QStringLiteral("connections"), QVariantMap{{QStringLiteral("reconnects"), m_reconnects},
                                                    {QStringLiteral("longestGapMs"), longestGap}}},
        {QStringLiteral("perTerminal"), perTerminal},
        {QStringLiteral("verdict"), pass ? QStringLiteral("pass") : QStringLiteral("fail")},
    };
}

void LoadRun::report()
{
    const QVariantMap figures = toVariant();
    const QVariantMap dialogues = figures.value(QStringLiteral("dialogues")).toMap();
    const QVariantMap answers = figures.value(QStringLiteral("answers")).toMap();
    const QVariantMap latency = figures.value(QStringLiteral("latencyMs")).toMap();
    const QVariantMap connections = figures.value(QStringLiteral("connections")).toMap();
    const QVariantMap rules = figures.value(QStringLiteral("rules")).toMap();
    const auto ms = [&latency](const char *key) { return QString::number(latency.value(QLatin1String(key)).toDouble(), 'f', 2); };
    const QString rate = QString::number(figures.value(QStringLiteral("rate")).toDouble(), 'f', 1);
    const int total = dialogues.value(QStringLiteral("total")).toInt();
    const int lost = answers.value(QStringLiteral("lost")).toInt();
    *m_out << "dialogues: " << total << " in " << QString::number(figures.value(QStringLiteral("seconds")).toDouble(), 'f', 2)
           << " s, " << rate << " per second (" << dialogues.value(QStringLiteral("completed")).toInt() << " completed, "
           << dialogues.value(QStringLiteral("failed")).toInt() << " failed)\n";
    *m_out << "answer latency ms, leaving out the first " << warmUp() << " dialogue(s) of each terminal ("
           << latency.value(QStringLiteral("count")).toInt() << " answers): median " << ms("median") << ", p95 "
           << ms("p95") << ", p99 " << ms("p99") << ", max " << ms("max") << '\n';
    *m_out << "answers lost " << lost << ", duplicated " << m_duplicated << ", late " << m_late
           << ", foreign " << m_foreign << "; service errors " << m_errors << "; reconnects "
           << m_reconnects << ", longest gap " << connections.value(QStringLiteral("longestGapMs")).toLongLong() << " ms\n";
    QStringList broken;
    for (auto it = rules.cbegin(); it != rules.cend(); ++it)
        broken.append(QStringLiteral("%1 (%2)").arg(it.key()).arg(it.value().toInt()));
    const int violations = figures.value(QStringLiteral("violations")).toInt();
    *m_out << "rules: " << (broken.isEmpty() ? QStringLiteral("no answer broke a rule")
                                             : QStringLiteral("%1 violation(s): %2").arg(violations).arg(broken.join(QLatin1Char(' '))))
           << '\n';
    *m_out << "RESULT terminals=" << m_terminals.size() << " dialogues=" << total << " rate=" << rate
           << " p50=" << ms("median") << " p95=" << ms("p95") << " p99=" << ms("p99") << " max=" << ms("max")
           << " violations=" << violations << " lost=" << lost << " duplicated=" << m_duplicated << " late=" << m_late
           << " foreign=" << m_foreign << " errors=" << m_errors << '\n';
    m_out->flush();
    if (!m_options.jsonPath().isEmpty()) {
        QSaveFile file(m_options.jsonPath());
        const QByteArray json = QJsonDocument::fromVariant(figures).toJson(QJsonDocument::Indented);
        if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit()) {
            *m_out << "CANNOT LOAD: cannot write " << m_options.jsonPath() << ": " << file.errorString() << '\n';
            m_out->flush();
            m_reportFailed = true;
        }
    }
}

void LoadRun::stop(int exitCode, const QString &problem)
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_exitCode = exitCode;
    m_progress->stop();
    if (!problem.isEmpty()) {
        *m_out << "CANNOT LOAD: " << problem << '\n';
        m_out->flush();
    }
    for (Terminal &terminal : m_terminals) {
        terminal.wait->stop();
        if (terminal.bus && terminal.bus->client()->state() != StompClient::UnconnectedState) {
            ++m_closing;
            terminal.bus->close();
        }
    }
    if (m_pipe)
        m_pipe->kill();
    if (m_closing == 0)
        QTimer::singleShot(0, this, [this] { emit finished(m_exitCode); });
}
