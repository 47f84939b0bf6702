#ifndef SCENARIOPARSER_H
#define SCENARIOPARSER_H

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QVariantList>

#include "scenario.h"

class JsonObjectReader;

// Reads scenario files. A file with a mistake is refused as a whole, with a message that names
// the field ("customer.inputs[2].text: expected a string"); fields the format does not know are
// mistakes too.
class ScenarioParser
{
public:
    static bool parse(const QByteArray &json, Scenario *scenario, QString *error);
    static bool parseFile(const QString &path, Scenario *scenario, QString *error);

private:
    static void readProvider(JsonObjectReader &top, Scenario *scenario, QString *error);
    static void readService(JsonObjectReader &top, Scenario *scenario, QString *error);
    static void readRule(const QJsonValue &value, const QString &path,
                         CheckServiceBehaviour *service, QString *error);
    static QVariantList readWireParameters(const QJsonArray &list, const QString &path,
                                           QString *error);
    static void readCustomer(JsonObjectReader &top, Scenario *scenario, QString *error);
    static Scenario::Input readInput(const QJsonValue &value, const QString &path, QString *error);
    static QVariantMap readExpect(JsonObjectReader &input, bool forMessage, QString *error);
    // A text that the terminal shows differently in each language: language to text.
    static QVariantMap readTranslatedText(const QJsonValue &value, const QString &path, QString *error);
    static void readExpected(JsonObjectReader &top, Scenario *scenario, QString *error);
};

#endif // SCENARIOPARSER_H
