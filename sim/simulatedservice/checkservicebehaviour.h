#ifndef CHECKSERVICEBEHAVIOUR_H
#define CHECKSERVICEBEHAVIOUR_H

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QPair>
#include <QtCore/QVariantList>
#include <QtCore/QVariantMap>

// How a simulated check service behaves: the customer it knows, the parameters it asks for and
// the values it returns, how fast it answers, and the requests that it answers otherwise than a
// healthy service would.
struct CheckServiceBehaviour
{
    enum class AnswerKind { Normal, ResultError, Error, StepError, Incomplete, None, Recorded };

    // A way in which a faulty service breaks the answer format or the exchange rules, so that
    // a conformance check can be seen to catch it.
    enum class Fault {
        None,
        WrongUid,
        NoMessageType,
        TextResult,
        ParameterMap,
        Twice,
        Late,
        NothingToAsk,
        NoPassport,
    };

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
        // A recorded answer, sent as it came; with echoesUid its uid becomes the request's.
        QVariantMap message;
        bool echoesUid = false;
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

    static QString faultName(Fault fault);
    static bool faultFromName(const QString &name, Fault *fault);
    // Each fault's name with a sentence on what the service then does wrong.
    static QList<QPair<QString, QString>> faultDescriptions();
};

#endif // CHECKSERVICEBEHAVIOUR_H
