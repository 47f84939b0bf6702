#include "scenario.h"

#include "provider.h"
#include "providerparameter.h"

Provider *Scenario::createProvider() const
{
    QList<::ProviderParameter> list;
    for (const ProviderParameter &wanted : parameters) {
        ::ProviderParameter parameter(wanted.name, wanted.label, wanted.value);
        parameter.setRegExp(wanted.regExp);
        parameter.setMask(wanted.mask);
        parameter.setKeyboardType(wanted.keyboard);
        list.append(parameter);
    }
    return new Provider(providerId, baseProviderId, providerName, list);
}

void Scenario::chooseLanguage(const QString &language)
{
    for (Input &input : inputs) {
        for (auto it = input.expect.begin(); it != input.expect.end(); ++it) {
            if (it.value().userType() == QMetaType::QVariantMap)
                it.value() = it.value().toMap().value(language).toString();
        }
    }
}

QStringList Scenario::languages()
{
    return {QStringLiteral("ru"), QStringLiteral("en")};
}

QString Scenario::endName(End end)
{
    return end == End::Payment ? QStringLiteral("payment") : QStringLiteral("cancelled");
}

QString Scenario::actionName(Input::MessageAction action)
{
    switch (action) {
    case Input::MessageAction::Ok:
        return QStringLiteral("ok");
    case Input::MessageAction::Yes:
        return QStringLiteral("yes");
    case Input::MessageAction::No:
        return QStringLiteral("no");
    case Input::MessageAction::Wait:
        return QStringLiteral("wait");
    }
    return QString();
}
