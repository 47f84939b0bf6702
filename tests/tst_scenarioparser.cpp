#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QRegularExpression>
#include <QtTest/QtTest>

#include "scenarioparser.h"

// Scenario files are written by hand: every mistake must be refused with the field named, and
// nothing of a refused file may reach the simulator.
class tst_ScenarioParser : public QObject
{
    Q_OBJECT

private slots:
    void readsAScenario();
    void refusesMistakes_data();
    void refusesMistakes();
};

namespace {

QJsonObject validScenario()
{
    const char *json = R"({
        "name": "sample",
        "provider": {"id": 71000454, "baseId": 454, "name": "Перевод",
                     "parameters": [{"name": "phone", "label": "Телефон", "regExp": "^9\\d{9}$", "keyboard": "number"}]},
        "service": {"delay": 0.25, "msisdn": "79161234567", "smsCode": "4827",
                    "parameters": [{"name": "surname", "value": "Иванова", "isEditable": false},
                                   {"name": "account", "type": "enum", "paramList": [
                                       {"name": "a", "paramList": [{"name": "addinfo", "title": "Note", "value": "x\r\ny"}]}]},
                                   {"name": "smscode", "title": "Код", "isEditable": true}],
                    "script": [{"request": 2, "answer": "stepError", "statusDescription": "Нет", "duplicates": 1}]},
        "customer": {"delay": 0.1, "inputs": [
            {"screen": "phone", "text": "9161234567", "expect": {"label": "Телефон"}},
            {"screen": "account", "choose": "Note: x, y"},
            {"screen": "smscode", "text": "12", "refused": true},
            {"screen": "smscode", "back": true},
            {"message": "wait", "expect": {"buttons": "ok", "timeout": 20,
                                           "okCaption": {"ru": "Продолжить", "en": "Continue"}}}]},
        "expected": {"end": "cancelled", "requests": 2, "providerValues": {"phone": "9161234567"}}
    })";
    return QJsonDocument::fromJson(json).object();
}

// Sets (or, with an undefined value, removes) the field at a path such as
// "customer.inputs[1].text".
QJsonValue changed(const QJsonValue &node, QStringList steps, const QJsonValue &value)
{
    if (steps.isEmpty())
        return value;
    const QString step = steps.takeFirst();
    if (node.isArray()) {
        QJsonArray array = node.toArray();
        while (array.size() <= step.toInt())
            array.append(QJsonObject());
        array.replace(step.toInt(), changed(array.at(step.toInt()), steps, value));
        return array;
    }
    QJsonObject object = node.toObject();
    const QJsonValue inner = changed(object.value(step), steps, value);
    if (inner.isUndefined())
        object.remove(step);
    else
        object.insert(step, inner);
    return object;
}

QByteArray withChange(const QString &path, const QJsonValue &value)
{
    const QStringList steps = path.split(QRegularExpression(QStringLiteral("[.\\[\\]]+")), Qt::SkipEmptyParts);
    return QJsonDocument(changed(validScenario(), steps, value).toObject()).toJson();
}

} // namespace

void tst_ScenarioParser::readsAScenario()
{
    // What the shipped scenarios, which ctest plays in every language, do not show.
    Scenario scenario;
    QString error;
    QVERIFY2(ScenarioParser::parse(QJsonDocument(validScenario()).toJson(), &scenario, &error),
             qPrintable(error));
    // Nested parameter maps go on the wire as written, line breaks included, nothing added.
    const QVariantMap detail = scenario.service.parameters.at(1).toMap().value("paramList").toList()
                                   .first().toMap().value("paramList").toList().first().toMap();
    QCOMPARE(detail.value("value").toString(), "x\r\ny");
    QVERIFY(!scenario.service.parameters.first().toMap().contains("title"));
    // The copies of an answer the service sends: the plugin drops them, so no play shows them.
    const CheckServiceBehaviour::Rule *rule = scenario.service.ruleFor(2);
    QVERIFY(rule);
    QCOMPARE(rule->duplicates, 1);
    // A failing play names the input.
    QCOMPARE(scenario.inputs.at(4).path, "customer.inputs[4]");
}

