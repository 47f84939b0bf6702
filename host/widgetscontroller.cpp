#include "widgetscontroller.h"

WidgetsController::WidgetsController(const QString &name, QWidget *form, QObject *parent)
    : QObject(parent)
    , m_name(name)
    , m_form(form)
{
}

void WidgetsController::setOwner(QObject *owner)
{
    m_owner = owner;
    // Dead owners drop out here, so the list stays as short as the owners alive.
    m_pastOwners.removeAll(QPointer<QObject>());
    if (owner && !m_pastOwners.contains(owner))
        m_pastOwners.append(owner);
}

QList<QObject *> WidgetsController::pastOwners() const
{
    QList<QObject *> owners;
    for (const QPointer<QObject> &owner : m_pastOwners) {
        if (owner)
            owners.append(owner.data());
    }
    return owners;
}

bool WidgetsController::isShown() const
{
    return m_form && !m_form->isHidden() && (!m_frame || !m_frame->isHidden());
}

void WidgetsController::hide()
{
    if (m_form)
        m_form->hide();
    // An empty frame left on top would take the customer's touches meant for the form below.
    if (m_frame)
        m_frame->hide();
}

void WidgetsController::show()
{
    if (!m_form)
        return;
    if (m_frame) {
        m_frame->show();
        m_frame->raise();
    }
    m_form->show();
    m_form->raise();
}
