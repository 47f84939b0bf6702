#ifndef MESSAGEWIDGETCONTROLLER_H
#define MESSAGEWIDGETCONTROLLER_H

#include <QtCore/QElapsedTimer>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QString>

#include "hostexport.h"
#include "widgetscontroller.h"

class QTimer;

// Drives the message form: a text, its buttons and a time after which the message closes by
// itself. However a message closes, its form is first taken off the screen, then needClose()
// and finish(code) are emitted: 1 for OK or Yes, 0 for No or when the time ran out. Deleting a
// controller closes nothing and emits nothing.
class PAYMENTHOST_EXPORT MessageWidgetController : public QObject
{
    Q_OBJECT
public:
    // The second number of initMessage().
    enum Buttons { NoButtons = 0, OkButton = 1, YesNoButtons = 110 };

    explicit MessageWidgetController(QObject *parent = nullptr);
    ~MessageWidgetController() override;

    void setUi(WidgetsController *ui);
    WidgetsController *ui() const { return m_ui.data(); }

    void setOkCaption(const QString &caption);
    QString okCaption() const { return m_okCaption; }

    // Shows text with the given buttons; after timeout seconds (none when 0 or less) the
    // message closes by itself with code 0.
    void initMessage(const QString &text, short timeout, int buttons);
    QString text() const { return m_text; }
    short timeout() const { return m_timeout; }
    int buttons() const { return m_buttons; }

    bool isOpen() const { return m_open; }
    // Whole seconds left before the message closes by itself, as the countdown shows them.
    int remainingSeconds() const;

    // Host-wide factor for message times: 0.01 makes a 60 s message close after 0.6 s, so that
    // a scripted scenario runs in seconds.
    static void setTimeScale(double scale);
    static double timeScale();

public slots:
    // Closes the message as its buttons do; a message that is not open ignores it.
    void close(int code);
    void accept() { close(1); }
    void reject() { close(0); }

signals:
    void needClose();
    void finish(int code);

private slots:
    void timeOut();
    void tick();
    void okClicked();
    void yesClicked();
    void noClicked();

private:
    void render();
    bool ownsUi() const;

    QPointer<WidgetsController> m_ui;
    QString m_text;
    QString m_okCaption;
    short m_timeout = 0;
    int m_buttons = NoButtons;
    bool m_open = false;
    QTimer *m_closeTimer;
    QTimer *m_tickTimer;
    // Since the message was shown, for the countdown.
    QElapsedTimer m_shown;
};

#endif // MESSAGEWIDGETCONTROLLER_H
