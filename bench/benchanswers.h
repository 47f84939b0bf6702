#ifndef BENCHANSWERS_H
#define BENCHANSWERS_H

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QVariantList>
#include <QtCore/QVariantMap>

// The check service's side of the benchmarks: answers in its format, as the terminal's bus
// hands them over (decoded from their JSON text, so numbers arrive as doubles), and the request
// parameters the plugin sends.
class BenchAnswers
{
public:
    // What a first step usually asks: three names the service already knows, the passport
    // series to type, one account to pick (one choice described by three details) and the
    // confirmation code.
    static QVariantList typicalParameters();
    // count parameters made of the typical ones over and over, named apart.
    static QVariantList largeParameters(int count = 200);

    static QVariantMap firstStepAnswer(const QVariantList &parameters);
    // The completing answer, with the data the payment is made with.
    static QVariantMap secondStepAnswer();
    // The same answer, answering the request uid.
    static QVariantMap withUid(QVariantMap answer, const QString &uid);

    // The answer as the bus carries it, and as the host hands it over after decoding that.
    static QByteArray jsonText(const QVariantMap &answer);
    static QVariantMap decoded(const QVariantMap &answer);

    // The request parameters of a first step for the number 9001234567.
    static QVariantMap firstRequestParameters();

    // What the customer types for a parameter of that name; empty for a name not known here.
    static QString typedValue(const QString &name);
};

#endif // BENCHANSWERS_H
