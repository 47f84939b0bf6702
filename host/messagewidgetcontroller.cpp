#include "messagewidgetcontroller.h"

#include "hostmonitor.h"
#include "labelfitter.h"
#include "widgetscontroller.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTimer>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>

#include <climits>
#include <cmath>

namespace {

double g_timeScale = 1.0;

} // namespace

MessageWidgetController::MessageWidgetController(QObject *parent)
    : QObject(parent)
    , m_closeTimer(new QTimer(this))
    , m_tickTimer(new QTimer(this))
{
    m_closeTimer->setSingleShot(true);
    // A coarse timer may be off by a twentieth of a minute: the countdown would end at 0:03.
    m_closeTimer->setTimerType(Qt::PreciseTimer);
    connect(m_closeTimer, &QTimer::timeout, this, &MessageWidgetController::timeOut);
    connect(m_tickTimer, &QTimer::timeout, this, &MessageWidgetController::tick);
}

MessageWidgetController::~MessageWidgetController()
{
    // A message whose controller is gone is no longer true: take it off the screen, unless a
    // newer message has the form by now.
    if (ownsUi())
        m_ui->hide();
}

void MessageWidgetController::setUi(WidgetsController *ui)
{
    m_ui = ui;
    if (!ui)
        return;
    ui->setOwner(this);
    if (auto *button = ui->widget<QPushButton>(QStringLiteral("okButton")))
        connect(button, &QPushButton::clicked, this, &MessageWidgetController::okClicked,
                Qt::UniqueConnection);
    if (auto *button = ui->widget<QPushButton>(QStringLiteral("yesButton")))
        connect(button, &QPushButton::clicked, this, &MessageWidgetController::yesClicked,
                Qt::UniqueConnection);
    if (auto *button = ui->widget<QPushButton>(QStringLiteral("noButton")))
        connect(button, &QPushButton::clicked, this, &MessageWidgetController::noClicked,
                Qt::UniqueConnection);
    render();
}

void MessageWidgetController::setOkCaption(const QString &caption)
{
    m_okCaption = caption;
    render();
}

void MessageWidgetController::initMessage(const QString &text, short timeout, int buttons)
{
    m_text = text;
    m_timeout = timeout;
    m_buttons = buttons;
    m_open = true;
    m_closeTimer->stop();
    m_tickTimer->stop();
    if (timeout > 0) {
        m_shown.start();
        m_closeTimer->start(int(qBound(1.0, std::round(timeout * 1000.0 * g_timeScale), double(INT_MAX))));
        m_tickTimer->start(qMax(1, int(std::lround(1000.0 * g_timeScale))));
    }
    render();
    if (ownsUi())
        m_ui->show();
    emit HostMonitor::instance()->messageShown(this);
}

int MessageWidgetController::remainingSeconds() const
{
    if (!m_closeTimer->isActive())
        return 0;
    // Counted from when the message was shown, not from the timer, which fires a little late
    // on a busy machine: the customer is never promised more than the message's time-out.
    const double seconds = m_timeout - m_shown.elapsed() / (1000.0 * g_timeScale);
    return qBound(0, int(std::ceil(seconds)), int(m_timeout));
}

void MessageWidgetController::setTimeScale(double scale)
{
    g_timeScale = scale > 0 ? scale : 1.0;
}

double MessageWidgetController::timeScale()
{
    return g_timeScale;
}

void MessageWidgetController::close(int code)
{
    if (!m_open)
        return;
    m_open = false;
    m_closeTimer->stop();
    m_tickTimer->stop();
    if (ownsUi())
        m_ui->hide();
    emit HostMonitor::instance()->messageClosed(this, code);

    // A slot may release this controller; what it was about to say is still owed.
    QPointer<MessageWidgetController> self(this);
    emit needClose();
    if (self)
        emit finish(code);
}

void MessageWidgetController::timeOut()
{
    close(0);
}

void MessageWidgetController::tick()
{
    render();
}

void MessageWidgetController::okClicked()
{
    if (ownsUi())
        close(1);
}

void MessageWidgetController::yesClicked()
{
    if (ownsUi())
        close(1);
}

void MessageWidgetController::noClicked()
{
    if (ownsUi())
        close(0);
}

void MessageWidgetController::render()
{
    if (!ownsUi())
        return;
    if (auto *label = m_ui->widget<QLabel>(QStringLiteral("countdownLabel"))) {
        const int left = remainingSeconds();
        label->setVisible(left > 0);
        label->setText(QStringLiteral("%1:%2").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0')));
    }
    // After the countdown, which is read off the clock: fitting a long text takes time.
    LabelFitter::setText(m_ui->widget<QLabel>(QStringLiteral("messageText")), m_text);
    const bool yesNo = m_buttons == YesNoButtons;
    const bool ok = m_buttons != NoButtons && !yesNo;
    if (auto *button = m_ui->widget<QPushButton>(QStringLiteral("okButton"))) {
        button->setVisible(ok);
        button->setText(m_okCaption.isEmpty() ? QCoreApplication::translate("messagesView", "OK")
                                               : m_okCaption);
    }
    if (auto *button = m_ui->widget<QPushButton>(QStringLiteral("yesButton")))
        button->setVisible(yesNo);
    if (auto *button = m_ui->widget<QPushButton>(QStringLiteral("noButton")))
        button->setVisible(yesNo);
}

bool MessageWidgetController::ownsUi() const
{
    return m_ui && m_ui->isOwnedBy(this);
}
