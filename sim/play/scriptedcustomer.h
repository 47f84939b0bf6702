#ifndef SCRIPTEDCUSTOMER_H
#define SCRIPTEDCUSTOMER_H

#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtCore/QPointer>

#include "scenario.h"

class MessageWidgetController;
class PluginProviderParameterInputController;
class WidgetsController;

// The customer of a scenario at the terminal. It is offered what the host puts on the screen
// and, after a moment's thought (never inside the host's own call), acts on it with the next
// input of the scenario: types and presses Next, picks a choice, goes Back, or answers a
// message. Messages without buttons need nothing from the customer. Anything other than what
// the scenario expects fails the play.
//
// A customer checking a service that is not the scenario's acts by what the screen asks, as a
// person would: the scenario's input for the screen's parameter name where it has one (screens
// that do not come are skipped), else the kind of the screen decides (the first choice, a
// value the screen takes). It compares none of the service's texts and never tries a value
// meant to be refused.
class ScriptedCustomer : public QObject
{
    Q_OBJECT
public:
    enum class Mode { Scripted, ByName };

    ScriptedCustomer(const QList<Scenario::Input> &inputs, int thinkMilliseconds,
                     QObject *parent = nullptr);

    void setMode(Mode mode) { m_mode = mode; }
    // Tries a few digit strings on a text screen and leaves the first it takes typed in;
    // false when it takes none.
    static bool typeSomethingAccepted(PluginProviderParameterInputController *screen);

    int usedInputs() const { return m_next; }
    int inputCount() const { return m_inputs.size(); }
    // The first input not used yet, or null.
    const Scenario::Input *nextInput() const;

public slots:
    void offerScreen(PluginProviderParameterInputController *screen);
    void offerMessage(MessageWidgetController *message);
    // A message went away: unless something else follows at once, the screen below it is the
    // customer's again.
    void messageClosed(MessageWidgetController *message);
    void stop();

signals:
    void acted(QString action);
    void failed(QString reason);

private:
    void schedule();
    void act(int generation);
    void reconsider(int generation);
    void actOnScreen(PluginProviderParameterInputController *screen, const Scenario::Input &input);
    void actByName(PluginProviderParameterInputController *screen);
    void actByKind(PluginProviderParameterInputController *screen);
    void actOnMessageByName(MessageWidgetController *message);
    void actOnMessage(MessageWidgetController *message, const Scenario::Input &input);
    bool checkScreen(PluginProviderParameterInputController *screen, const Scenario::Input &input);
    bool checkMessage(MessageWidgetController *message, const Scenario::Input &input);
    bool compare(const Scenario::Input &input, const QString &field, const QVariant &shown);
    bool press(WidgetsController *ui, const QString &button, const Scenario::Input &input);
    void fail(const QString &reason);

    QList<Scenario::Input> m_inputs;
    int m_thinkMilliseconds;
    Mode m_mode = Mode::Scripted;
    // ByName: the text last typed on each screen, typed again when the screen comes back.
    QMap<QString, QString> m_typed;
    int m_next = 0;
    // Counts what was put before the customer; an action planned for something older is void.
    int m_generation = 0;
    bool m_stopped = false;
    bool m_again = false;
    QPointer<PluginProviderParameterInputController> m_screen;
    QPointer<MessageWidgetController> m_message;
};

#endif // SCRIPTEDCUSTOMER_H
