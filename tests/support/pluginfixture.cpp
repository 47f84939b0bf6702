#include "pluginfixture.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QEvent>
#include <QtCore/QPluginLoader>

PluginFixture::PluginFixture(QObject *instance)
    : project(QStringLiteral(TAVRIN_FORMS_PATH))
{
    session.setActiveProject(&project);
    provider.reset(makeProvider(71000454));
    pluginObject = instance ? instance : loadPluginInstance(&error);
    plugin = qobject_cast<IPayByProvider *>(pluginObject);
    if (pluginObject && !plugin)
        error = QStringLiteral("the plugin instance is no IPayByProvider");
    if (plugin) {
        plugin->setMessageReciever(&bus, SLOT(take(QVariantMap)));
        plugin->setMessageSender(&bus, SIGNAL(deliver(QVariantMap)));
        plugin->setKovraInfo(KovraInfo(4242));
    }
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

QObject *PluginFixture::loadPluginInstance(QString *error)
{
    QPluginLoader loader(QStringLiteral(TAVRIN_PLUGIN_PATH));
    loader.setLoadHints(QLibrary::PreventUnloadHint);
    QObject *instance = loader.instance();
    if (!instance && error)
        *error = loader.errorString();
    return instance;
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
