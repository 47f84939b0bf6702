#ifndef PLUGINVIEWLOADHELPER_H
#define PLUGINVIEWLOADHELPER_H

#include <QtCore/QPointer>
#include <QtCore/QString>

#include "formviewer.h"
#include "hostexport.h"

// Tells a plugin's pay screen where the plugin's own forms lie in the form project
// ("<project>/plugins/<string id>"). It outlives the viewer it was made for as a rule, so it
// holds the viewer only through a guarded pointer.
class PAYMENTHOST_EXPORT PluginViewLoadHelper
{
public:
    PluginViewLoadHelper(int pluginId, QString pluginStringId, QString projectDir,
                         FormViewer *viewer);

    int pluginId() const { return m_pluginId; }
    QString pluginStringId() const { return m_pluginStringId; }
    QString formsDir() const;
    FormViewer *viewer() const;

private:
    int m_pluginId;
    QString m_pluginStringId;
    QString m_projectDir;
    QPointer<FormViewer> m_viewer;
};

#endif // PLUGINVIEWLOADHELPER_H
