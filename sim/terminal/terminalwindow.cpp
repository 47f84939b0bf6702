#include "terminalwindow.h"

#include "endscreen.h"
#include "formviewer.h"

#include <QtWidgets/QLabel>
#include <QtWidgets/QStackedWidget>
#include <QtWidgets/QVBoxLayout>

TerminalWindow::TerminalWindow(QWidget *parent)
    : QWidget(parent)
    , m_stack(new QStackedWidget(this))
    , m_endScreen(new EndScreen(m_stack))
    , m_phone(new QLabel(this))
{
    m_stack->setFixedSize(FormViewer::ScreenWidth, FormViewer::ScreenHeight);
    m_stack->addWidget(m_endScreen);
    m_phone->setStyleSheet(QStringLiteral("font-size: 15px; padding: 6px; color: #1d3557; background: #a8dadc;"));
    // The SMS text comes from the service: shown as it is, never laid out as markup.
    m_phone->setTextFormat(Qt::PlainText);
    m_phone->setObjectName(QStringLiteral("phoneLine"));
    m_phone->setWordWrap(true);
    clearPhone();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_stack);
    layout->addWidget(m_phone);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TerminalWindow::setPayScreen(QWidget *payScreen)
{
    m_payScreen = payScreen;
    m_stack->addWidget(payScreen);
    // At the kiosk's size before anything is on it: the first form is never laid out smaller.
    payScreen->setGeometry(m_stack->rect());
    m_stack->setCurrentWidget(payScreen);
    payScreen->show();
}

void TerminalWindow::showEndScreen()
{
    m_stack->setCurrentWidget(m_endScreen);
}

void TerminalWindow::setPhoneText(const QString &text)
{
    m_phone->setText(text);
}

void TerminalWindow::clearPhone()
{
    m_phone->setText(tr("Телефон клиента: сообщений нет"));
}
