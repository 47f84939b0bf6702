#ifndef BENCHTERMINAL_H
#define BENCHTERMINAL_H

#include <QtCore/QString>

#include "dialoguedriver.h"

// The suites' terminal around the plugin module (the module loaded through QPluginLoader, a
// session with the default form project, a bus that keeps the requests and hands answers in
// when told to), with the provider 113003105, whose check also asks the card number. It plays
// the customer too, so that whole dialogues and the single steps the benchmarks time can be
// driven from outside.
class BenchTerminal
{
public:
    BenchTerminal();

    // False with errorString() saying why when the plugin could not be loaded.
    bool load();
    QString errorString() const { return m_error; }

    IPayByProvider *plugin() const { return d.fixture.plugin; }
    PluginBaseFormViewer *viewer() const { return d.viewer(); }
    SessionManager *session() { return &d.fixture.session; }
    Provider *provider() const { return d.fixture.provider.data(); }
    // The input screen shown last, or null.
    PluginProviderParameterInputController *shownInput() const { return d.lastShownInput().controller; }
    QString lastUid() const { return d.lastUid(); }
    int requestCount() const { return d.sentCount(); }

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

private:
    bool fail(const QString &why);
    bool driveDialogue();
    bool enterShownParameter();

    DialogueDriver d;
    QString m_error;
    QVariantMap m_firstAnswer;
    QVariantMap m_secondAnswer;
};

#endif // BENCHTERMINAL_H
