#include "scenarioparser.h"

#include "checkservice.h"
#include "jsonobjectreader.h"

#include <QtCore/QFile>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonParseError>
#include <QtCore/QStringList>

#include <climits>

namespace {

const QStringList Actions = {QStringLiteral("ok"), QStringLiteral("yes"), QStringLiteral("no"),
                             QStringLiteral("wait")};
const QStringList ButtonSets = {QStringLiteral("none"), QStringLiteral("ok"),
                                QStringLiteral("yesno")};

// Seconds. An hour is more than any dialogue waits, and at the slowest time scale it still
// makes a timer Qt can schedule.
const double MaximumDelay = 3600;

// Line and column of a byte offset, for a syntax error in a hand-written file.
QString position(const QByteArray &json, int offset)
{
    const QByteArray before = json.left(offset);
    const int line = before.count('\n') + 1;
    const int column = offset - (before.lastIndexOf('\n') + 1) + 1;
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

QString quotedList(const QStringList &names)
{
    return QLatin1Char('"') + names.join(QStringLiteral("\", \"")) + QLatin1Char('"');
}

} // namespace

bool ScenarioParser::parseFile(const QString &path, Scenario *scenario, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    return parse(file.readAll(), scenario, error);
}

bool ScenarioParser::parse(const QByteArray &json, Scenario *scenario, QString *error)
{
    error->clear();
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("not valid JSON at %1: %2")
                     .arg(position(json, parseError.offset), parseError.errorString());
        return false;
    }

    Scenario read;
    JsonObjectReader top(document.isObject() ? QJsonValue(document.object()) : QJsonValue(),
                         QString(), error);
    read.name = top.requiredString(QStringLiteral("name"));
    read.description = top.string(QStringLiteral("description"));
    read.kovraId = unsigned(top.integer(QStringLiteral("kovraId"), read.kovraId, 0, 4294967295LL));
    readProvider(top, &read, error);
    readService(top, &read, error);
    readCustomer(top, &read, error);
    readExpected(top, &read, error);
    if (!top.finish())
        return false;
    *scenario = read;
    return true;
}

void ScenarioParser::readProvider(JsonObjectReader &top, Scenario *scenario, QString *error)
{
    const QJsonValue value = top.value(QStringLiteral("provider"));
    if (!top.ok())
        return;
    if (value.isUndefined()) {
        top.fail(top.fieldPath(QStringLiteral("provider")), QStringLiteral("missing"));
        return;
    }
    JsonObjectReader provider(value, QStringLiteral("provider"), error);
    scenario->providerId = provider.requiredInteger(QStringLiteral("id"), 1, Q_INT64_C(9007199254740991));
    scenario->baseProviderId = provider.integer(QStringLiteral("baseId"), 0, 0, Q_INT64_C(9007199254740991));
    scenario->providerName = provider.requiredString(QStringLiteral("name"));
    const QJsonArray parameters = provider.array(QStringLiteral("parameters"), true);
    for (int i = 0; i < parameters.size() && provider.ok(); ++i) {
        JsonObjectReader reader(parameters.at(i),
                                JsonObjectReader::elementPath(provider.fieldPath(QStringLiteral("parameters")), i),
                                error);
        Scenario::ProviderParameter parameter;
        parameter.name = reader.requiredString(QStringLiteral("name"));
        parameter.label = reader.string(QStringLiteral("label"));
        parameter.regExp = reader.string(QStringLiteral("regExp"));
        parameter.mask = reader.string(QStringLiteral("mask"));
        parameter.keyboard = reader.string(QStringLiteral("keyboard"));
        parameter.value = reader.string(QStringLiteral("value"));
        if (reader.finish())
            scenario->parameters.append(parameter);
    }
    provider.finish();
}

