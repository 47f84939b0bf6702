#include "minimalpayplugin.h"

#include "pluginbaseformviewer.h"

MinimalPayPlugin::MinimalPayPlugin(QObject *parent)
    : QObject(parent)
{
}

QString MinimalPayPlugin::pluginVersion() const
{
    return QStringLiteral("1.0.0");
}

QString MinimalPayPlugin::pluginBuild() const
{
    return QString();
}

QSet<qint64> MinimalPayPlugin::supportedProviders() const
{
    return QSet<qint64>();
}

bool MinimalPayPlugin::setMessageReciever(QObject *receiver, const char *slot)
{
    Q_UNUSED(receiver);
    Q_UNUSED(slot);
    return true;
}

bool MinimalPayPlugin::setMessageSender(QObject *sender, const char *signal)
{
    Q_UNUSED(sender);
    Q_UNUSED(signal);
    return true;
}

void MinimalPayPlugin::setKovraInfo(const KovraInfo &info)
{
    Q_UNUSED(info);
}

IPayWidget *MinimalPayPlugin::start(Provider *provider, const Currency &currency,
                                    SessionManager *sessionManager)
{
    // Any pay plugin hands the host one of the host's own pay screens, which ties it to the
    // host library and everything that comes with it, as the real plugin is.
    if (!m_viewer)
        m_viewer = new PluginBaseFormViewer(sessionManager, provider, currency,
                                          QStringLiteral("minimalPayPlugin"));
    return m_viewer.data();
}

void MinimalPayPlugin::stop()
{
    if (m_viewer)
        m_viewer->deleteLater();
}

void MinimalPayPlugin::showInitScreen()
{
}

QString MinimalPayPlugin::pluginDescription()
{
    return QString();
}

QVariantMap MinimalPayPlugin::pluginFormTemplates()
{
    return QVariantMap();
}

int MinimalPayPlugin::pluginId()
{
    return 0;
}

QString MinimalPayPlugin::pluginStringId()
{
    return QStringLiteral("minimalPayPlugin");
}

QVariantList MinimalPayPlugin::getStompFilters()
{
    return QVariantList();
}
