#include "requestformat.h"

QString RequestFormat::jsonText(const QVariant &value, QJsonDocument::JsonFormat format)
{
    return QString::fromUtf8(QJsonDocument::fromVariant(value).toJson(format));
}

QVariantMap RequestFormat::payParamEntry(const QString &name, const QVariant &value)
{
    QVariantMap entry;
    entry.insert(QStringLiteral("name"), name);
    entry.insert(QStringLiteral("value"), value);
    return entry;
}

QVariantMap RequestFormat::requestParams(const QVariantList &payParamList, const QString &step)
{
    QVariantMap params;
    params.insert(QStringLiteral("payParamList"), payParamList);
    params.insert(QStringLiteral("currentStep"), step);
    return params;
}
