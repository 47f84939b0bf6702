#ifndef DIALOGUERIG_H
#define DIALOGUERIG_H

#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QScopedPointer>
#include <QtCore/QSet>
#include <QtCore/QStringList>
#include <QtCore/QVariantMap>

#include "dialoguedriver.h"

class FuzzInput;
class QWidget;
class TavrinPluginHandler;

// The suites' dialogue driver around a plugin handler built into the fuzzer, driven by fuzzer
// bytes: each event is something a host, a customer or the check service can do (start,
// showInitScreen, stop, Next with a text, Back, a choice, a message closing with a code, an
// answer of any shape, the same answer again, a turn of the event loop, the host deleting the
// pay screen or the plugin, a slot called by name). After every event it checks what must hold
// whatever happened, and aborts when it does not: the parameter index is never negative, the
// handler keeps no controller it does not hold, a shown dialogue always leaves the customer a
// way on, an answer that matches no pending request changes nothing, a completed check pays
// once, the requests carry only the numbers this customer typed, and every answer read into
// the records holds what AnswerWalker checks.
class DialogueRig
{
public:
    DialogueRig();
    ~DialogueRig();

    // Reads one event and plays it.
    void play(FuzzInput &in);
    // Ends the dialogue as a host does at the end of a payment and checks that nothing of it
    // is left behind.
    void finish();

    static void check(bool condition, const char *what);

private:
    enum Event {
        Start, ShowInitScreen, Stop, NextTyped, NextSignalled, Back, Choose, CloseMessage,
        Answer, AnswerAgain, Turn, DeleteViewer, CallSlot, DeleteHandler, EventCount
    };

    void start(FuzzInput &in);
    void showInitScreen();
    void next(const QString &text, bool typed);
    void closeMessage(FuzzInput &in);
    void answer(const QVariantMap &message);
    void callSlot(FuzzInput &in);
    void release();
    void checkAlways();
    void checkSettled() const;
    void checkWayOn() const;
    TavrinPluginHandler *handler() const;
    PluginBaseFormViewer *viewer() const;
    PluginProviderParameterInputController *screen() const;

    DialogueDriver d;
    QScopedPointer<Provider> m_providers[3];
    QList<QWidget *> m_initialTopLevel;

    int m_requestsChecked = 0;
    QStringList m_sentUids;
    QVariantMap m_lastAnswer;
    QSet<QString> m_paidUids;
    QSet<QString> m_numbersTyped;
    int m_cancels = 0;
    int m_payDetails = 0;
    bool m_shown = false;
    bool m_ended = false;
};

#endif // DIALOGUERIG_H