void ScenarioParser::readService(JsonObjectReader &top, Scenario *scenario, QString *error)
{
    const QJsonValue value = top.value(QStringLiteral("service"));
    if (!top.ok())
        return;
    if (value.isUndefined()) {
        top.fail(top.fieldPath(QStringLiteral("service")), QStringLiteral("missing"));
        return;
    }
    JsonObjectReader service(value, QStringLiteral("service"), error);
    CheckServiceBehaviour &behaviour = scenario->service;
    behaviour.delay = service.number(QStringLiteral("delay"), behaviour.delay, 0, MaximumDelay);
    behaviour.msisdn = service.string(QStringLiteral("msisdn"));
    if (service.ok() && !behaviour.msisdn.isEmpty() && !CheckService::isWellFormedMsisdn(behaviour.msisdn))
        service.fail(service.fieldPath(QStringLiteral("msisdn")),
                     QStringLiteral("expected \"7\" and ten digits"));
    behaviour.smsCode = service.string(QStringLiteral("smsCode"));
    behaviour.wrongCodeDescription =
        service.string(QStringLiteral("wrongCodeDescription"), behaviour.wrongCodeDescription);
    behaviour.parameters = readWireParameters(service.array(QStringLiteral("parameters"), false),
                                              service.fieldPath(QStringLiteral("parameters")), error);
    behaviour.completion = readWireParameters(service.array(QStringLiteral("completion"), false),
                                              service.fieldPath(QStringLiteral("completion")), error);
    const QJsonArray script = service.array(QStringLiteral("script"), false);
    for (int i = 0; i < script.size() && service.ok(); ++i)
        readRule(script.at(i), JsonObjectReader::elementPath(service.fieldPath(QStringLiteral("script")), i),
                 &behaviour, error);
    service.finish();
}

void ScenarioParser::readRule(const QJsonValue &value, const QString &path,
                              CheckServiceBehaviour *service, QString *error)
{
    using Kind = CheckServiceBehaviour::AnswerKind;
    JsonObjectReader reader(value, path, error);
    CheckServiceBehaviour::Rule rule;
    rule.request = int(reader.requiredInteger(QStringLiteral("request"), 1, 1000000));
    const QString answer = reader.requiredString(QStringLiteral("answer"));
    if (reader.ok() && !CheckServiceBehaviour::kindFromName(answer, &rule.answer))
        reader.fail(reader.fieldPath(QStringLiteral("answer")),
                    QStringLiteral("expected one of %1").arg(quotedList(CheckServiceBehaviour::kindNames())));
    rule.result = int(reader.integer(QStringLiteral("result"), rule.result, INT_MIN, INT_MAX));
    if (reader.ok() && rule.answer == Kind::ResultError && rule.result == 0)
        reader.fail(reader.fieldPath(QStringLiteral("result")),
                    QStringLiteral("a result error needs a result other than 0"));
    rule.description = reader.string(QStringLiteral("description"));
    rule.statusDescription = reader.string(QStringLiteral("statusDescription"));
    rule.delay = reader.number(QStringLiteral("delay"), -1, 0, MaximumDelay);
    rule.duplicates = int(reader.integer(QStringLiteral("duplicates"), 0, 0, 100));
    // A recorded answer goes out as it came, whatever its shape: that is what it is kept for.
    const QJsonValue message = reader.value(QStringLiteral("message"));
    if (reader.ok() && rule.answer == Kind::Recorded && !message.isObject())
        reader.fail(reader.fieldPath(QStringLiteral("message")),
                    QStringLiteral("a recorded answer needs the answer as an object"));
    else if (reader.ok() && rule.answer != Kind::Recorded && !message.isUndefined())
        reader.fail(reader.fieldPath(QStringLiteral("message")),
                    QStringLiteral("only a \"recorded\" answer carries a message"));
    rule.message = message.toObject().toVariantMap();
    rule.echoesUid = reader.boolean(QStringLiteral("echoesUid"), false);
    if (reader.ok() && service->ruleFor(rule.request))
        reader.fail(reader.fieldPath(QStringLiteral("request")),
                    QStringLiteral("request %1 already has a rule").arg(rule.request));
    if (reader.finish())
        service->rules.append(rule);
}

QVariantList ScenarioParser::readWireParameters(const QJsonArray &list, const QString &path,
                                                QString *error)
{
    QVariantList parameters;
    for (int i = 0; i < list.size() && error->isEmpty(); ++i) {
        JsonObjectReader reader(list.at(i), JsonObjectReader::elementPath(path, i), error);
        QVariantMap parameter;
        parameter.insert(QStringLiteral("name"), reader.requiredString(QStringLiteral("name")));
        for (const char *key : {"title", "type", "regexp", "mask"}) {
            const QString name = QLatin1String(key);
            if (reader.contains(name))
                parameter.insert(name, reader.string(name));
        }
        for (const char *key : {"isEditable", "isVisible"}) {
            const QString name = QLatin1String(key);
            if (reader.contains(name))
                parameter.insert(name, reader.boolean(name, false));
        }
        if (reader.contains(QStringLiteral("value"))) {
            const QJsonValue value = reader.value(QStringLiteral("value"));
            if (value.isArray() || value.isObject())
                reader.fail(reader.fieldPath(QStringLiteral("value")),
                            QStringLiteral("expected a string, a number, true, false or null"));
            parameter.insert(QStringLiteral("value"), value.toVariant());
        }
        if (reader.contains(QStringLiteral("paramList"))) {
            const QJsonArray nested = reader.array(QStringLiteral("paramList"), false);
            parameter.insert(QStringLiteral("paramList"),
                             readWireParameters(nested, reader.fieldPath(QStringLiteral("paramList")), error));
        }
        if (reader.finish())
            parameters.append(parameter);
    }
    return parameters;
}

