#include "widgetscontroller.h"

WidgetsController::WidgetsController(const QString &name, QWidget *form, QObject *parent)
    : QObject(parent)
    , m_name(name)
    , m_form(form)
{
}

bool WidgetsController::isShown() const
{
    return m_form && !m_form->isHidden();
}

void WidgetsController::hide()
{
    if (m_form)
        m_form->hide();
}

void WidgetsController::show()
{
    if (!m_form)
        return;
    m_form->show();
    m_form->raise();
}
