#include "answerrules.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QMap>
#include <QtCore/QRegularExpression>
#include <QtCore/QSet>

#include <cmath>
#include <limits>

namespace {

const int NestingBound = AnswerRules::NestingBound;
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

// How a value of a field stands against the field's own form: in it, in another form the
// plugin reads to the same value, or in neither.
enum class Form { Canonical, Equivalent, Wrong };

// A flag: true or false, or 1, 0, "true", "false", "1", "0", which the plugin reads alike.
Form flagForm(const QVariant &value)
{
    if (isBool(value))
        return Form::Canonical;
    if (isNumber(value))
        return value.toDouble() == 0 || value.toDouble() == 1 ? Form::Equivalent : Form::Wrong;
    static const QStringList flagTexts{QStringLiteral("true"), QStringLiteral("false"),
                                       QStringLiteral("1"), QStringLiteral("0")};
    return isString(value) && flagTexts.contains(value.toString()) ? Form::Equivalent : Form::Wrong;
}

// A whole number within 32 bits, or its decimal text.
Form intForm(const QVariant &value)
{
    if (isWholeInt(value))
        return Form::Canonical;
    static const QRegularExpression decimal(QStringLiteral("^-?[0-9]{1,10}$"));
    if (!isString(value) || !decimal.match(value.toString()).hasMatch())
        return Form::Wrong;
    bool ok = false;
    value.toString().toInt(&ok);
    return ok ? Form::Equivalent : Form::Wrong;
}

// Text, or a number or flag, which the plugin reads as its text.
Form textForm(const QVariant &value)
{
    if (isString(value))
        return Form::Canonical;
    return isNumber(value) || isBool(value) ? Form::Equivalent : Form::Wrong;
}

// The number the plugin reads from a result or a step: a value beyond 32 bits is held at the
// nearest bound, anything else read as QVariant reads it.
int boundedInt(const QVariant &value)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (ok && number != number)
        return 0;
    if (ok && number > double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (ok && number < double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return value.toInt();
}

QString kindOf(const QVariant &value)
{
    if (isString(value))
        return QStringLiteral("text");
    if (isBool(value))
        return QStringLiteral("true or false");
    if (value.isNull())
        return QStringLiteral("null");
    return QStringLiteral("a number");
}

// Whether the customer can type a value that fits the pattern and the mask on the numeric
// keypad. Only what can be shown is reported: a search that runs out says yes.
bool digitsCanFill(const QString &regexp, const QString &mask)
{
    const QString layout = mask.section(QLatin1Char(';'), 0, 0);
    bool literals = false;
    for (int i = 0; i < layout.size(); ++i) {
        const QChar c = layout.at(i);
        if (c == QLatin1Char('\\')) {
            ++i;
            literals = true;
        } else if (c == QLatin1Char('A')) {
            // A letter the mask requires: no digit is one.
            return false;
        } else if (!QStringLiteral("a9NnXx0DdHhBb#<>!").contains(c)) {
            literals = true;
        }
    }
    // The wildcard "\*" is no pattern to the plugin; a pattern the terminal cannot compile is
    // ignored; the mask's own characters are filled in for the customer, which this search
    // does not follow.
    if (regexp.isEmpty() || regexp == QLatin1String("\\*") || literals)
        return true;
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(regexp));
    if (!pattern.isValid())
        return true;
    // Digits the pattern does not name behave alike: try those it names and one other.
    QString digits;
    for (QChar c = QLatin1Char('0'); c <= QLatin1Char('9'); c = QChar(c.unicode() + 1)) {
        if (regexp.contains(c))
            digits.append(c);
    }
    for (QChar c = QLatin1Char('0'); c <= QLatin1Char('9'); c = QChar(c.unicode() + 1)) {
        if (!digits.contains(c)) {
            digits.append(c);
            break;
        }
    }
    int budget = 20000;
    QStringList open{QString()};
    while (!open.isEmpty()) {
        const QString typed = open.takeLast();
        if (--budget < 0)
            return true;
        const QRegularExpressionMatch match =
            pattern.match(typed, 0, QRegularExpression::PartialPreferCompleteMatch);
        if (match.hasMatch())
            return true;
        if ((typed.isEmpty() || match.hasPartialMatch()) && typed.size() < 64) {
            for (int i = digits.size() - 1; i >= 0; --i)
                open.append(typed + digits.at(i));
        }
    }
    return false;
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
        {QStringLiteral("digits-only"), QStringLiteral("An editable parameter can be filled on the terminal's numeric keypad: some string of digits fits its \"regexp\" and \"mask\".")},
        {QStringLiteral("completion-values"), QStringLiteral("The answer that completes the check, with the first answer, carries every value the provider's parameters are filled from.")},
        {QStringLiteral("answer-once"), QStringLiteral("A request is answered once.")},
        {QStringLiteral("answer-in-time"), QStringLiteral("A request is answered within the terminal's 60 s wait.")},
        {QStringLiteral("answer-solicited"), QStringLiteral("No answer comes for a request that was not sent.")},
        {QStringLiteral("service-alive"), QStringLiteral("The service keeps running until its requests are answered.")},
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

AnswerRules::Violation AnswerRules::note(const QString &id, const QString &path,
                                         const QVariant &value, const QVariant &reading)
{
    Violation found = violation(id, path, value);
    found.isNote = true;
    found.sentence = QStringLiteral("sent as %1; the plugin reads it as %2").arg(kindOf(value), shown(reading));
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
    return body.contains(QStringLiteral("result")) && boundedInt(body.value(QStringLiteral("result"))) == 0
           && body.contains(QStringLiteral("error")) && !body.value(QStringLiteral("error")).toBool()
           && !step.value(QStringLiteral("isError")).toBool();
}

bool AnswerRules::isComplete(const QVariantMap &answer)
{
    const QVariantMap step = answer.value(Message).toMap().value(QStringLiteral("params")).toMap();
    return step.value(QStringLiteral("isCompleted")).toBool();
}

bool AnswerRules::digitsFit(const QString &regexp, const QString &mask)
{
    return digitsCanFill(regexp, mask);
}

QList<AnswerRules::Violation> AnswerRules::check(const QVariantMap &answer,
                                                 const Expectation &expectation, QSet<QString> *met)
{
    QSet<QString> ignored;
    if (!met)
        met = &ignored;
    QList<Violation> found;
    met->insert(QStringLiteral("message-map"));
    const QVariant message = answer.value(Message);
    if (!isMap(message)) {
        found.append(violation(QStringLiteral("message-map"), Message, message));
        return found;
    }
    const QVariantMap body = message.toMap();
    const auto field = [&body](const QString &key) {
        return body.contains(key) ? body.value(key) : QVariant();
    };
    // A field in the form the plugin reads the same as the rule's passes with a note.
    const auto judge = [&found, met](const QString &rule, const QString &path, const QVariant &value,
                                     Form form, const QVariant &reading) {
        met->insert(rule);
        if (form == Form::Wrong)
            found.append(violation(rule, path, value));
        else if (form == Form::Equivalent)
            found.append(note(rule, path, value, reading));
    };

    for (const QString &key : {QStringLiteral("uid"), QStringLiteral("msgType")}) {
        const QVariant echo = field(key);
        const QString expected = key == QLatin1String("uid") ? expectation.uid : expectation.messageType;
        const QString rule = key == QLatin1String("uid") ? QStringLiteral("uid-echo") : QStringLiteral("type-echo");
        const bool same = echo.isValid() && !echo.isNull() && textForm(echo) != Form::Wrong
                          && echo.toString() == expected;
        judge(rule, Message + QLatin1Char('.') + key, echo,
              !same ? Form::Wrong : isString(echo) ? Form::Canonical : Form::Equivalent, echo.toString());
    }
    const QVariant error = field(QStringLiteral("error"));
    judge(QStringLiteral("error-flag"), QStringLiteral("message.error"), error, flagForm(error), error.toBool());
    const QVariant result = field(QStringLiteral("result"));
    judge(QStringLiteral("result-code"), QStringLiteral("message.result"), result, intForm(result), boundedInt(result));
    for (const QString &key : {QStringLiteral("description"), QStringLiteral("resultDescription")}) {
        if (body.contains(key))
            judge(QStringLiteral("text-field"), Message + QLatin1Char('.') + key, body.value(key),
                  textForm(body.value(key)), body.value(key).toString());
    }

    const bool success = isSuccess(answer);
    const QVariant params = field(QStringLiteral("params"));
    met->insert(QStringLiteral("params-map"));
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
        judge(QStringLiteral("step-flags"), Params + QLatin1Char('.') + key, flag, flagForm(flag), flag.toBool());
    }
    if (step.contains(QStringLiteral("statusDescription"))) {
        const QVariant text = step.value(QStringLiteral("statusDescription"));
        judge(QStringLiteral("text-field"), Params + QStringLiteral(".statusDescription"), text, textForm(text), text.toString());
    }
    const QVariant currentStep = step.contains(QStringLiteral("currentStep"))
                                     ? step.value(QStringLiteral("currentStep")) : QVariant();
    if (success) {
        const Form form = intForm(currentStep);
        judge(QStringLiteral("current-step"), Params + QStringLiteral(".currentStep"), currentStep,
              form != Form::Wrong && boundedInt(currentStep) == expectation.step ? form : Form::Wrong,
              boundedInt(currentStep));
    }

    QVariantList parameters;
    if (step.contains(QStringLiteral("payParamList"))) {
        const QVariant list = step.value(QStringLiteral("payParamList"));
        met->insert(QStringLiteral("param-list"));
        if (!isList(list)) {
            found.append(violation(QStringLiteral("param-list"), ParamList, list));
        } else {
            parameters = list.toList();
            for (int i = 0; i < parameters.size(); ++i)
                checkParameter(parameters.at(i), QStringLiteral("%1[%2]").arg(ParamList).arg(i), 0, true, &found, met);
        }
    }

    if (!success || !isComplete(answer))
        return found;
    if (expectation.step == 1) {
        met->insert(QStringLiteral("first-asks"));
        bool asks = false;
        for (int i = 0; i < parameters.size(); ++i) {
            const QVariantMap parameter = parameters.at(i).toMap();
            const bool editable = parameter.value(QStringLiteral("isEditable")).toBool();
            const bool choice = parameter.value(QStringLiteral("type")).toString() == EnumType;
            asks = asks || editable || choice;
            // The terminal asks the step's last parameter with the mask "9999", whatever the
            // service gave.
            const QString mask = i == parameters.size() - 1 ? QStringLiteral("9999")
                                                             : parameter.value(QStringLiteral("mask")).toString();
            if (editable && !choice)
                met->insert(QStringLiteral("digits-only"));
            if (editable && !choice && !digitsCanFill(parameter.value(QStringLiteral("regexp")).toString(), mask)) {
                const QString path = QStringLiteral("%1[%2]").arg(ParamList).arg(i);
                found.append(violation(QStringLiteral("digits-only"), path,
                                       QVariantMap{{QStringLiteral("regexp"), parameter.value(QStringLiteral("regexp"))},
                                                   {QStringLiteral("mask"), mask}}));
            }
        }
        if (!asks || boundedInt(currentStep) != 1)
            found.append(violation(QStringLiteral("first-asks"), ParamList, step.value(QStringLiteral("payParamList"))));
    } else {
        met->insert(QStringLiteral("completion-values"));
        checkCompletion(parameters, expectation, &found);
    }
    return found;
}

void AnswerRules::checkParameter(const QVariant &entry, const QString &path, int depth,
                                 bool topLevel, QList<Violation> *found, QSet<QString> *met)
{
    if (!isMap(entry)) {
        found->append(violation(QStringLiteral("param-list"), path, entry));
        return;
    }
    if (depth > 0)
        met->insert(QStringLiteral("nesting-depth"));
    if (depth > NestingBound) {
        found->append(violation(QStringLiteral("nesting-depth"), path, depth));
        return;
    }
    const QVariantMap parameter = entry.toMap();
    met->insert(QStringLiteral("param-fields"));
    const auto judge = [found, met](const QString &rule, const QString &where, const QVariant &value, Form form,
                                    const QVariant &reading) {
        met->insert(rule);
        if (form == Form::Wrong)
            found->append(violation(rule, where, value));
        else if (form == Form::Equivalent)
            found->append(note(rule, where, value, reading));
    };
    const QVariant name = parameter.contains(QStringLiteral("name")) ? parameter.value(QStringLiteral("name")) : QVariant();
    if (topLevel) {
        const Form form = textForm(name);
        judge(QStringLiteral("param-name"), path + QStringLiteral(".name"), name,
              form == Form::Wrong || name.toString().isEmpty() ? Form::Wrong : form, name.toString());
    }
    QStringList textKeys{QStringLiteral("title"), QStringLiteral("type"), QStringLiteral("regexp"), QStringLiteral("mask")};
    // A choice's details need no name, but one they give is read as text.
    if (!topLevel)
        textKeys.append(QStringLiteral("name"));
    for (const QString &key : qAsConst(textKeys)) {
        if (parameter.contains(key))
            judge(QStringLiteral("param-fields"), path + QLatin1Char('.') + key, parameter.value(key),
                  textForm(parameter.value(key)), parameter.value(key).toString());
    }
    for (const QString &key : {QStringLiteral("isEditable"), QStringLiteral("isVisible")}) {
        if (parameter.contains(key))
            judge(QStringLiteral("param-fields"), path + QLatin1Char('.') + key, parameter.value(key),
                  flagForm(parameter.value(key)), parameter.value(key).toBool());
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
    if (parameter.value(QStringLiteral("type")).toString() == EnumType)
        met->insert(QStringLiteral("enum-choices"));
    if (parameter.value(QStringLiteral("type")).toString() == EnumType && choices.isEmpty())
        found->append(violation(QStringLiteral("enum-choices"), path + QStringLiteral(".paramList"), nested));
    for (int i = 0; i < choices.size(); ++i)
        checkParameter(choices.at(i), QStringLiteral("%1.paramList[%2]").arg(path).arg(i), depth + 1, false, found, met);
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
