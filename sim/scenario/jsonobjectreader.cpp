#include "jsonobjectreader.h"

#include <QtCore/QStringList>

#include <cmath>

JsonObjectReader::JsonObjectReader(const QJsonValue &value, const QString &path, QString *error)
    : m_object(value.toObject())
    , m_path(path)
    , m_error(error)
{
    if (!value.isObject())
        fail(path.isEmpty() ? QStringLiteral("(top level)") : path, QStringLiteral("expected an object"));
}

QString JsonObjectReader::fieldPath(const QString &key) const
{
    return m_path.isEmpty() ? key : m_path + QLatin1Char('.') + key;
}

QString JsonObjectReader::elementPath(const QString &path, int index)
{
    return QStringLiteral("%1[%2]").arg(path).arg(index);
}

bool JsonObjectReader::contains(const QString &key)
{
    m_known.insert(key);
    return m_object.contains(key);
}

void JsonObjectReader::fail(const QString &path, const QString &message)
{
    if (m_error->isEmpty())
        *m_error = path + QStringLiteral(": ") + message;
}

void JsonObjectReader::wrongType(const QString &key, const QString &expected)
{
    fail(fieldPath(key), QStringLiteral("expected %1").arg(expected));
}

QJsonValue JsonObjectReader::field(const QString &key, bool required)
{
    m_known.insert(key);
    if (!ok())
        return QJsonValue(QJsonValue::Undefined);
    if (!m_object.contains(key)) {
        if (required)
            fail(fieldPath(key), QStringLiteral("missing"));
        return QJsonValue(QJsonValue::Undefined);
    }
    return m_object.value(key);
}

QString JsonObjectReader::string(const QString &key, const QString &fallback)
{
    const QJsonValue value = field(key, false);
    if (value.isUndefined())
        return fallback;
    if (!value.isString()) {
        wrongType(key, QStringLiteral("a string"));
        return fallback;
    }
    return value.toString();
}

QString JsonObjectReader::requiredString(const QString &key)
{
    const QJsonValue value = field(key, true);
    if (value.isUndefined())
        return QString();
    if (!value.isString()) {
        wrongType(key, QStringLiteral("a string"));
        return QString();
    }
    return value.toString();
}

qint64 JsonObjectReader::integer(const QString &key, qint64 fallback, qint64 minimum, qint64 maximum)
{
    const QJsonValue value = field(key, false);
    if (value.isUndefined())
        return fallback;
    const double number = value.toDouble();
    // Beyond 2^53 a JSON number is no longer a whole number one can trust.
    if (!value.isDouble() || number != std::floor(number) || std::fabs(number) > 9007199254740992.0) {
        wrongType(key, QStringLiteral("a whole number"));
        return fallback;
    }
    if (number < double(minimum) || number > double(maximum)) {
        fail(fieldPath(key), QStringLiteral("expected a number from %1 to %2").arg(minimum).arg(maximum));
        return fallback;
    }
    return qint64(number);
}

qint64 JsonObjectReader::requiredInteger(const QString &key, qint64 minimum, qint64 maximum)
{
    if (ok() && !m_object.contains(key)) {
        field(key, true);
        return minimum;
    }
    return integer(key, minimum, minimum, maximum);
}

double JsonObjectReader::number(const QString &key, double fallback, double minimum, double maximum)
{
    const QJsonValue value = field(key, false);
    if (value.isUndefined())
        return fallback;
    if (!value.isDouble()) {
        wrongType(key, QStringLiteral("a number"));
        return fallback;
    }
    const double number = value.toDouble();
    if (!(number >= minimum && number <= maximum)) {
        fail(fieldPath(key), QStringLiteral("expected a number from %1 to %2").arg(minimum).arg(maximum));
        return fallback;
    }
    return number;
}

bool JsonObjectReader::boolean(const QString &key, bool fallback)
{
    const QJsonValue value = field(key, false);
    if (value.isUndefined())
        return fallback;
    if (!value.isBool()) {
        wrongType(key, QStringLiteral("true or false"));
        return fallback;
    }
    return value.toBool();
}

QJsonArray JsonObjectReader::array(const QString &key, bool required)
{
    const QJsonValue value = field(key, required);
    if (value.isUndefined())
        return QJsonArray();
    if (!value.isArray()) {
        wrongType(key, QStringLiteral("a list"));
        return QJsonArray();
    }
    return value.toArray();
}

QJsonValue JsonObjectReader::value(const QString &key)
{
    return field(key, false);
}

bool JsonObjectReader::finish()
{
    if (!ok())
        return false;
    QStringList unknown;
    for (auto it = m_object.constBegin(); it != m_object.constEnd(); ++it) {
        if (!m_known.contains(it.key()))
            unknown.append(it.key());
    }
    if (!unknown.isEmpty()) {
        unknown.sort();
        QStringList known = m_known.values();
        known.sort();
        fail(fieldPath(unknown.first()),
             QStringLiteral("unknown field (known here: %1)").arg(known.join(QStringLiteral(", "))));
    }
    return ok();
}
