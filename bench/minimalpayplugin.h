#ifndef MINIMALPAYPLUGIN_H
#define MINIMALPAYPLUGIN_H

#include <QtCore/QObject>
#include <QtCore/QPointer>

#include "ipaybyprovider.h"
#include "pluginbaseformviewer.h"

// A pay plugin that does nothing, built as the real plugin is: what loading any plugin of the
// terminal costs, to set the real plugin's load time against. It has no source file of its own;
// the module is this header's moc output.
class MinimalPayPlugin : public QObject, public IPayByProvider
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IPayByProvider_iid)
    Q_INTERFACES(IPayByProvider)

public:
    explicit MinimalPayPlugin(QObject *parent = nullptr) : QObject(parent) {}

    QString pluginVersion() const override { return QStringLiteral("1.0.0"); }
    QString pluginBuild() const override { return QString(); }
    QSet<qint64> supportedProviders() const override { return QSet<qint64>(); }
    bool setMessageReciever(QObject *, const char *) override { return true; }
    bool setMessageSender(QObject *, const char *) override { return true; }
    void setKovraInfo(const KovraInfo &) override {}
    // Any pay plugin hands the host one of the host's own pay screens, which ties it to the
    // host library and everything that comes with it, as the real plugin is.
    IPayWidget *start(Provider *provider, const Currency &currency,
                      SessionManager *sessionManager) override
    {
        if (!m_viewer)
            m_viewer = new PluginBaseFormViewer(sessionManager, provider, currency,
                                                QStringLiteral("minimalPayPlugin"));
        return m_viewer.data();
    }
    void stop() override { if (m_viewer) m_viewer->deleteLater(); }
    void showInitScreen() override {}
    QString pluginDescription() override { return QString(); }
    QVariantMap pluginFormTemplates() override { return QVariantMap(); }
    int pluginId() override { return 0; }
    QString pluginStringId() override { return QStringLiteral("minimalPayPlugin"); }
    QVariantList getStompFilters() override { return QVariantList(); }

private:
    QPointer<PluginBaseFormViewer> m_viewer;
};

#endif // MINIMALPAYPLUGIN_H
