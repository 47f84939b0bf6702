#ifndef SOAKCUSTOMER_H
#define SOAKCUSTOMER_H

#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QString>

#include "scenario.h"

class MessageWidgetController;
class PluginProviderParameterInputController;

// The customer of a scenario, without a moment's thought: acts on what the host shows with the
// scenario's next input as soon as control is back in the event loop. Follows what lies on top
// (the screen or the message shown last) and does nothing to anything else, so that it never
// presses a button the customer could not see. Reports a screen it did not expect as a failure.
class SoakCustomer : public QObject
{
    Q_OBJECT
public:
    explicit SoakCustomer(const QList<Scenario::Input> &inputs, QObject *parent = nullptr);

    bool usedAllInputs() const { return m_next >= m_inputs.size(); }
    QString failure() const { return m_failure; }
    // What the customer waits for, when the screen on top is not the one of the next input.
    QString waiting() const { return m_waiting; }

private slots:
    void parameterShown(PluginProviderParameterInputController *screen);
    void messageShown(MessageWidgetController *message);
    void messageClosed(MessageWidgetController *message, int code);
    void act();

private:
    enum class Top { Nothing, Screen, Message };

    void schedule();
    bool actOnScreen(const Scenario::Input &input);
    bool actOnMessage(const Scenario::Input &input);
    void fail(const QString &reason);

    QList<Scenario::Input> m_inputs;
    int m_next = 0;
    Top m_top = Top::Nothing;
    bool m_scheduled = false;
    QPointer<PluginProviderParameterInputController> m_screen;
    QPointer<MessageWidgetController> m_message;
    QString m_failure;
    QString m_waiting;
};

#endif // SOAKCUSTOMER_H
