#ifndef SCENARIO_H
#define SCENARIO_H

#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVariantMap>

#include "checkservicebehaviour.h"

class Provider;

// One play of the terminal simulator: the provider being paid, how the check service behaves,
// what the customer does on each screen, and how the dialogue must end.
struct Scenario
{
    // One payment parameter of the provider, as the terminal's provider list has it.
    struct ProviderParameter
    {
        QString name;
        QString label;
        QString regExp;
        QString mask;
        QString keyboard;
        QString value;
    };

    // One thing the customer does: on an input screen (named by its parameter) or on a message
    // with buttons.
    struct Input
    {
        enum class Kind { Text, Choose, Back, Message };
        enum class MessageAction { Ok, Yes, No, Wait };

        // Where the input stands in the file, for the customer's complaints.
        QString path;
        Kind kind = Kind::Text;
        QString screen;
        QString text;
        // Typed text that the screen must hold back from Next.
        bool refused = false;
        int choicePosition = -1;
        QString choiceLabel;
        MessageAction action = MessageAction::Ok;
        // What the screen or message must show before the customer acts: field to value. A text
        // that differs between languages is a map from language to text until chooseLanguage().
        QVariantMap expect;

        bool isMessage() const { return kind == Kind::Message; }
    };

    enum class End { Payment, Cancelled };

    QString name;
    QString description;
    unsigned int kovraId = 4242;

    qint64 providerId = 0;
    qint64 baseProviderId = 0;
    QString providerName;
    QList<ProviderParameter> parameters;

    CheckServiceBehaviour service;

    // Seconds the customer takes before each action.
    double customerDelay = 0.5;
    QList<Input> inputs;

    End expectedEnd = End::Payment;
    // Provider parameter name to the value it must hold at the end.
    QMap<QString, QString> expectedValues;
    // How many requests the service must have received; negative when not checked.
    int expectedRequests = -1;

    // The provider as the terminal's provider list would hand it to the plugin; the caller owns it.
    Provider *createProvider() const;
    // Keeps, of every text expected per language, the one in this language.
    void chooseLanguage(const QString &language);

    // The languages the terminal shows its texts in, the default first.
    static QStringList languages();

    static QString endName(End end);
    static QString actionName(Input::MessageAction action);
};

#endif // SCENARIO_H
