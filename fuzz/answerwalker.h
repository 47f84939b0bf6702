#ifndef ANSWERWALKER_H
#define ANSWERWALKER_H

#include <QtCore/QVariant>
#include <QtCore/QVariantMap>

class TavrinPayParameter;

// Reads an answer map into the records and reads every accessor of the answer and of each
// parameter in it, to any depth, checking what must hold whatever the service sent: nothing
// of the service's lists is lost above the nesting bound, nothing is kept below it, the
// wildcard pattern never survives and a value keeps the type it came with. Aborts on a
// breach, so that a fuzzer reports it as a crash.
class AnswerWalker
{
public:
    static void walk(const QVariantMap &answer);
    // One entry of an answer's parameter list, read on its own.
    static void walkParameterMap(const QVariantMap &parameter);

private:
    static void walkParameter(const TavrinPayParameter &parameter, const QVariantMap &source,
                              int depth);
    static void walkList(const QList<TavrinPayParameter> &parameters, const QVariant &source,
                         int depth);
    static void check(bool condition, const char *what);
};

#endif // ANSWERWALKER_H