void ScenarioParser::readCustomer(JsonObjectReader &top, Scenario *scenario, QString *error)
{
    const QJsonValue value = top.value(QStringLiteral("customer"));
    if (!top.ok())
        return;
    if (value.isUndefined()) {
        top.fail(top.fieldPath(QStringLiteral("customer")), QStringLiteral("missing"));
        return;
    }
    JsonObjectReader customer(value, QStringLiteral("customer"), error);
    scenario->customerDelay = customer.number(QStringLiteral("delay"), scenario->customerDelay, 0, MaximumDelay);
    const QJsonArray inputs = customer.array(QStringLiteral("inputs"), true);
    for (int i = 0; i < inputs.size() && customer.ok(); ++i) {
        const Scenario::Input input = readInput(
            inputs.at(i), JsonObjectReader::elementPath(customer.fieldPath(QStringLiteral("inputs")), i),
            error);
        if (error->isEmpty())
            scenario->inputs.append(input);
    }
    customer.finish();
}

Scenario::Input ScenarioParser::readInput(const QJsonValue &value, const QString &path, QString *error)
{
    using Input = Scenario::Input;
    Input input;
    input.path = path;
    JsonObjectReader reader(value, path, error);
    const bool onScreen = reader.contains(QStringLiteral("screen"));
    const bool onMessage = reader.contains(QStringLiteral("message"));
    if (reader.ok() && onScreen == onMessage) {
        reader.fail(path, QStringLiteral("give either \"screen\" (a parameter name) or \"message\""));
        return input;
    }

    if (onMessage) {
        input.kind = Input::Kind::Message;
        const QString action = reader.requiredString(QStringLiteral("message"));
        const int index = Actions.indexOf(action);
        if (reader.ok() && index < 0)
            reader.fail(reader.fieldPath(QStringLiteral("message")),
                        QStringLiteral("expected one of %1").arg(quotedList(Actions)));
        input.action = Input::MessageAction(qMax(0, index));
        input.expect = readExpect(reader, true, error);
        reader.finish();
        return input;
    }

    input.screen = reader.requiredString(QStringLiteral("screen"));
    const bool typed = reader.contains(QStringLiteral("text"));
    const bool chosen = reader.contains(QStringLiteral("choose"));
    const bool back = reader.contains(QStringLiteral("back"));
    if (reader.ok() && int(typed) + int(chosen) + int(back) != 1)
        reader.fail(path, QStringLiteral("give exactly one of \"text\", \"choose\" or \"back\""));
    if (typed) {
        input.kind = Input::Kind::Text;
        input.text = reader.requiredString(QStringLiteral("text"));
        input.refused = reader.boolean(QStringLiteral("refused"), false);
    } else if (reader.contains(QStringLiteral("refused")) && reader.ok()) {
        reader.fail(reader.fieldPath(QStringLiteral("refused")), QStringLiteral("only goes with \"text\""));
    }
    if (chosen) {
        input.kind = Input::Kind::Choose;
        const QJsonValue choice = reader.value(QStringLiteral("choose"));
        if (choice.isString())
            input.choiceLabel = choice.toString();
        else if (choice.isDouble())
            input.choicePosition = int(reader.integer(QStringLiteral("choose"), -1, 0, 100000));
        else
            reader.fail(reader.fieldPath(QStringLiteral("choose")),
                        QStringLiteral("expected a position (0 for the first choice) or a choice's label"));
    }
    if (back) {
        input.kind = Input::Kind::Back;
        if (!reader.boolean(QStringLiteral("back"), true) && reader.ok())
            reader.fail(reader.fieldPath(QStringLiteral("back")), QStringLiteral("expected true"));
    }
    input.expect = readExpect(reader, false, error);
    reader.finish();
    return input;
}

