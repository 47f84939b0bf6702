#include "answerwalker.h"

#include "providerparameter.h"
#include "tavrincheckanswer.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Keeps the compiler from dropping reads whose result is not otherwise used.
volatile unsigned g_sink;

void touch(const QString &text)
{
    g_sink = g_sink + unsigned(text.size())
             + (text.isEmpty() ? 0u : text.at(text.size() - 1).unicode());
}

} // namespace

void AnswerWalker::check(bool condition, const char *what)
{
    if (condition)
        return;
    std::fprintf(stderr, "answer walker: %s\n", what);
    std::abort();
}

void AnswerWalker::walk(const QVariantMap &answerMap)
{
    const TavrinCheckAnswer answer(answerMap);
    const TavrinCheckAnswer copy = answer;

    touch(copy.msgType());
    touch(copy.uid());
    touch(copy.description());
    touch(copy.stepStatusDescription());
    g_sink = g_sink + unsigned(copy.result()) + unsigned(copy.currentStep()) + copy.error()
             + copy.isStepComplete() + copy.isStepError();
    check(copy.description() == copy.description().trimmed(), "description not trimmed");

    const QVariantMap step =
        answerMap.value(QStringLiteral("message")).toMap().value(QStringLiteral("params")).toMap();
    if (!answerMap.contains(QStringLiteral("message"))) {
        check(copy.error() && copy.result() == -1 && copy.currentStep() == -1,
              "an answer without a body must read as a failure");
    }
    walkList(copy.payParamsList(), step.value(QStringLiteral("payParamList")), 0);
}

void AnswerWalker::walkParameterMap(const QVariantMap &parameter)
{
    walkParameter(TavrinPayParameter(parameter), parameter, 0);
}

void AnswerWalker::walkList(const QList<TavrinPayParameter> &parameters, const QVariant &source,
                            int depth)
{
    // A text is no list to the records, although Qt 6 converts it to the list of its characters.
    const int type = source.userType();
    const bool isText = type == QMetaType::QString || type == QMetaType::QByteArray;
    const QVariantList entries = source.isValid() && !isText ? source.toList() : QVariantList();
    if (depth > TavrinPayParameter::MAX_NESTING_DEPTH) {
        check(parameters.isEmpty(), "entries kept below the nesting bound");
        return;
    }
    check(parameters.size() == entries.size(), "entries of a list lost or invented");
    for (int i = 0; i < parameters.size(); ++i)
        walkParameter(parameters.at(i), entries.at(i).toMap(), depth);
}

void AnswerWalker::walkParameter(const TavrinPayParameter &parameter, const QVariantMap &source,
                                 int depth)
{
    TavrinPayParameter copy(parameter);
    g_sink = g_sink + unsigned(copy.isEditable()) + unsigned(copy.isVisible());
    touch(copy.name());
    touch(copy.title());
    touch(copy.type());
    touch(copy.mask());
    touch(copy.regexp());
    touch(copy.value().toString());
    check(copy.regexp() != QLatin1String("\\*"), "the wildcard pattern survived");

    const QVariantMap::const_iterator value = source.constFind(QStringLiteral("value"));
    if (value == source.constEnd())
        check(!copy.value().isValid(), "a value appeared from nowhere");
    else
        check(copy.value().userType() == value.value().userType(), "a value changed its type");

    // The setters write what they are given and nothing else.
    copy.setMask(QStringLiteral("9999"));
    copy.setValue(QVariant(copy.name()));
    check(copy.mask() == QLatin1String("9999") && copy.name() == parameter.name(),
          "a setter changed another member");

    // The same fields through the host's parameter: the wildcard rule holds there too.
    ProviderParameter hostParameter(parameter.name(), parameter.title(),
                                    parameter.value().toString());
    hostParameter.setRegExp(source.value(QStringLiteral("regexp")).toString());
    hostParameter.setMask(parameter.mask());
    const TavrinPayParameter fromHost(hostParameter);
    check(fromHost.regexp() != QLatin1String("\\*"), "the wildcard pattern survived the host");
    check(fromHost.name() == parameter.name(), "the host parameter lost its name");

    walkList(parameter.paramList(), source.value(QStringLiteral("paramList")), depth + 1);
}
