#ifndef TERMINALWINDOW_H
#define TERMINALWINDOW_H

#include <QtCore/QPointer>
#include <QtWidgets/QWidget>

class EndScreen;
class QLabel;
class QStackedWidget;

// The simulated terminal: the customer's kiosk screen at its real size, showing the plugin's
// pay screen or, once the plugin is done, the simulator's end screen; below it, the customer's
// phone, where the service's SMS arrives.
class TerminalWindow : public QWidget
{
    Q_OBJECT
public:
    explicit TerminalWindow(QWidget *parent = nullptr);

    // The plugin's pay screen; the window holds it until the plugin releases it.
    void setPayScreen(QWidget *payScreen);
    EndScreen *endScreen() const { return m_endScreen; }
    void showEndScreen();

    void setPhoneText(const QString &text);
    // The phone with no message on it, as at the start of a payment.
    void clearPhone();

private:
    QStackedWidget *m_stack;
    EndScreen *m_endScreen;
    QLabel *m_phone;
    QPointer<QWidget> m_payScreen;
};

#endif // TERMINALWINDOW_H
