#ifndef MINIMALPAYPLUGIN_H
#define MINIMALPAYPLUGIN_H

#include <QtCore/QObject>
#include <QtCore/QPointer>

#include "ipaybyprovider.h"

class PluginBaseFormViewer;

// A pay plugin that does nothing, built as the real plugin is: what loading any plugin of the
// terminal costs, to set the real plugin's load time against.
class MinimalPayPlugin : public QObject, public IPayByProvider
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IPayByProvider_iid)
    Q_INTERFACES(IPayByProvider)

public:
    explicit MinimalPayPlugin(QObject *parent = nullptr);

    QString pluginVersion() const override;
    QString pluginBuild() const override;
    QSet<qint64> supportedProviders() const override;
    bool setMessageReciever(QObject *receiver, const char *slot) override;
    bool setMessageSender(QObject *sender, const char *signal) override;
    void setKovraInfo(const KovraInfo &info) override;
    IPayWidget *start(Provider *provider, const Currency &currency,
                      SessionManager *sessionManager) override;
    void stop() override;
    void showInitScreen() override;
    QString pluginDescription() override;
    QVariantMap pluginFormTemplates() override;
    int pluginId() override;
    QString pluginStringId() override;
    QVariantList getStompFilters() override;

private:
    QPointer<PluginBaseFormViewer> m_viewer;
};

#endif // MINIMALPAYPLUGIN_H
