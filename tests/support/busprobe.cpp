#include "busprobe.h"

#include <QtCore/QJsonDocument>

BusProbe::BusProbe(QObject *parent)
    : QObject(parent)
{
}

QString BusProbe::lastUid() const
{
    return lastSent().value(QStringLiteral("uid")).toString();
}

QVariantMap BusProbe::checkData(const QVariantMap &request)
{
    const QString json = request.value(QStringLiteral("params")).toMap()
                             .value(QStringLiteral("checkdata")).toString();
    return QJsonDocument::fromJson(json.toUtf8()).toVariant().toMap();
}

QVariantMap BusProbe::answer(const QVariantMap &body, const QVariantMap &step)
{
    QVariantMap message = body;
    if (!step.isEmpty())
        message.insert(QStringLiteral("params"), step);
    return QVariantMap{{QStringLiteral("message"), message}};
}

QVariantMap BusProbe::stepAnswer(const QString &uid, int step, bool completed,
                                 const QVariantList &payParamList)
{
    const QVariantMap body{{"msgType", "tavrinPluginRequest"}, {"uid", uid}, {"error", false}, {"result", 0}};
    const QVariantMap params{{"isCompleted", completed}, {"isError", false}, {"currentStep", step},
                             {"payParamList", payParamList}};
    return answer(body, params);
}

QVariantMap BusProbe::parameter(const QString &name, const QString &title, const QVariant &value,
                                bool editable, const QString &type)
{
    return {{"name", name}, {"title", title}, {"value", value}, {"isEditable", editable},
            {"isVisible", true}, {"type", type}};
}

void BusProbe::take(const QVariantMap &message)
{
    sent.append(message);
}

void BusProbe::answerNow(const QVariantMap &message)
{
    emit deliver(message);
}
