#include "checkservicebehaviour.h"

#include <QtCore/QStringList>

namespace {

struct KindName
{
    CheckServiceBehaviour::AnswerKind kind;
    const char *name;
};

const KindName KindNames[] = {
    {CheckServiceBehaviour::AnswerKind::Normal, "normal"},
    {CheckServiceBehaviour::AnswerKind::ResultError, "resultError"},
    {CheckServiceBehaviour::AnswerKind::Error, "error"},
    {CheckServiceBehaviour::AnswerKind::StepError, "stepError"},
    {CheckServiceBehaviour::AnswerKind::Incomplete, "incomplete"},
    {CheckServiceBehaviour::AnswerKind::None, "none"},
};

} // namespace

const CheckServiceBehaviour::Rule *CheckServiceBehaviour::ruleFor(int requestNumber) const
{
    for (const Rule &rule : rules) {
        if (rule.request == requestNumber)
            return &rule;
    }
    return nullptr;
}

QString CheckServiceBehaviour::kindName(AnswerKind kind)
{
    for (const KindName &entry : KindNames) {
        if (entry.kind == kind)
            return QLatin1String(entry.name);
    }
    return QString();
}

bool CheckServiceBehaviour::kindFromName(const QString &name, AnswerKind *kind)
{
    for (const KindName &entry : KindNames) {
        if (name == QLatin1String(entry.name)) {
            *kind = entry.kind;
            return true;
        }
    }
    return false;
}

QStringList CheckServiceBehaviour::kindNames()
{
    QStringList names;
    for (const KindName &entry : KindNames)
        names.append(QLatin1String(entry.name));
    return names;
}
