#ifndef PLUGINHOST_H
#define PLUGINHOST_H

#include <QtCore/QObject>
#include <QtCore/QPluginLoader>
#include <QtCore/QPointer>
#include <QtCore/QString>

class HostTranslator;
class IPayByProvider;
class QTranslator;

// Loads a pay-by-provider plugin module as the terminal application does: the module's
// metadata must name the interface, and its one instance must cast to it. The simulators and
// the test suites both load the plugin through it, and wire it to their bus as a host does.
class PluginHost : public QObject
{
    Q_OBJECT
public:
    explicit PluginHost(QObject *parent = nullptr);
    ~PluginHost() override;

    // The module beside this program, in the build tree and in an install alike.
    static QString defaultPluginPath();

    bool load(const QString &path);
    QString errorString() const { return m_error; }
    QString fileName() const { return m_loader.fileName(); }

    IPayByProvider *plugin() const { return m_instance ? m_plugin : nullptr; }
    QObject *instance() const { return m_instance.data(); }

    // Installs the plugin's translation for language from the module's directory, and the
    // host's own; false, with the reason in *warning, when the plugin has none (its texts then
    // stay as the plugin writes them).
    bool installTranslation(const QString &language, QString *warning);

    // Wires plugin to bus, which takes what the plugin sends through slot and brings it the
    // bus's messages through signal, and seeds its request ids with the terminal's id.
    static void attachBus(IPayByProvider *plugin, QObject *bus, unsigned int kovraId,
                          const char *slot = SLOT(send(QVariantMap)),
                          const char *signal = SIGNAL(messageReceived(QVariantMap)));

    // Deletes the plugin object, as the terminal does when it shuts down.
    void release();

private:
    void removeHostTranslation();

    QPluginLoader m_loader;
    QPointer<QObject> m_instance;
    IPayByProvider *m_plugin = nullptr;
    QTranslator *m_translator = nullptr;
    HostTranslator *m_hostTranslator = nullptr;
    QString m_error;
};

#endif // PLUGINHOST_H
