#ifndef REQUESTFORMAT_H
#define REQUESTFORMAT_H

#include <QtCore/QJsonDocument>
#include <QtCore/QString>
#include <QtCore/QVariant>

// The pieces of a check request's body: the service reads "checkdata" as JSON text holding
// the step and its list of name and value pairs.
namespace RequestFormat {

QString jsonText(const QVariant &value, QJsonDocument::JsonFormat format);
QVariantMap payParamEntry(const QString &name, const QVariant &value);
QVariantMap requestParams(const QVariantList &payParamList, const QString &step);

} // namespace RequestFormat

#endif // REQUESTFORMAT_H
