#ifndef SCRIPTEDCUSTOMER_H
#define SCRIPTEDCUSTOMER_H

#include <QtCore/QList>
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
class ScriptedCustomer : public QObject
{
    Q_OBJECT
public:
    ScriptedCustomer(const QList<Scenario::Input> &inputs, int thinkMilliseconds,
                     QObject *parent = nullptr);

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
    void actOnMessage(MessageWidgetController *message, const Scenario::Input &input);
    bool checkScreen(PluginProviderParameterInputController *screen, const Scenario::Input &input);
    bool checkMessage(MessageWidgetController *message, const Scenario::Input &input);
    bool compare(const Scenario::Input &input, const QString &field, const QVariant &shown);
    bool press(WidgetsController *ui, const QString &button, const Scenario::Input &input);
    void fail(const QString &reason);

    QList<Scenario::Input> m_inputs;
    int m_thinkMilliseconds;
    int m_next = 0;
    // Counts what was put before the customer; an action planned for something older is void.
    int m_generation = 0;
    bool m_stopped = false;
    bool m_again = false;
    QPointer<PluginProviderParameterInputController> m_screen;
    QPointer<MessageWidgetController> m_message;
};

#endif // SCRIPTEDCUSTOMER_H
