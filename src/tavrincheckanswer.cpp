#include "tavrincheckanswer.h"

#include "tavrinlog.h"

#include <QtCore/QJsonDocument>

#include <limits>

namespace {

// QVariant::toInt wraps a number outside the range of int: a result of 4294967296 would read
// as 0, a failure as a success, and -3e9 as a positive code. Such a number reads as the
// nearest int instead, keeping its sign; anything else reads as toInt() reads it.
int toBoundedInt(const QVariant &value)
{
    bool isNumber = false;
    const double number = value.toDouble(&isNumber);
    if (isNumber && number != number)
        return 0;
    if (isNumber && number > double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (isNumber && number < double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return value.toInt();
}

// A list of the service's, as QVariant converts it. Qt 6 also reads a text as the list of its
// characters, which would make "abc" three empty parameters; a text is no list on any Qt.
QVariantList listOf(const QVariant &value)
{
    const int type = value.userType();
    if (type == QMetaType::QString || type == QMetaType::QByteArray)
        return QVariantList();
    return value.toList();
}

// The containers the records read: the answer, its message, the step, its parameter list, and
// a parameter and its own list for every level of parameters.
const int MaxPrintedLevels = 4 + 2 * (TavrinPayParameter::MAX_NESTING_DEPTH + 1);

QVariant printedLevels(const QVariant &value, int level)
{
    const int type = value.userType();
    if (type != QMetaType::QVariantMap && type != QMetaType::QVariantHash
        && type != QMetaType::QVariantList)
        return value;
    if (level >= MaxPrintedLevels)
        return QVariant(TavrinCheckAnswer::ELIDED_MARKER);
    if (type == QMetaType::QVariantList) {
        const QVariantList list = value.toList();
        QVariantList printed;
        printed.reserve(list.size());
        for (QVariantList::const_iterator it = list.constBegin(); it != list.constEnd(); ++it)
            printed.append(printedLevels(*it, level + 1));
        return printed;
    }
    const QVariantMap map = value.toMap();
    QVariantMap printed;
    for (QVariantMap::const_iterator it = map.constBegin(); it != map.constEnd(); ++it)
        printed.insert(it.key(), printedLevels(it.value(), level + 1));
    return printed;
}

} // namespace

const QString TavrinCheckAnswer::ELIDED_MARKER = QStringLiteral("<deeper levels elided>");

QString TavrinCheckAnswer::debugText(const QVariantMap &map)
{
    const QVariant printed = printedLevels(QVariant(map), 0);
    return QString::fromUtf8(QJsonDocument::fromVariant(printed).toJson(QJsonDocument::Indented));
}

const QString TavrinPayParameter::TYPE_STRING = QStringLiteral("string");
const QString TavrinPayParameter::TYPE_ENUM = QStringLiteral("enum");

TavrinPayParameter::TavrinPayParameter()
    : m_isEditable(false)
    , m_isVisible(false)
{
}

TavrinPayParameter::TavrinPayParameter(ProviderParameter parameter)
    : m_isEditable(false)
    , m_isVisible(false)
    , m_name(parameter.name())
    , m_regexp(parameter.regExp())
    , m_mask(parameter.mask())
    , m_title(parameter.label())
    , m_value(parameter.value())
{
    dropWildcardPattern();
}

TavrinPayParameter::TavrinPayParameter(QVariantMap map)
    : m_isEditable(false)
    , m_isVisible(false)
{
    bool truncated = false;
    *this = TavrinPayParameter(map, 0, &truncated);
    if (truncated)
        warnTruncated();
}

TavrinPayParameter::TavrinPayParameter(const QVariantMap &map, int depth, bool *truncated)
    : m_isEditable(false)
    , m_isVisible(false)
{
    const QVariantMap::const_iterator end = map.constEnd();
    QVariantMap::const_iterator it = map.constFind(QStringLiteral("isEditable"));
    if (it != end)
        m_isEditable = it.value().toBool();
    it = map.constFind(QStringLiteral("isVisible"));
    if (it != end)
        m_isVisible = it.value().toBool();
    it = map.constFind(QStringLiteral("name"));
    if (it != end)
        m_name = it.value().toString();
    it = map.constFind(QStringLiteral("paramList"));
    if (it != end && it.value().isValid()) {
        if (depth < MAX_NESTING_DEPTH)
            m_paramList = readList(it.value(), depth + 1, truncated);
        else if (!listOf(it.value()).isEmpty())
            *truncated = true;
    }
    it = map.constFind(QStringLiteral("regexp"));
    if (it != end)
        m_regexp = it.value().toString();
    it = map.constFind(QStringLiteral("mask"));
    if (it != end)
        m_mask = it.value().toString();
    dropWildcardPattern();
    it = map.constFind(QStringLiteral("title"));
    if (it != end)
        m_title = it.value().toString();
    it = map.constFind(QStringLiteral("type"));
    if (it != end)
        m_type = it.value().toString();
    it = map.constFind(QStringLiteral("value"));
    if (it != end)
        m_value = it.value();
}

QList<TavrinPayParameter> TavrinPayParameter::readList(const QVariant &list, int depth,
                                                       bool *truncated)
{
    QList<TavrinPayParameter> parameters;
    const QVariantList entries = listOf(list);
    parameters.reserve(entries.size());
    for (QVariantList::const_iterator it = entries.constBegin(); it != entries.constEnd(); ++it)
        parameters.append(TavrinPayParameter(it->toMap(), depth, truncated));
    return parameters;
}

void TavrinPayParameter::warnTruncated()
{
    qCWarning(TAVRIN_PLUGIN_LOG) << "PARAM_LIST_TOO_DEEP entries nested deeper than"
                                 << MAX_NESTING_DEPTH << "levels were left out";
}

void TavrinPayParameter::dropWildcardPattern()
{
    // The service writes "\*" for "anything goes".
    if (m_regexp == QLatin1String("\\*"))
        m_regexp.clear();
}

TavrinCheckAnswer::TavrinCheckAnswer(QVariantMap answer)
    : m_isStepComplete(false)
    , m_isStepError(false)
    , m_error(true)
    , m_result(-1)
    , m_currentStep(-1)
{
    QVariantMap::const_iterator it = answer.constFind(QStringLiteral("message"));
    const QVariantMap body = it != answer.constEnd() ? it.value().toMap() : QVariantMap();
    const QVariantMap::const_iterator bodyEnd = body.constEnd();
    it = body.constFind(QStringLiteral("params"));
    const QVariantMap step = it != bodyEnd ? it.value().toMap() : QVariantMap();
    const QVariantMap::const_iterator stepEnd = step.constEnd();

    it = body.constFind(QStringLiteral("msgType"));
    if (it != bodyEnd)
        m_msgType = it.value().toString();
    it = body.constFind(QStringLiteral("error"));
    if (it != bodyEnd)
        m_error = it.value().toBool();
    it = body.constFind(QStringLiteral("result"));
    if (it != bodyEnd)
        m_result = toBoundedInt(it.value());
    it = body.constFind(QStringLiteral("uid"));
    if (it != bodyEnd)
        m_uid = it.value().toString();
    it = body.constFind(QStringLiteral("description"));
    if (it != bodyEnd)
        m_description = it.value().toString();
    it = body.constFind(QStringLiteral("resultDescription"));
    const QString resultDescription = it != bodyEnd ? it.value().toString() : QString();
    m_description = (m_description + QLatin1Char(' ') + resultDescription).trimmed();

    it = step.constFind(QStringLiteral("isCompleted"));
    if (it != stepEnd)
        m_isStepComplete = it.value().toBool();
    it = step.constFind(QStringLiteral("isError"));
    if (it != stepEnd)
        m_isStepError = it.value().toBool();
    it = step.constFind(QStringLiteral("statusDescription"));
    if (it != stepEnd)
        m_stepStatusDescription = it.value().toString();
    it = step.constFind(QStringLiteral("payParamList"));
    if (it != stepEnd && it.value().isValid()) {
        bool truncated = false;
        m_payParamsList = TavrinPayParameter::readList(it.value(), 0, &truncated);
        if (truncated)
            TavrinPayParameter::warnTruncated();
    }
    it = step.constFind(QStringLiteral("currentStep"));
    if (it != stepEnd)
        m_currentStep = toBoundedInt(it.value());
}
