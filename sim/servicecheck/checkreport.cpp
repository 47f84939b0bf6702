#include "checkreport.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QMap>
#include <QtCore/QSaveFile>
#include <QtCore/QTextStream>
#include <QtCore/QXmlStreamWriter>

namespace {

bool save(const QString &path, const QByteArray &content, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QString where(const AnswerRules::Violation &violation)
{
    return violation.path.isEmpty() ? violation.value : violation.path + QStringLiteral(" = ") + violation.value;
}

} // namespace

QString CheckReport::line(const AnswerRules::Violation &violation)
{
    return QStringLiteral("%1 %2: %3 In %4, %5: %6")
        .arg(violation.isNote ? QStringLiteral("NOTE") : QStringLiteral("VIOLATION"), violation.rule,
             violation.isNote ? violation.sentence + QLatin1Char('.') : violation.sentence,
             violation.dialogue, violation.request, where(violation));
}

int CheckReport::reachedEndCount() const
{
    int count = 0;
    for (const Dialogue &dialogue : m_dialogues)
        count += dialogue.reachedEnd() ? 1 : 0;
    return count;
}

bool CheckReport::passed() const
{
    return m_violations.isEmpty() && (!m_requireComplete || reachedEndCount() == m_dialogues.size());
}

QString CheckReport::verdict() const
{
    int sent[2] = {0, 0};
    int answered[2] = {0, 0};
    for (const Dialogue &dialogue : m_dialogues) {
        for (int step = 0; step < 2; ++step) {
            sent[step] += dialogue.sent[step];
            answered[step] += dialogue.answered[step];
        }
    }
    QStringList unmet;
    for (const AnswerRules::Rule &rule : AnswerRules::rules()) {
        if (!m_rulesMet.contains(rule.id))
            unmet.append(rule.id);
    }
    const int rules = AnswerRules::rules().size();
    QString coverage = QStringLiteral("%1 of %2 dialogues reached their end; step 1: %3 request(s) sent, %4 answered; "
                                      "step 2: %5 sent, %6 answered; %7 of %8 rules met an answer")
                           .arg(reachedEndCount()).arg(m_dialogues.size()).arg(sent[0]).arg(answered[0])
                           .arg(sent[1]).arg(answered[1]).arg(rules - unmet.size()).arg(rules);
    if (!unmet.isEmpty())
        coverage += QStringLiteral(" (not met: %1)").arg(unmet.join(QStringLiteral(", ")));
    if (!m_violations.isEmpty()) {
        QMap<QString, int> byRule;
        for (const AnswerRules::Violation &violation : m_violations)
            ++byRule[violation.rule];
        QStringList counts;
        for (auto it = byRule.cbegin(); it != byRule.cend(); ++it)
            counts.append(QStringLiteral("%1 (%2)").arg(it.key()).arg(it.value()));
        return QStringLiteral("FAIL: %1 violation(s): %2; %3").arg(m_violations.size()).arg(counts.join(QLatin1Char(' ')), coverage);
    }
    const int incomplete = m_dialogues.size() - reachedEndCount();
    if (incomplete > 0 && m_requireComplete)
        return QStringLiteral("FAIL: %1 dialogue(s) did not reach their end (--require-complete); %2").arg(incomplete).arg(coverage);
    if (incomplete > 0)
        return QStringLiteral("PASS, INCOMPLETE: no answer broke a rule, but %1 dialogue(s) did not reach their end; %2")
            .arg(incomplete).arg(coverage);
    return QStringLiteral("PASS: no answer broke a rule; %1").arg(coverage);
}

void CheckReport::writeText(QTextStream &out) const
{
    for (const Dialogue &dialogue : m_dialogues) {
        out << "dialogue " << dialogue.scenario << ": "
            << (dialogue.end.isEmpty() ? QStringLiteral("did not end") : dialogue.end);
        if (!dialogue.end.isEmpty() && !dialogue.reachedEnd())
            out << " (the scenario plays to " << dialogue.expectedEnd << ')';
        out << ", " << dialogue.requests << " request(s), " << dialogue.answers << " answer(s), "
            << dialogue.violations << " violation(s), " << dialogue.notes << " note(s)";
        if (!dialogue.note.isEmpty())
            out << " (" << dialogue.note << ')';
        if (!dialogue.recording.isEmpty())
            out << ", recorded in " << dialogue.recording;
        out << '\n';
        if (!dialogue.replay.isEmpty())
            out << "  replay offline: " << dialogue.replay << '\n';
    }
    for (const AnswerRules::Violation &note : m_notes)
        out << "  " << line(note) << '\n';
    for (const AnswerRules::Violation &violation : m_violations)
        out << "  " << line(violation) << '\n';
    out << verdict() << '\n';
    out.flush();
}

QVariantMap CheckReport::toVariant() const
{
    const auto findings = [](const QList<AnswerRules::Violation> &list) {
        QVariantList entries;
        for (const AnswerRules::Violation &violation : list) {
            entries.append(QVariantMap{{QStringLiteral("rule"), violation.rule},
                                       {QStringLiteral("sentence"), violation.sentence},
                                       {QStringLiteral("dialogue"), violation.dialogue},
                                       {QStringLiteral("request"), violation.request},
                                       {QStringLiteral("path"), violation.path},
                                       {QStringLiteral("value"), violation.value}});
        }
        return entries;
    };
    QVariantList dialogues;
    for (const Dialogue &dialogue : m_dialogues) {
        dialogues.append(QVariantMap{{QStringLiteral("scenario"), dialogue.scenario},
                                     {QStringLiteral("expectedEnd"), dialogue.expectedEnd},
                                     {QStringLiteral("end"), dialogue.end.isEmpty() ? QVariant() : QVariant(dialogue.end)},
                                     {QStringLiteral("reachedEnd"), dialogue.reachedEnd()},
                                     {QStringLiteral("note"), dialogue.note},
                                     {QStringLiteral("requests"), dialogue.requests},
                                     {QStringLiteral("answers"), dialogue.answers},
                                     {QStringLiteral("step1"), QVariantMap{{QStringLiteral("sent"), dialogue.sent[0]},
                                                                          {QStringLiteral("answered"), dialogue.answered[0]}}},
                                     {QStringLiteral("step2"), QVariantMap{{QStringLiteral("sent"), dialogue.sent[1]},
                                                                          {QStringLiteral("answered"), dialogue.answered[1]}}},
                                     {QStringLiteral("violations"), dialogue.violations},
                                     {QStringLiteral("notes"), dialogue.notes},
                                     {QStringLiteral("recording"), dialogue.recording},
                                     {QStringLiteral("replay"), dialogue.replay}});
    }
    QVariantList rules;
    for (const AnswerRules::Rule &rule : AnswerRules::rules()) {
        rules.append(QVariantMap{{QStringLiteral("id"), rule.id}, {QStringLiteral("sentence"), rule.sentence},
                                 {QStringLiteral("met"), m_rulesMet.contains(rule.id)}});
    }
    return QVariantMap{{QStringLiteral("service"), m_service},
                       {QStringLiteral("verdict"), passed() ? QStringLiteral("pass") : QStringLiteral("fail")},
                       {QStringLiteral("summary"), verdict()},
                       {QStringLiteral("dialoguesReachedEnd"), reachedEndCount()},
                       {QStringLiteral("dialogues"), dialogues},
                       {QStringLiteral("violations"), findings(m_violations)},
                       {QStringLiteral("notes"), findings(m_notes)},
                       {QStringLiteral("rules"), rules}};
}

bool CheckReport::writeJson(const QString &path, QString *error) const
{
    return save(path, QJsonDocument::fromVariant(toVariant()).toJson(QJsonDocument::Indented), error);
}

bool CheckReport::writeJUnit(const QString &path, QString *error) const
{
    QByteArray xml;
    QXmlStreamWriter writer(&xml);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    int failures = 0;
    int skipped = 0;
    for (const Dialogue &dialogue : m_dialogues) {
        if (dialogue.violations > 0 || (m_requireComplete && !dialogue.reachedEnd()))
            ++failures;
        else if (!dialogue.reachedEnd())
            ++skipped;
    }
    writer.writeStartElement(QStringLiteral("testsuites"));
    writer.writeStartElement(QStringLiteral("testsuite"));
    writer.writeAttribute(QStringLiteral("name"), QStringLiteral("tavrin-servicecheck"));
    writer.writeAttribute(QStringLiteral("tests"), QString::number(m_dialogues.size()));
    writer.writeAttribute(QStringLiteral("failures"), QString::number(failures));
    writer.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    writer.writeAttribute(QStringLiteral("skipped"), QString::number(skipped));
    for (int i = 0; i < m_dialogues.size(); ++i) {
        const Dialogue &dialogue = m_dialogues.at(i);
        writer.writeStartElement(QStringLiteral("testcase"));
        writer.writeAttribute(QStringLiteral("classname"), QStringLiteral("servicecheck.%1").arg(dialogue.scenario));
        writer.writeAttribute(QStringLiteral("name"), QStringLiteral("%1 %2").arg(i + 1).arg(dialogue.scenario));
        for (int v = dialogue.firstViolation; v < dialogue.firstViolation + dialogue.violations && v < m_violations.size(); ++v) {
            const AnswerRules::Violation &violation = m_violations.at(v);
            writer.writeStartElement(QStringLiteral("failure"));
            writer.writeAttribute(QStringLiteral("type"), violation.rule);
            writer.writeAttribute(QStringLiteral("message"), QStringLiteral("%1: %2").arg(violation.rule, where(violation)));
            writer.writeCharacters(line(violation) + (dialogue.replay.isEmpty() ? QString()
                                                       : QStringLiteral("\nreplay offline: ") + dialogue.replay));
            writer.writeEndElement();
        }
        if (!dialogue.reachedEnd() && (m_requireComplete || dialogue.violations == 0)) {
            const QString why = dialogue.end.isEmpty()
                                    ? QStringLiteral("did not end: %1").arg(dialogue.note)
                                    : QStringLiteral("ended in %1, the scenario plays to %2").arg(dialogue.end, dialogue.expectedEnd);
            writer.writeStartElement(m_requireComplete ? QStringLiteral("failure") : QStringLiteral("skipped"));
            if (m_requireComplete)
                writer.writeAttribute(QStringLiteral("type"), QStringLiteral("incomplete"));
            writer.writeAttribute(QStringLiteral("message"), why);
            writer.writeEndElement();
        }
        QStringList out;
        for (int n = dialogue.firstNote; n < dialogue.firstNote + dialogue.notes && n < m_notes.size(); ++n)
            out.append(line(m_notes.at(n)));
        if (!out.isEmpty())
            writer.writeTextElement(QStringLiteral("system-out"), out.join(QLatin1Char('\n')));
        writer.writeEndElement();
    }
    writer.writeEndElement();
    writer.writeEndElement();
    writer.writeEndDocument();
    return save(path, xml, error);
}
