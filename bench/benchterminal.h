#ifndef BENCHTERMINAL_H
#define BENCHTERMINAL_H

#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QScopedPointer>
#include <QtCore/QString>
#include <QtCore/QVariantMap>

#include "formproject.h"
#include "ipaybyprovider.h"
#include "pluginbaseformviewer.h"
#include "pluginproviderparameterinputcontroller.h"
#include "provider.h"
#include "sessionmanager.h"

// A terminal around the plugin module, as the stand-in host runs it: the module loaded through
// QPluginLoader, a session with the default form project, this object as the bus (it keeps
// the requests sent and hands answers in when told to, never inside a send) and the provider
// 113003105, whose check also asks the card number. It plays the customer too, so that whole
// dialogues and the single steps the benchmarks time can be driven from outside.
class BenchTerminal : public QObject
{
    Q_OBJECT
public:
    explicit BenchTerminal(QObject *parent = nullptr);
    ~BenchTerminal() override;

    // Loads the plugin as the host does and wires it to this terminal; false with
    // errorString() saying why when it cannot.
    bool load();
    QString errorString() const { return m_error; }

    IPayByProvider *plugin() const { return m_plugin; }
    PluginBaseFormViewer *viewer() const { return m_viewer.data(); }
    SessionManager *session() { return &m_session; }
    Provider *provider() const { return m_provider.data(); }
    // The input screen shown last, or null.
    PluginProviderParameterInputController *shownInput() const { return m_shownInput.data(); }
    QString lastUid() const { return m_lastUid; }
    int requestCount() const { return m_requests; }

    // start() and showInitScreen(): the account screen is up.
    bool begin();
    // Types the phone number on the account screen and accepts it; the uid of the request
    // that left, empty (with errorString() set) when none did.
    QString acceptNumber();
    // One dialogue from start() to the payment details, stop() included; false with
    // errorString() set when it ended anywhere else.
    bool runDialogue();
    // stop() and the deletions it leaves behind.
    void end();

    // Carries out the deferred deletions and whatever else the screens posted.
    static void settle();

public slots:
    void take(const QVariantMap &message);

signals:
    void deliver(QVariantMap message);

private slots:
    void parameterShown(PluginProviderParameterInputController *controller);
    void payDetailRequested();

private:
    bool fail(const QString &why);
    bool driveDialogue();
    bool enterShownParameter();

    QString m_error;
    QObject *m_pluginObject = nullptr;
    IPayByProvider *m_plugin = nullptr;
    FormProject m_project;
    SessionManager m_session;
    QScopedPointer<Provider> m_provider;
    QPointer<PluginBaseFormViewer> m_viewer;
    QPointer<PluginProviderParameterInputController> m_shownInput;
    QVariantMap m_firstAnswer;
    QVariantMap m_secondAnswer;
    QString m_lastUid;
    int m_requests = 0;
    bool m_payDetailShown = false;
};

#endif // BENCHTERMINAL_H
