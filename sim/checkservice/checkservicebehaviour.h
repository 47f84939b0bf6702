#ifndef CHECKSERVICEBEHAVIOUR_H
#define CHECKSERVICEBEHAVIOUR_H

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QVariantList>

// How a simulated check service behaves: the customer it knows, the parameters it asks for and
// the values it returns, how fast it answers, and the requests that it answers otherwise than a
// healthy service would.
struct CheckServiceBehaviour
{
    enum class AnswerKind { Normal, ResultError, Error, StepError, Incomplete, None };

    // The answer to one request, picked by the request's number in order of arrival (the first
    // request is 1).
    struct Rule
    {
        int request = 0;
        AnswerKind answer = AnswerKind::Normal;
        int result = 1;
        QString description;
        QString statusDescription;
        // Seconds before the answer leaves; negative for the service's own delay.
        double delay = -1;
        // How many more times the same answer is delivered after the first.
        int duplicates = 0;
    };

    // Seconds between a request and its answer.
    double delay = 0.5;
    // The one number the service knows ("7" and ten digits); empty for any well-formed number.
    QString msisdn;
    // The code the service "sends by SMS" and expects back; empty accepts any code.
    QString smsCode;
    QString wrongCodeDescription = QStringLiteral("Неверный код подтверждения");
    // Parameter maps sent with the answer to the first step, as they go on the wire.
    QVariantList parameters;
    // Parameter maps sent with the answer that completes the check.
    QVariantList completion;
    QList<Rule> rules;

    // The rule for that request, or null when the service answers it on its own.
    const Rule *ruleFor(int requestNumber) const;

    static QString kindName(AnswerKind kind);
    static bool kindFromName(const QString &name, AnswerKind *kind);
    static QStringList kindNames();
};

#endif // CHECKSERVICEBEHAVIOUR_H
