#include "soakcustomer.h"

#include "hostmonitor.h"
#include "messagewidgetcontroller.h"
#include "pluginproviderparameterinputcontroller.h"

#include <QtCore/QTimer>

SoakCustomer::SoakCustomer(const QList<Scenario::Input> &inputs, QObject *parent)
    : QObject(parent)
    , m_inputs(inputs)
{
    HostMonitor *monitor = HostMonitor::instance();
    connect(monitor, &HostMonitor::parameterShown, this, &SoakCustomer::parameterShown);
    connect(monitor, &HostMonitor::messageShown, this, &SoakCustomer::messageShown);
    connect(monitor, &HostMonitor::messageClosed, this, &SoakCustomer::messageClosed);
}

void SoakCustomer::parameterShown(PluginProviderParameterInputController *screen)
{
    m_screen = screen;
    m_top = Top::Screen;
    schedule();
}

void SoakCustomer::messageShown(MessageWidgetController *message)
{
    m_message = message;
    m_top = Top::Message;
    schedule();
}

void SoakCustomer::messageClosed(MessageWidgetController *message, int code)
{
    Q_UNUSED(code);
    if (message == m_message && m_top == Top::Message)
        m_top = m_screen ? Top::Screen : Top::Nothing;
    schedule();
}

void SoakCustomer::schedule()
{
    if (m_scheduled || usedAllInputs() || !m_failure.isEmpty())
        return;
    m_scheduled = true;
    QTimer::singleShot(0, this, &SoakCustomer::act);
}

void SoakCustomer::act()
{
    m_scheduled = false;
    if (usedAllInputs() || !m_failure.isEmpty())
        return;
    const Scenario::Input &input = m_inputs.at(m_next);
    const bool acted = input.isMessage() ? actOnMessage(input) : actOnScreen(input);
    if (acted) {
        ++m_next;
        // The next input may be for the same screen (a refused text, then the right one).
        schedule();
    }
}

bool SoakCustomer::actOnMessage(const Scenario::Input &input)
{
    if (m_top != Top::Message || !m_message || !m_message->isOpen())
        return false;
    if (input.action == Scenario::Input::MessageAction::Wait)
        return m_message->buttons() != MessageWidgetController::NoButtons;
    if (m_message->buttons() == MessageWidgetController::NoButtons)
        return false;
    if (input.action == Scenario::Input::MessageAction::No)
        m_message->reject();
    else
        m_message->accept();
    return true;
}

bool SoakCustomer::actOnScreen(const Scenario::Input &input)
{
    if (m_top != Top::Screen || !m_screen)
        return false;
    PluginProviderParameterInputController *screen = m_screen;
    if (screen->parameter().name() != input.screen) {
        // Perhaps a screen on its way out: the next one may still come.
        m_waiting = QStringLiteral("%1: waits for the screen %2 on %3")
                        .arg(input.path, input.screen, screen->parameter().name());
        return false;
    }
    m_waiting.clear();
    switch (input.kind) {
    case Scenario::Input::Kind::Back:
        screen->back();
        return true;
    case Scenario::Input::Kind::Choose: {
        int position = input.choicePosition;
        if (position < 0)
            position = screen->parameter().values().value(input.choiceLabel, -1).toInt();
        if (!screen->choose(position)) {
            fail(QStringLiteral("%1: no choice %2").arg(input.path).arg(position));
            return false;
        }
        screen->next();
        return true;
    }
    default:
        screen->setText(input.text);
        if (input.refused) {
            if (screen->canGoNext())
                fail(QStringLiteral("%1: \"%2\" was not refused").arg(input.path, input.text));
            return !screen->canGoNext();
        }
        screen->next();
        return true;
    }
}

void SoakCustomer::fail(const QString &reason)
{
    if (m_failure.isEmpty())
        m_failure = reason;
}