void tst_ScenarioParser::refusesMistakes_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error");

    const QJsonValue removed(QJsonValue::Undefined);
    QTest::newRow("missing provider id") << withChange("provider.id", removed) << "provider.id: missing";
    QTest::newRow("missing customer") << withChange("customer", removed) << "customer: missing";
    QTest::newRow("misspelt provider parameter field")
        << withChange("provider.parameters[0].lable", "x") << "provider.parameters[0].lable: unknown field";
    QTest::newRow("fractional provider id")
        << withChange("provider.id", 1.5) << "provider.id: expected a whole number";
    QTest::newRow("service delay too long for a timer")
        << withChange("service.delay", 214748370) << "service.delay: expected a number from 0 to 3600";
    QTest::newRow("answer delay too long for a timer")
        << withChange("service.script[0].delay", 1e300) << "service.script[0].delay: expected a number from 0";
    QTest::newRow("customer delay too long for a timer")
        << withChange("customer.delay", 3600.5) << "customer.delay: expected a number from 0 to 3600";
    QTest::newRow("known number without the leading 7")
        << withChange("service.msisdn", "89161234567") << "service.msisdn: expected \"7\" and ten digits";
    QTest::newRow("service parameter value as an object")
        << withChange("service.parameters[0].value", QJsonObject())
        << "service.parameters[0].value: expected a string, a number, true, false or null";
    QTest::newRow("misspelt field in a choice's detail")
        << withChange("service.parameters[1].paramList[0].paramList[0].titel", "x")
        << "service.parameters[1].paramList[0].paramList[0].titel: unknown field";
    QTest::newRow("unknown answer kind")
        << withChange("service.script[0].answer", "silence") << "service.script[0].answer: expected one of";
    QTest::newRow("result error with result 0")
        << withChange("service.script[0]", QJsonObject{{"request", 1}, {"answer", "resultError"}, {"result", 0}})
        << "service.script[0].result: a result error needs a result other than 0";
    QTest::newRow("recorded answer without the answer")
        << withChange("service.script[0]", QJsonObject{{"request", 1}, {"answer", "recorded"}, {"message", "{}"}})
        << "service.script[0].message: a recorded answer needs the answer as an object";
    QTest::newRow("message on an answer of its own kind")
        << withChange("service.script[0]", QJsonObject{{"request", 1}, {"answer", "none"}, {"message", QJsonObject()}})
        << "service.script[0].message: only a \"recorded\" answer carries a message";
    QTest::newRow("two rules for one request")
        << withChange("service.script[1]", QJsonObject{{"request", 2}, {"answer", "none"}})
        << "service.script[1].request: request 2 already has a rule";
    QTest::newRow("request number 0")
        << withChange("service.script[0].request", 0) << "service.script[0].request: expected a number from 1";
    QTest::newRow("input for a screen and a message")
        << withChange("customer.inputs[0].message", "ok") << "customer.inputs[0]: give either \"screen\"";
    QTest::newRow("screen input doing two things")
        << withChange("customer.inputs[0].back", true) << "customer.inputs[0]: give exactly one of";
    QTest::newRow("refused without a text")
        << withChange("customer.inputs[3].refused", true)
        << "customer.inputs[3].refused: only goes with \"text\"";
    QTest::newRow("choice given as true")
        << withChange("customer.inputs[1].choose", true) << "customer.inputs[1].choose: expected a position";
    QTest::newRow("unknown message action")
        << withChange("customer.inputs[4].message", "maybe")
        << "customer.inputs[4].message: expected one of \"ok\", \"yes\", \"no\", \"wait\"";
    QTest::newRow("message expectation on a screen")
        << withChange("customer.inputs[0].expect.text", "x")
        << "customer.inputs[0].expect.text: unknown field";
    QTest::newRow("message text in one language only")
        << withChange("customer.inputs[4].expect.text", QJsonObject{{"ru", "Ждите"}})
        << "customer.inputs[4].expect.text.en: missing";
    QTest::newRow("message text in a language the terminal does not offer")
        << withChange("customer.inputs[4].expect.okCaption.de", "Weiter")
        << "customer.inputs[4].expect.okCaption.de: unknown field (known here: en, ru)";
    QTest::newRow("message text as a number")
        << withChange("customer.inputs[4].expect.text", 5)
        << "customer.inputs[4].expect.text: expected a string, or an object with the text in each of \"ru\", \"en\"";
    QTest::newRow("unknown button set")
        << withChange("customer.inputs[4].expect.buttons", "cancel")
        << "customer.inputs[4].expect.buttons: expected one of";
    QTest::newRow("choice label not a string")
        << withChange("customer.inputs[1].expect.choices", QJsonArray{"a", 2})
        << "customer.inputs[1].expect.choices[1]: expected a string";
    QTest::newRow("unknown end")
        << withChange("expected.end", "paid") << "expected.end: expected \"payment\" or \"cancelled\"";
    QTest::newRow("provider value as a number")
        << withChange("expected.providerValues.phone", 9161234567.0)
        << "expected.providerValues.phone: expected a string";
    QTest::newRow("not JSON") << QByteArray("{\n  \"name\": \"x\",\n  oops\n}") << "not valid JSON at line 3";
    QTest::newRow("a list instead of an object") << QByteArray("[]") << "(top level): expected an object";
}

void tst_ScenarioParser::refusesMistakes()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    Scenario scenario;
    scenario.name = QStringLiteral("untouched");
    QString message;
    QVERIFY(!ScenarioParser::parse(json, &scenario, &message));
    QVERIFY2(message.startsWith(error), qPrintable(message));
    // A refused file leaves nothing behind.
    QCOMPARE(scenario.name, QStringLiteral("untouched"));
    QVERIFY(scenario.inputs.isEmpty());
}

QTEST_GUILESS_MAIN(tst_ScenarioParser)
#include "tst_scenarioparser.moc"
