#include "answerwatch.h"

#include "checkservice.h"

#include <QtCore/QByteArray>

AnswerWatch::AnswerWatch(int waitMilliseconds, QObject *parent)
    : QObject(parent)
    , m_wait(waitMilliseconds)
{
    m_clock.start();
}

void AnswerWatch::beginDialogue(const QString &name, const Provider &provider)
{
    m_dialogue = name;
    m_provider = provider;
    m_firstParameters.clear();
    m_order.clear();
}

int AnswerWatch::unanswered() const
{
    int count = 0;
    for (const QString &uid : m_order) {
        const Sent &request = m_requests[uid];
        count += request.answers == 0 && !request.lost ? 1 : 0;
    }
    return count;
}

int AnswerWatch::millisecondsToWait() const
{
    qint64 last = -1;
    for (const QString &uid : m_order) {
        const Sent &request = m_requests[uid];
        if (request.answers == 0 && !request.lost)
            last = qMax(last, request.sentAt);
    }
    return last < 0 ? 0 : int(qMax<qint64>(0, last + m_wait - m_clock.elapsed()));
}

void AnswerWatch::closeDialogue()
{
    if (!m_order.isEmpty())
        m_met.insert(QStringLiteral("answer-in-time"));
    for (const QString &uid : qAsConst(m_order)) {
        Sent &request = m_requests[uid];
        if (request.answers > 0 || request.lost)
            continue;
        request.lost = true;
        AnswerRules::Violation lost = AnswerRules::violation(QStringLiteral("answer-in-time"), QString(), QVariant());
        lost.value = QStringLiteral("no answer within %1").arg(seconds(m_clock.elapsed() - request.sentAt));
        report(lost, &request);
    }
    m_order.clear();
}

void AnswerWatch::abandonDialogue()
{
    for (const QString &uid : qAsConst(m_order)) {
        Sent &request = m_requests[uid];
        if (request.answers == 0)
            request.lost = true;
    }
    m_order.clear();
}

void AnswerWatch::send(const QVariantMap &request)
{
    const CheckService::Request read = CheckService::readRequest(request);
    Sent sent;
    sent.uid = read.uid;
    sent.messageType = read.messageType;
    sent.step = read.step;
    sent.sentAt = m_clock.elapsed();
    sent.number = ++m_sent;
    sent.dialogue = m_dialogue;
    m_requests.insert(sent.uid, sent);
    m_order.append(sent.uid);
    if (sent.step == 1 || sent.step == 2)
        ++m_sentOfStep[sent.step - 1];
    emit requestOut(request);
}

void AnswerWatch::takeAnswer(const QVariantMap &answer)
{
    ++m_answers;
    for (const char *rule : {"answer-json", "answer-once", "answer-in-time", "answer-solicited"})
        m_met.insert(QLatin1String(rule));
    const QString uid = answer.value(QStringLiteral("message")).toMap().value(QStringLiteral("uid")).toString();
    Sent *request = m_requests.contains(uid) ? &m_requests[uid] : nullptr;
    if (!request) {
        // An answer whose uid matches nothing is taken for the answer to the request waiting
        // for one: a service that garbles uids answers, just not recognisably.
        for (int i = m_order.size() - 1; i >= 0 && !request; --i) {
            Sent &candidate = m_requests[m_order.at(i)];
            if (candidate.answers == 0 && !candidate.lost)
                request = &candidate;
        }
    }
    if (!request) {
        report(AnswerRules::violation(QStringLiteral("answer-solicited"), QStringLiteral("message.uid"),
                                      answer.value(QStringLiteral("message")).toMap().value(QStringLiteral("uid"))),
               nullptr);
        emit messageReceived(answer);
        return;
    }
    if (request->answers++ > 0 || request->lost) {
        if (!request->lost) {
            AnswerRules::Violation again = AnswerRules::violation(QStringLiteral("answer-once"), QString(), QVariant());
            again.value = QStringLiteral("answer number %1").arg(request->answers);
            report(again, request);
        }
        emit messageReceived(answer);
        return;
    }
    if (request->step == 1 || request->step == 2)
        ++m_answeredOfStep[request->step - 1];
    const qint64 latency = m_clock.elapsed() - request->sentAt;
    if (latency > m_wait) {
        AnswerRules::Violation late = AnswerRules::violation(QStringLiteral("answer-in-time"), QString(), QVariant());
        late.value = QStringLiteral("%1 after the request").arg(seconds(latency));
        report(late, request);
    }
    AnswerRules::Expectation expectation;
    expectation.uid = request->uid;
    expectation.messageType = request->messageType;
    expectation.step = request->step;
    expectation.providerId = m_provider.id;
    expectation.baseProviderId = m_provider.baseId;
    expectation.providerParameters = m_provider.parameters;
    expectation.firstParameters = m_firstParameters;
    const QList<AnswerRules::Violation> found = AnswerRules::check(answer, expectation, &m_met);
    for (const AnswerRules::Violation &violation : found)
        report(violation, request);
    if (request->step == 1 && request->dialogue == m_dialogue && AnswerRules::isSuccess(answer)) {
        m_firstParameters = answer.value(QStringLiteral("message")).toMap().value(QStringLiteral("params"))
                                .toMap().value(QStringLiteral("payParamList")).toList();
    }
    emit messageReceived(answer);
}

void AnswerWatch::takeUnreadable(const QByteArray &line)
{
    ++m_answers;
    m_met.insert(QStringLiteral("answer-json"));
    AnswerRules::Violation unreadable = AnswerRules::violation(QStringLiteral("answer-json"), QString(), QVariant());
    unreadable.value = QString::fromUtf8(line.left(200));
    report(unreadable, nullptr);
}

QString AnswerWatch::seconds(qint64 milliseconds) const
{
    // The rule speaks of the terminal's 60 s: a scaled run gives that time beside the real one.
    const QString real = QStringLiteral("%1 s").arg(milliseconds / 1000.0, 0, 'f', 2);
    if (m_timeScale == 1.0)
        return real;
    return QStringLiteral("%1 s of the terminal's time (%2 real at time scale %3)")
        .arg(milliseconds / 1000.0 / m_timeScale, 0, 'f', 1).arg(real).arg(m_timeScale);
}

QString AnswerWatch::describe(const Sent &request) const
{
    return QStringLiteral("request %1 (step %2, uid %3)").arg(request.number).arg(request.step).arg(request.uid);
}

void AnswerWatch::report(AnswerRules::Violation violation, const Sent *request)
{
    violation.dialogue = request ? request->dialogue : m_dialogue;
    violation.request = request ? describe(*request) : QStringLiteral("no request");
    if (violation.isNote)
        emit noted(violation);
    else
        emit violated(violation);
}
