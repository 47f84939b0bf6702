#ifndef PLUGINFIXTURE_H
#define PLUGINFIXTURE_H

#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QScopedPointer>
#include <QtCore/QString>

#include "busprobe.h"
#include "currency.h"
#include "formproject.h"
#include "ipaybyprovider.h"
#include "pluginhost.h"
#include "kovrainfo.h"
#include "messagewidgetcontroller.h"
#include "pluginbaseformviewer.h"
#include "pluginproviderparameterinputcontroller.h"
#include "provider.h"
#include "sessionmanager.h"

// A terminal around the plugin, as the host builds one: the plugin module loaded through
// QPluginLoader (or an instance built into the process, as the fuzzers build it), a session
// with the default form project, a bus probe wired as sender and receiver, and providers of
// the three served ids. The suites, the fuzzers, the soak and the benchmarks all drive the
// plugin through it.
class PluginFixture
{
public:
    // Takes instance over; without one, loads the module.
    explicit PluginFixture(QObject *instance = nullptr);
    ~PluginFixture();

    bool isLoaded() const { return plugin != nullptr; }
    QString errorString() const { return error; }

    // The controllers the plugin holds now: its children not yet released. Posted deletions
    // are carried out first.
    QList<MessageWidgetController *> messages() const;
    QList<PluginProviderParameterInputController *> inputs() const;
    PluginProviderParameterInputController *lastInput() const;

    // A provider of each served family as a terminal has it: 71000454 (base 454) with phone and
    // passport fields, 113003105 (base 3105) with a card number too, 72000434 (base 434) with
    // an account and no phone at all. Any other id gives the first.
    static Provider *makeProvider(qint64 id);

    // Loads the built module as a terminal does; it stays loaded for the life of the process,
    // so that sanitizers can still name its code.
    PluginHost host;
    QPointer<QObject> pluginObject;
    IPayByProvider *plugin = nullptr;
    QString error;
    BusProbe bus;
    FormProject project;
    SessionManager session;
    QScopedPointer<Provider> provider;
    QPointer<PluginBaseFormViewer> viewer;
};

#endif // PLUGINFIXTURE_H
