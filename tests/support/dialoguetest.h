#ifndef DIALOGUETEST_H
#define DIALOGUETEST_H

#include <QtCore/QObject>
#include <QtCore/QScopedPointer>
#include <QtCore/QString>
#include <QtCore/QVariantMap>

#include "dialoguedriver.h"

// What an event of a dialogue may change, counted: requests sent, messages and screens shown,
// payment details and cancellations asked for. Compared whole, a failure names the count that
// moved.
struct Effects
{
    int sent;
    int messages;
    int inputs;
    int payDetails;
    int cancels;

    bool operator==(const Effects &other) const;
};
char *toString(const Effects &effects);

// The base of the suites that play a dialogue: a fresh terminal around the plugin for each test
// function, the way to the first and the second request, and the parts of the service's
// answers.
class DialogueTest : public QObject
{
    Q_OBJECT

protected:
    static const QString DataError;
    static const QString MessageType;
    // The surname to enter and the SMS code: the second request's parameters on the usual road.
    static const QVariantList SurnameAndCode;

    static QString resultError(int result);
    static QVariantMap editable(const QString &name, const QString &title = QString());
    static QVariantMap fixed(const QString &name, const QVariant &value);
    static QVariantMap detail(const QString &name, const QString &title, const QString &value);
    static QVariantMap with(QVariantMap map, const QString &key, const QVariant &value);

    // The phone number typed on the first screen: one request sent.
    bool reachFirstRequest();
    // The first or the second request, the second with the usual parameters.
    bool reachRequest(int number) { return number == 1 ? reachFirstRequest() : reachSecondRequest(); }
    // The service asks for params (by default a surname and the code), the customer enters
    // each of texts: two requests sent.
    bool reachSecondRequest(const QVariantList &params = SurnameAndCode,
                            const QStringList &texts = {QStringLiteral("Петров"), QStringLiteral("1234")});
    Effects effects() const;
    QString lastShownName() const { return d->lastShownInput().parameter.name(); }

    QScopedPointer<DialogueDriver> d;

private slots:
    void init();
    void cleanup();
};

#endif // DIALOGUETEST_H
