#ifndef ANSWERRULES_H
#define ANSWERRULES_H

#include <QtCore/QList>
#include <QtCore/QSet>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVariant>
#include <QtCore/QVariantList>
#include <QtCore/QVariantMap>

// The rules a check service's answer must keep for the terminal's plugin to act on it: the
// shape and types of the answer map as the plugin reads it, and what a dialogue needs from its
// first and its completing answer. Each rule has a short id and a sentence; check() returns
// every rule one answer breaks, with the path in the answer and the value found there, and a
// note for each field given in another form that the plugin reads the same ("1" for 1).
class AnswerRules
{
public:
    // How deep "paramList" may nest below an entry of "payParamList": the terminal's plugin
    // leaves out what lies deeper.
    static const int NestingBound = 32;

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
        // Not broken: the field is in another form that the plugin reads the same; the
        // sentence says how it reads it.
        bool isNote = false;
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
    static Violation note(const QString &id, const QString &path, const QVariant &value,
                          const QVariant &reading);
    // The value as it stands in a report: JSON for maps and lists, quoted text for strings.
    static QString shown(const QVariant &value);

    // met, when given, gains the id of every rule the answer was judged by.
    static QList<Violation> check(const QVariantMap &answer, const Expectation &expectation,
                                  QSet<QString> *met = nullptr);

    // Whether the answer reports success (result 0, no error flags), as the plugin reads it.
    static bool isSuccess(const QVariantMap &answer);
    static bool isComplete(const QVariantMap &answer);
    // Whether some string of digits fits the pattern and the mask as the terminal applies them.
    static bool digitsFit(const QString &regexp, const QString &mask);

private:
    static void checkParameter(const QVariant &entry, const QString &path, int depth, bool topLevel,
                               QList<Violation> *found, QSet<QString> *met);
    static void checkCompletion(const QVariantList &parameters, const Expectation &expectation,
                                QList<Violation> *found);
};

#endif // ANSWERRULES_H
