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
    {CheckServiceBehaviour::AnswerKind::Recorded, "recorded"},
};

struct FaultName
{
    CheckServiceBehaviour::Fault fault;
    const char *name;
    const char *description;
};

const FaultName FaultNames[] = {
    {CheckServiceBehaviour::Fault::WrongUid, "wrong-uid", "answers with a uid that is not the request's"},
    {CheckServiceBehaviour::Fault::NoMessageType, "no-message-type", "leaves \"msgType\" out of every answer"},
    {CheckServiceBehaviour::Fault::TextResult, "text-result", "sends \"result\" as text (\"0\"), which the terminal reads as 0: the checker notes it"},
    {CheckServiceBehaviour::Fault::ParameterMap, "parameter-map", "sends \"payParamList\" as a map keyed by name"},
    {CheckServiceBehaviour::Fault::Twice, "twice", "sends every answer twice"},
    {CheckServiceBehaviour::Fault::Late, "late", "answers 90 s after the request, when the terminal's 60 s wait is over"},
    {CheckServiceBehaviour::Fault::NothingToAsk, "nothing-to-ask", "completes the first step asking for nothing"},
    {CheckServiceBehaviour::Fault::NoPassport, "no-passport", "never sends the passport's series and number"},
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

QString CheckServiceBehaviour::faultName(Fault fault)
{
    for (const FaultName &entry : FaultNames) {
        if (entry.fault == fault)
            return QLatin1String(entry.name);
    }
    return QStringLiteral("none");
}

bool CheckServiceBehaviour::faultFromName(const QString &name, Fault *fault)
{
    for (const FaultName &entry : FaultNames) {
        if (name == QLatin1String(entry.name)) {
            *fault = entry.fault;
            return true;
        }
    }
    return false;
}

QList<QPair<QString, QString>> CheckServiceBehaviour::faultDescriptions()
{
    QList<QPair<QString, QString>> list;
    for (const FaultName &entry : FaultNames)
        list.append(qMakePair(QString::fromLatin1(entry.name), QString::fromUtf8(entry.description)));
    return list;
}
