#include "pluginfixture.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QEvent>

PluginFixture::PluginFixture(QObject *instance)
    : project(QStringLiteral(TAVRIN_FORMS_PATH))
{
    session.setActiveProject(&project);
    provider.reset(makeProvider(71000454));
    if (instance)
        pluginObject = instance;
    else if (host.load(QStringLiteral(TAVRIN_PLUGIN_PATH)))
        pluginObject = host.instance();
    else
        error = host.errorString();
    plugin = qobject_cast<IPayByProvider *>(pluginObject);
    if (pluginObject && !plugin)
        error = QStringLiteral("the plugin instance is no IPayByProvider");
    if (plugin)
        PluginHost::attachBus(plugin, &bus, 4242, SLOT(take(QVariantMap)), SIGNAL(deliver(QVariantMap)));
}

PluginFixture::~PluginFixture()
{
    // The host may have deleted the plugin already.
    if (pluginObject)
        plugin->stop();
    delete viewer.data();
    delete pluginObject.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QList<MessageWidgetController *> PluginFixture::messages() const
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return pluginObject ? pluginObject->findChildren<MessageWidgetController *>(
                              QString(), Qt::FindDirectChildrenOnly)
                        : QList<MessageWidgetController *>();
}

QList<PluginProviderParameterInputController *> PluginFixture::inputs() const
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return pluginObject ? pluginObject->findChildren<PluginProviderParameterInputController *>(
                              QString(), Qt::FindDirectChildrenOnly)
                        : QList<PluginProviderParameterInputController *>();
}

PluginProviderParameterInputController *PluginFixture::lastInput() const
{
    const QList<PluginProviderParameterInputController *> all = inputs();
    return all.isEmpty() ? nullptr : all.last();
}

Provider *PluginFixture::makeProvider(qint64 id)
{
    ProviderParameter phone("phone", "Номер телефона");
    phone.setRegExp("^9\\d{9}$");
    ProviderParameter card("card_num", "Номер карты");
    card.setRegExp("^\\d{16}$");
    const QList<ProviderParameter> person{
        ProviderParameter("fam", "Фамилия"), ProviderParameter("name", "Имя"),
        ProviderParameter("fname", "Отчество"), ProviderParameter("pas_ser", "Серия паспорта"),
        ProviderParameter("pas_num", "Номер паспорта")};
    switch (id) {
    case 113003105:
        return new Provider(id, 3105, "Пополнение карты",
                            QList<ProviderParameter>{phone, card} + person
                                + QList<ProviderParameter>{ProviderParameter("org_code", "Код подразделения"),
                                                           ProviderParameter("bdate", "Дата рождения"),
                                                           ProviderParameter("pas_date", "Дата выдачи")});
    case 72000434:
        return new Provider(id, 434, "Без телефона", {ProviderParameter("account", "Счёт")});
    default:
        return new Provider(71000454, 454, "Перевод по номеру телефона",
                            QList<ProviderParameter>{phone} + person
                                + QList<ProviderParameter>{ProviderParameter("passport", "Паспорт")});
    }
}
