#include "answerrules.h"

#include "tavrincheckanswer.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QMap>
#include <QtCore/QSet>

#include <cmath>
#include <limits>

namespace {

// Entries nested deeper than the plugin reads are left out of the dialogue.
const int NestingBound = TavrinPayParameter::MAX_NESTING_DEPTH;
const QString EnumType = QStringLiteral("enum");

const QString Message = QStringLiteral("message");
const QString Params = QStringLiteral("message.params");
const QString ParamList = QStringLiteral("message.params.payParamList");

bool isBool(const QVariant &value)
{
    return value.userType() == QMetaType::Bool;
}

bool isNumber(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::Double:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

bool isWholeInt(const QVariant &value)
{
    if (!isNumber(value))
        return false;
    const double number = value.toDouble();
    return number == std::floor(number) && number >= double(std::numeric_limits<int>::min())
           && number <= double(std::numeric_limits<int>::max());
}

bool isString(const QVariant &value)
{
    return value.userType() == QMetaType::QString;
}

bool isMap(const QVariant &value)
{
    return value.userType() == QMetaType::QVariantMap;
}

bool isList(const QVariant &value)
{
    return value.userType() == QMetaType::QVariantList;
}

// The names of a provider's payment parameters, by base provider, to the service's parameter
// whose value fills them at the end of the check; "passport" joins series and number.
QMap<QString, QString> nameTable(qint64 providerId, qint64 baseProviderId)
{
    QMap<QString, QString> common{
        {QStringLiteral("fam"), QStringLiteral("surname")},
        {QStringLiteral("name"), QStringLiteral("name")},
        {QStringLiteral("fname"), QStringLiteral("patronymic")},
        {QStringLiteral("pas_ser"), QStringLiteral("ID_serie")},
        {QStringLiteral("pas_num"), QStringLiteral("ID_number")},
    };
    QMap<QString, QString> withCard = common;
    withCard.insert(QStringLiteral("org_code"), QStringLiteral("ID_whome"));
    withCard.insert(QStringLiteral("bdate"), QStringLiteral("birthday"));
    withCard.insert(QStringLiteral("pas_date"), QStringLiteral("ID_date"));
    // The card number is the one the customer typed at the terminal, not the service's.
    const auto forId = [&](qint64 id) {
        return id == 454 ? common : id == 3105 ? withCard : QMap<QString, QString>();
    };
    const QMap<QString, QString> table = forId(providerId);
    return table.isEmpty() ? forId(baseProviderId) : table;
}

} // namespace

const QList<AnswerRules::Rule> &AnswerRules::rules()
{
    static const QList<Rule> list{
        {QStringLiteral("answer-json"), QStringLiteral("An answer is one JSON object.")},
        {QStringLiteral("message-map"), QStringLiteral("The answer's \"message\" is a map.")},
        {QStringLiteral("uid-echo"), QStringLiteral("The answer's \"uid\" is the uid of the request it answers, as text.")},
        {QStringLiteral("type-echo"), QStringLiteral("The answer's \"msgType\" is the request's message type.")},
        {QStringLiteral("error-flag"), QStringLiteral("\"error\" is given, as true or false.")},
        {QStringLiteral("result-code"), QStringLiteral("\"result\" is given, as a whole number within 32 bits (0 for success).")},
        {QStringLiteral("text-field"), QStringLiteral("\"description\", \"resultDescription\" and \"statusDescription\" are text where given.")},
        {QStringLiteral("params-map"), QStringLiteral("\"params\" is a map, and a successful answer has one.")},
        {QStringLiteral("step-flags"), QStringLiteral("\"isCompleted\" and \"isError\" are given, as true or false.")},
        {QStringLiteral("current-step"), QStringLiteral("A successful answer's \"currentStep\" is the request's step, 1 or 2, as a number.")},
        {QStringLiteral("param-list"), QStringLiteral("\"payParamList\" and every \"paramList\" are lists of maps.")},
        {QStringLiteral("param-name"), QStringLiteral("Every entry of \"payParamList\" has a \"name\" that is not empty.")},
        {QStringLiteral("param-fields"), QStringLiteral("A parameter's \"title\", \"type\", \"regexp\" and \"mask\" are text, \"isEditable\" and \"isVisible\" true or false, \"value\" text, a number, true, false or null.")},
        {QStringLiteral("enum-choices"), QStringLiteral("An \"enum\" parameter has its choices in \"paramList\".")},
        {QStringLiteral("nesting-depth"), QStringLiteral("\"paramList\" nests at most %1 levels below an entry of \"payParamList\".").arg(NestingBound)},
        {QStringLiteral("first-asks"), QStringLiteral("The first answer of a dialogue fails, or completes step 1 asking for something the customer can enter or choose.")},
        {QStringLiteral("completion-values"), QStringLiteral("The answer that completes the check, with the first answer, carries every value the provider's parameters are filled from.")},
        {QStringLiteral("answer-once"), QStringLiteral("A request is answered once.")},
        {QStringLiteral("answer-in-time"), QStringLiteral("A request is answered within the terminal's 60 s wait.")},
        {QStringLiteral("answer-solicited"), QStringLiteral("No answer comes for a request that was not sent.")},
    };
    return list;
}

QString AnswerRules::sentence(const QString &id)
{
    for (const Rule &rule : rules()) {
        if (rule.id == id)
            return rule.sentence;
    }
    return QString();
}

AnswerRules::Violation AnswerRules::violation(const QString &id, const QString &path,
                                              const QVariant &value)
{
    Violation found;
    found.rule = id;
    found.sentence = sentence(id);
    found.path = path;
    found.value = shown(value);
    return found;
}

QString AnswerRules::shown(const QVariant &value)
{
    if (!value.isValid())
        return QStringLiteral("(absent)");
    if (value.isNull())
        return QStringLiteral("null");
    if (isMap(value) || isList(value)) {
        const QByteArray json = QJsonDocument::fromVariant(value).toJson(QJsonDocument::Compact);
        const QString text = QString::fromUtf8(json);
        return text.size() > 200 ? text.left(200) + QStringLiteral("...") : text;
    }
    if (isString(value))
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    return value.toString();
}

bool AnswerRules::isSuccess(const QVariantMap &answer)
{
    const QVariantMap body = answer.value(Message).toMap();
    const QVariantMap step = body.value(QStringLiteral("params")).toMap();
    return body.contains(QStringLiteral("result")) && body.value(QStringLiteral("result")).toInt() == 0
           && body.contains(QStringLiteral("error")) && !body.value(QStringLiteral("error")).toBool()
           && !step.value(QStringLiteral("isError")).toBool();
}

bool AnswerRules::isComplete(const QVariantMap &answer)
{
    const QVariantMap step = answer.value(Message).toMap().value(QStringLiteral("params")).toMap();
    return step.value(QStringLiteral("isCompleted")).toBool();
}

QList<AnswerRules::Violation> AnswerRules::check(const QVariantMap &answer,
                                                 const Expectation &expectation)
{
    QList<Violation> found;
    const QVariant message = answer.value(Message);
    if (!isMap(message)) {
        found.append(violation(QStringLiteral("message-map"), Message, message));
        return found;
    }
    const QVariantMap body = message.toMap();
    const auto field = [&body](const QString &key) {
        return body.contains(key) ? body.value(key) : QVariant();
    };

    const QVariant uid = field(QStringLiteral("uid"));
    if (!isString(uid) || uid.toString() != expectation.uid)
        found.append(violation(QStringLiteral("uid-echo"), QStringLiteral("message.uid"), uid));
    const QVariant type = field(QStringLiteral("msgType"));
    if (!isString(type) || type.toString() != expectation.messageType)
        found.append(violation(QStringLiteral("type-echo"), QStringLiteral("message.msgType"), type));
    const QVariant error = field(QStringLiteral("error"));
    if (!isBool(error))
        found.append(violation(QStringLiteral("error-flag"), QStringLiteral("message.error"), error));
    const QVariant result = field(QStringLiteral("result"));
    if (!isWholeInt(result))
        found.append(violation(QStringLiteral("result-code"), QStringLiteral("message.result"), result));
    for (const QString &key : {QStringLiteral("description"), QStringLiteral("resultDescription")}) {
        if (body.contains(key) && !isString(body.value(key)))
            found.append(violation(QStringLiteral("text-field"), Message + QLatin1Char('.') + key, body.value(key)));
    }

    const bool success = isSuccess(answer);
    const QVariant params = field(QStringLiteral("params"));
    if (!params.isValid()) {
        if (success)
            found.append(violation(QStringLiteral("params-map"), Params, params));
        return found;
    }
    if (!isMap(params)) {
        found.append(violation(QStringLiteral("params-map"), Params, params));
        return found;
    }
    const QVariantMap step = params.toMap();
    for (const QString &key : {QStringLiteral("isCompleted"), QStringLiteral("isError")}) {
        const QVariant flag = step.contains(key) ? step.value(key) : QVariant();
        if (!isBool(flag))
            found.append(violation(QStringLiteral("step-flags"), Params + QLatin1Char('.') + key, flag));
    }
    if (step.contains(QStringLiteral("statusDescription"))
        && !isString(step.value(QStringLiteral("statusDescription"))))
        found.append(violation(QStringLiteral("text-field"), Params + QStringLiteral(".statusDescription"),
                               step.value(QStringLiteral("statusDescription"))));
    const QVariant currentStep = step.contains(QStringLiteral("currentStep"))
                                     ? step.value(QStringLiteral("currentStep")) : QVariant();
    if (success && (!isNumber(currentStep) || currentStep.toDouble() != expectation.step))
        found.append(violation(QStringLiteral("current-step"), Params + QStringLiteral(".currentStep"), currentStep));

    QVariantList parameters;
    if (step.contains(QStringLiteral("payParamList"))) {
        const QVariant list = step.value(QStringLiteral("payParamList"));
        if (!isList(list)) {
            found.append(violation(QStringLiteral("param-list"), ParamList, list));
        } else {
            parameters = list.toList();
            for (int i = 0; i < parameters.size(); ++i)
                checkParameter(parameters.at(i), QStringLiteral("%1[%2]").arg(ParamList).arg(i), 0, true, &found);
        }
    }

    if (!success || !isComplete(answer))
        return found;
    if (expectation.step == 1) {
        bool asks = false;
        for (const QVariant &entry : parameters) {
            const QVariantMap parameter = entry.toMap();
            asks = asks || parameter.value(QStringLiteral("isEditable")).toBool()
                   || parameter.value(QStringLiteral("type")).toString() == EnumType;
        }
        if (!asks || currentStep.toInt() != 1)
            found.append(violation(QStringLiteral("first-asks"), ParamList, step.value(QStringLiteral("payParamList"))));
    } else {
        checkCompletion(parameters, expectation, &found);
    }
    return found;
}

void AnswerRules::checkParameter(const QVariant &entry, const QString &path, int depth,
                                 bool topLevel, QList<Violation> *found)
{
    if (!isMap(entry)) {
        found->append(violation(QStringLiteral("param-list"), path, entry));
        return;
    }
    if (depth > NestingBound) {
        found->append(violation(QStringLiteral("nesting-depth"), path, depth));
        return;
    }
    const QVariantMap parameter = entry.toMap();
    const QVariant name = parameter.contains(QStringLiteral("name")) ? parameter.value(QStringLiteral("name")) : QVariant();
    if (topLevel && (!isString(name) || name.toString().isEmpty()))
        found->append(violation(QStringLiteral("param-name"), path + QStringLiteral(".name"), name));
    QStringList textKeys{QStringLiteral("title"), QStringLiteral("type"), QStringLiteral("regexp"), QStringLiteral("mask")};
    // A choice's details need no name, but one they give is read as text.
    if (!topLevel)
        textKeys.append(QStringLiteral("name"));
    for (const QString &key : qAsConst(textKeys)) {
        if (parameter.contains(key) && !isString(parameter.value(key)))
            found->append(violation(QStringLiteral("param-fields"), path + QLatin1Char('.') + key, parameter.value(key)));
    }
    for (const QString &key : {QStringLiteral("isEditable"), QStringLiteral("isVisible")}) {
        if (parameter.contains(key) && !isBool(parameter.value(key)))
            found->append(violation(QStringLiteral("param-fields"), path + QLatin1Char('.') + key, parameter.value(key)));
    }
    const QVariant value = parameter.value(QStringLiteral("value"));
    if (parameter.contains(QStringLiteral("value")) && (isMap(value) || isList(value)))
        found->append(violation(QStringLiteral("param-fields"), path + QStringLiteral(".value"), value));

    const QVariant nested = parameter.contains(QStringLiteral("paramList")) ? parameter.value(QStringLiteral("paramList")) : QVariant();
    if (nested.isValid() && !nested.isNull() && !isList(nested)) {
        found->append(violation(QStringLiteral("param-list"), path + QStringLiteral(".paramList"), nested));
        return;
    }
    const QVariantList choices = nested.toList();
    if (parameter.value(QStringLiteral("type")).toString() == EnumType && choices.isEmpty())
        found->append(violation(QStringLiteral("enum-choices"), path + QStringLiteral(".paramList"), nested));
    for (int i = 0; i < choices.size(); ++i)
        checkParameter(choices.at(i), QStringLiteral("%1.paramList[%2]").arg(path).arg(i), depth + 1, false, found);
}

void AnswerRules::checkCompletion(const QVariantList &parameters, const Expectation &expectation,
                                  QList<Violation> *found)
{
    // The terminal fills the provider from the first answer's values and the completing
    // answer's, the later winning.
    // A value the customer enters or chooses comes from the terminal.
    QSet<QString> given;
    for (const QVariantList *list : {&expectation.firstParameters, &parameters}) {
        for (const QVariant &entry : *list) {
            const QVariantMap parameter = entry.toMap();
            const QVariant value = parameter.value(QStringLiteral("value"));
            const QString name = parameter.value(QStringLiteral("name")).toString();
            const bool entered = list == &expectation.firstParameters
                                 && (parameter.value(QStringLiteral("isEditable")).toBool()
                                     || parameter.value(QStringLiteral("type")).toString() == EnumType);
            if (entered || (!value.isNull() && !value.toString().isEmpty()))
                given.insert(name);
            else
                given.remove(name);
        }
    }
    const QMap<QString, QString> table = nameTable(expectation.providerId, expectation.baseProviderId);
    QStringList needed;
    for (const QString &providerName : expectation.providerParameters) {
        if (providerName == QLatin1String("passport") && !table.isEmpty()) {
            needed << table.value(QStringLiteral("pas_ser")) << table.value(QStringLiteral("pas_num"));
        } else if (table.contains(providerName)) {
            needed << table.value(providerName);
        }
    }
    needed.removeDuplicates();
    for (const QString &name : qAsConst(needed)) {
        if (given.contains(name))
            continue;
        Violation missing = violation(QStringLiteral("completion-values"), ParamList, QVariant());
        missing.value = QStringLiteral("no value for \"%1\"").arg(name);
        found->append(missing);
    }
}
