#ifndef ANSWERRULES_H
#define ANSWERRULES_H

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVariant>
#include <QtCore/QVariantList>
#include <QtCore/QVariantMap>

// The rules a check service's answer must keep for the terminal's plugin to act on it: the
// shape and types of the answer map as the plugin reads it, and what a dialogue needs from its
// first and its completing answer. Each rule has a short id and a sentence; check() returns
// every rule one answer breaks, with the path in the answer and the value found there.
class AnswerRules
{
public:
    struct Rule
    {
        QString id;
        QString sentence;
    };

    struct Violation
    {
        QString rule;
        QString sentence;
        // Which dialogue and which request the answer belongs to, in words.
        QString dialogue;
        QString request;
        // Where in the answer, dotted ("message.params.payParamList[2].name"); empty for the
        // exchange as a whole.
        QString path;
        QString value;
    };

    // What the answer is judged against: the request it answers and the dialogue so far.
    struct Expectation
    {
        QString uid;
        QString messageType;
        // The request's step: 1 asks what the service wants, 2 completes the check.
        int step = 1;
        qint64 providerId = 0;
        qint64 baseProviderId = 0;
        // The provider's payment parameters, by name.
        QStringList providerParameters;
        // The parameter maps of the dialogue's first answer, which the terminal keeps.
        QVariantList firstParameters;
    };

    static const QList<Rule> &rules();
    static QString sentence(const QString &id);
    static Violation violation(const QString &id, const QString &path, const QVariant &value);
    // The value as it stands in a report: JSON for maps and lists, quoted text for strings.
    static QString shown(const QVariant &value);

    static QList<Violation> check(const QVariantMap &answer, const Expectation &expectation);

    // Whether the answer reports success (result 0, no error flags), as the plugin reads it.
    static bool isSuccess(const QVariantMap &answer);
    static bool isComplete(const QVariantMap &answer);

private:
    static void checkParameter(const QVariant &entry, const QString &path, int depth, bool topLevel,
                               QList<Violation> *found);
    static void checkCompletion(const QVariantList &parameters, const Expectation &expectation,
                                QList<Violation> *found);
};

#endif // ANSWERRULES_H