QVariantMap ScenarioParser::readExpect(JsonObjectReader &input, bool forMessage, QString *error)
{
    QVariantMap expect;
    if (!input.contains(QStringLiteral("expect")) || !input.ok())
        return expect;
    JsonObjectReader reader(input.value(QStringLiteral("expect")),
                            input.fieldPath(QStringLiteral("expect")), error);
    const QStringList texts = forMessage
        ? QStringList{QStringLiteral("text"), QStringLiteral("okCaption")}
        : QStringList{QStringLiteral("label"), QStringLiteral("mask"), QStringLiteral("regExp"),
                      QStringLiteral("keyboard"), QStringLiteral("value")};
    for (const QString &key : texts) {
        if (!reader.contains(key))
            continue;
        const QJsonValue text = reader.value(key);
        if (text.isObject())
            expect.insert(key, readTranslatedText(text, reader.fieldPath(key), error));
        else if (text.isString())
            expect.insert(key, text.toString());
        else if (reader.ok())
            reader.fail(reader.fieldPath(key),
                        QStringLiteral("expected a string, or an object with the text in each of %1")
                            .arg(quotedList(Scenario::languages())));
    }
    if (forMessage) {
        if (reader.contains(QStringLiteral("buttons"))) {
            const QString buttons = reader.string(QStringLiteral("buttons"));
            if (reader.ok() && !ButtonSets.contains(buttons))
                reader.fail(reader.fieldPath(QStringLiteral("buttons")),
                            QStringLiteral("expected one of %1").arg(quotedList(ButtonSets)));
            expect.insert(QStringLiteral("buttons"), buttons);
        }
        if (reader.contains(QStringLiteral("timeout")))
            expect.insert(QStringLiteral("timeout"),
                          reader.integer(QStringLiteral("timeout"), 0, 0, 32767));
    } else if (reader.contains(QStringLiteral("choices"))) {
        const QJsonArray choices = reader.array(QStringLiteral("choices"), false);
        QStringList labels;
        for (int i = 0; i < choices.size() && reader.ok(); ++i) {
            if (!choices.at(i).isString())
                reader.fail(JsonObjectReader::elementPath(reader.fieldPath(QStringLiteral("choices")), i),
                            QStringLiteral("expected a string"));
            labels.append(choices.at(i).toString());
        }
        expect.insert(QStringLiteral("choices"), labels);
    }
    reader.finish();
    return expect;
}

QVariantMap ScenarioParser::readTranslatedText(const QJsonValue &value, const QString &path, QString *error)
{
    JsonObjectReader reader(value, path, error);
    QVariantMap texts;
    for (const QString &language : Scenario::languages())
        texts.insert(language, reader.requiredString(language));
    reader.finish();
    return texts;
}

void ScenarioParser::readExpected(JsonObjectReader &top, Scenario *scenario, QString *error)
{
    const QJsonValue value = top.value(QStringLiteral("expected"));
    if (!top.ok())
        return;
    if (value.isUndefined()) {
        top.fail(top.fieldPath(QStringLiteral("expected")), QStringLiteral("missing"));
        return;
    }
    JsonObjectReader expected(value, QStringLiteral("expected"), error);
    const QString end = expected.requiredString(QStringLiteral("end"));
    if (end == Scenario::endName(Scenario::End::Payment))
        scenario->expectedEnd = Scenario::End::Payment;
    else if (end == Scenario::endName(Scenario::End::Cancelled))
        scenario->expectedEnd = Scenario::End::Cancelled;
    else if (expected.ok())
        expected.fail(expected.fieldPath(QStringLiteral("end")),
                      QStringLiteral("expected \"payment\" or \"cancelled\""));
    if (expected.contains(QStringLiteral("providerValues"))) {
        const QJsonValue values = expected.value(QStringLiteral("providerValues"));
        JsonObjectReader reader(values, expected.fieldPath(QStringLiteral("providerValues")), error);
        const QStringList names = values.toObject().keys();
        for (const QString &name : names)
            scenario->expectedValues.insert(name, reader.requiredString(name));
        reader.finish();
    }
    scenario->expectedRequests = int(expected.integer(QStringLiteral("requests"), -1, 0, 1000000));
    expected.finish();
}
