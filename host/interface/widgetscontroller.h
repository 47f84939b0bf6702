#ifndef WIDGETSCONTROLLER_H
#define WIDGETSCONTROLLER_H

#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtWidgets/QWidget>

#include "hostexport.h"

// One loaded form of a FormViewer. Several controllers may be handed the same form over time
// (each new message replaces the last); the one that took it most recently is its owner, and
// the others leave it alone.
class PAYMENTHOST_EXPORT WidgetsController : public QObject
{
    Q_OBJECT
public:
    WidgetsController(const QString &name, QWidget *form, QObject *parent = nullptr);

    QString name() const { return m_name; }
    QWidget *form() const { return m_form.data(); }

    template <typename T>
    T *widget(const QString &objectName) const
    {
        return m_form ? m_form->findChild<T *>(objectName) : nullptr;
    }

    // The plain widget the form lies in on the viewer, or null when it lies there itself.
    QWidget *frame() const { return m_frame.data(); }
    void setFrame(QWidget *frame) { m_frame = frame; }

    QObject *owner() const { return m_owner.data(); }
    void setOwner(QObject *owner);
    bool isOwnedBy(const QObject *object) const { return object && m_owner.data() == object; }
    // Every owner the form had that still exists: what its widgets may be connected to.
    QList<QObject *> pastOwners() const;

    bool isShown() const;
    // Takes the form off the screen, or puts it on top of the viewer's other forms.
    void hide();
    void show();

private:
    QString m_name;
    QPointer<QWidget> m_form;
    QPointer<QWidget> m_frame;
    QPointer<QObject> m_owner;
    QList<QPointer<QObject>> m_pastOwners;
};

#endif // WIDGETSCONTROLLER_H
