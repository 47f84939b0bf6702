#include "pluginviewloadhelper.h"

#include "formviewer.h"

#include <QtCore/QDir>

PluginViewLoadHelper::PluginViewLoadHelper(int pluginId, QString pluginStringId,
                                           QString projectDir, FormViewer *viewer)
    : m_pluginId(pluginId)
    , m_pluginStringId(pluginStringId)
    , m_projectDir(projectDir)
    , m_viewer(viewer)
{
}

QString PluginViewLoadHelper::formsDir() const
{
    if (m_projectDir.isEmpty() || m_pluginStringId.isEmpty())
        return QString();
    return QDir(m_projectDir).filePath(QStringLiteral("plugins/") + m_pluginStringId);
}

FormViewer *PluginViewLoadHelper::viewer() const
{
    return m_viewer.data();
}
