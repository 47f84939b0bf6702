#include "checkreport.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QMap>
#include <QtCore/QSaveFile>
#include <QtCore/QTextStream>

QString CheckReport::line(const AnswerRules::Violation &violation)
{
    QString where = violation.path.isEmpty() ? QString() : violation.path + QStringLiteral(" = ");
    return QStringLiteral("VIOLATION %1: %2 In %3, %4: %5%6")
        .arg(violation.rule, violation.sentence, violation.dialogue, violation.request, where, violation.value);
}

void CheckReport::writeText(QTextStream &out) const
{
    for (const Dialogue &dialogue : m_dialogues) {
        out << "dialogue " << dialogue.scenario << ": "
            << (dialogue.end.isEmpty() ? QStringLiteral("did not end") : dialogue.end)
            << ", " << dialogue.requests << " request(s), " << dialogue.answers << " answer(s), "
            << dialogue.violations << " violation(s)";
        if (!dialogue.note.isEmpty())
            out << " (" << dialogue.note << ')';
        if (!dialogue.recording.isEmpty())
            out << ", recorded in " << dialogue.recording;
        out << '\n';
    }
    QMap<QString, int> byRule;
    for (const AnswerRules::Violation &violation : m_violations)
        ++byRule[violation.rule];
    if (m_violations.isEmpty()) {
        out << "PASS: no answer broke a rule (" << AnswerRules::rules().size() << " rules checked)\n";
    } else {
        out << "FAIL: " << m_violations.size() << " violation(s):";
        for (auto it = byRule.cbegin(); it != byRule.cend(); ++it)
            out << ' ' << it.key() << " (" << it.value() << ')';
        out << '\n';
        for (const AnswerRules::Violation &violation : m_violations)
            out << "  " << line(violation) << '\n';
    }
    out.flush();
}

QVariantMap CheckReport::toVariant() const
{
    QVariantList dialogues;
    for (const Dialogue &dialogue : m_dialogues) {
        dialogues.append(QVariantMap{{QStringLiteral("scenario"), dialogue.scenario},
                                     {QStringLiteral("end"), dialogue.end.isEmpty() ? QVariant() : QVariant(dialogue.end)},
                                     {QStringLiteral("note"), dialogue.note},
                                     {QStringLiteral("requests"), dialogue.requests},
                                     {QStringLiteral("answers"), dialogue.answers},
                                     {QStringLiteral("violations"), dialogue.violations},
                                     {QStringLiteral("recording"), dialogue.recording}});
    }
    QVariantList violations;
    for (const AnswerRules::Violation &violation : m_violations) {
        violations.append(QVariantMap{{QStringLiteral("rule"), violation.rule},
                                      {QStringLiteral("sentence"), violation.sentence},
                                      {QStringLiteral("dialogue"), violation.dialogue},
                                      {QStringLiteral("request"), violation.request},
                                      {QStringLiteral("path"), violation.path},
                                      {QStringLiteral("value"), violation.value}});
    }
    QVariantList rules;
    for (const AnswerRules::Rule &rule : AnswerRules::rules())
        rules.append(QVariantMap{{QStringLiteral("id"), rule.id}, {QStringLiteral("sentence"), rule.sentence}});
    return QVariantMap{{QStringLiteral("service"), m_service},
                       {QStringLiteral("verdict"), m_violations.isEmpty() ? QStringLiteral("pass") : QStringLiteral("fail")},
                       {QStringLiteral("dialogues"), dialogues},
                       {QStringLiteral("violations"), violations},
                       {QStringLiteral("rules"), rules}};
}

bool CheckReport::writeJson(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    file.write(QJsonDocument::fromVariant(toVariant()).toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
