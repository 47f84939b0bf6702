#include "pluginhost.h"

#include "hosttranslator.h"
#include "ipaybyprovider.h"
#include "kovrainfo.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QJsonObject>
#include <QtCore/QTranslator>

PluginHost::PluginHost(QObject *parent)
    : QObject(parent)
{
}

PluginHost::~PluginHost()
{
    release();
}

QString PluginHost::defaultPluginPath()
{
    const QDir bin(QCoreApplication::applicationDirPath());
    return QDir::cleanPath(bin.absoluteFilePath(QStringLiteral(TAVRIN_PLUGIN_DIR_FROM_BIN "/" TAVRIN_PLUGIN_FILE_NAME)));
}

bool PluginHost::load(const QString &fileName)
{
    // A bare relative name would send the loader searching the library paths.
    const QString path = QFileInfo(fileName).absoluteFilePath();
    m_error.clear();
    if (!QFileInfo(path).isFile()) {
        m_error = QStringLiteral("no plugin module at %1").arg(path);
        return false;
    }
    m_loader.setFileName(path);
    // The module stays loaded until the process ends: objects and translations may still
    // reach its code after the plugin object is gone.
    m_loader.setLoadHints(QLibrary::PreventUnloadHint);
    const QString iid = m_loader.metaData().value(QStringLiteral("IID")).toString();
    if (iid.isEmpty()) {
        m_error = QStringLiteral("%1 is not a Qt plugin: %2").arg(path, m_loader.errorString());
        return false;
    }
    if (iid != QLatin1String(IPayByProvider_iid)) {
        m_error = QStringLiteral("%1 implements \"%2\", not \"%3\"").arg(path, iid, QStringLiteral(IPayByProvider_iid));
        return false;
    }
    m_instance = m_loader.instance();
    if (!m_instance) {
        m_error = QStringLiteral("cannot load %1: %2").arg(path, m_loader.errorString());
        return false;
    }
    m_plugin = qobject_cast<IPayByProvider *>(m_instance.data());
    if (!m_plugin) {
        m_error = QStringLiteral("the instance of %1 (%2) does not cast to IPayByProvider")
                      .arg(path, QString::fromLatin1(m_instance->metaObject()->className()));
        m_instance.clear();
        return false;
    }
    return true;
}

bool PluginHost::installTranslation(const QString &language, QString *warning)
{
    // The host's own texts (its forms, hints and windows) go with the plugin's: a kiosk speaks
    // one language at a time. They are written in Russian, so Russian needs no translation and
    // the previous language's goes whatever the new one is.
    removeHostTranslation();
    auto *hostTexts = new HostTranslator(this);
    if (hostTexts->loadLanguage(language)) {
        m_hostTranslator = hostTexts;
        QCoreApplication::installTranslator(m_hostTranslator);
    } else {
        delete hostTexts;
    }
    const QString dir = QFileInfo(m_loader.fileName()).absolutePath();
    const QString name = QStringLiteral("tavrinplugin_%1").arg(language);
    auto *translator = new QTranslator(this);
    if (!translator->load(name, dir)) {
        *warning = QStringLiteral("no translation %1.qm in %2; the texts stay as the plugin writes them")
                       .arg(name, dir);
        delete translator;
        return false;
    }
    if (m_translator) {
        QCoreApplication::removeTranslator(m_translator);
        delete m_translator;
    }
    m_translator = translator;
    QCoreApplication::installTranslator(m_translator);
    return true;
}

void PluginHost::attachBus(IPayByProvider *plugin, QObject *bus, unsigned int kovraId,
                           const char *slot, const char *signal)
{
    plugin->setMessageReciever(bus, slot);
    plugin->setMessageSender(bus, signal);
    plugin->setKovraInfo(KovraInfo(kovraId));
}

void PluginHost::removeHostTranslation()
{
    if (m_hostTranslator) {
        QCoreApplication::removeTranslator(m_hostTranslator);
        delete m_hostTranslator;
        m_hostTranslator = nullptr;
    }
}

void PluginHost::release()
{
    removeHostTranslation();
    if (m_translator) {
        QCoreApplication::removeTranslator(m_translator);
        delete m_translator;
        m_translator = nullptr;
    }
    delete m_instance.data();
    m_plugin = nullptr;
}
