#ifndef FORMFRAME_H
#define FORMFRAME_H

#include <QtCore/QList>
#include <QtCore/QPointer>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVector>
#include <QtWidgets/QWidget>

// A plain widget around one built form, so that the form can move from a pay screen that is
// gone to the next one without being built again. The form's style sheet is set on the form
// itself: moving the form would have it polished again, which costs as much as building it,
// while moving a frame without a style sheet leaves the form as it is.
//
// The frame also keeps what the form showed when it was built, and puts it back before the
// form serves another screen, so that nothing of one customer reaches the next.
class FormFrame : public QWidget
{
    Q_OBJECT
public:
    FormFrame(const QString &key, QWidget *parent);

    QString key() const { return m_key; }
    QWidget *form() const { return m_form.data(); }
    // Takes form, just built inside this frame, and notes what it shows.
    void setForm(QWidget *form);

    // Whether every widget of the form is of a kind whose content can be put back.
    bool isReusable() const { return m_reusable; }
    // Cuts the form's widgets loose from the given receivers and puts back what the form showed
    // when it was built. False when the form or one of its widgets is gone, or when it holds
    // widgets whose content cannot be put back; such a form is not used again.
    bool reset(const QList<QObject *> &receivers);

private:
    // One widget of the form and what it showed when built.
    struct Entry
    {
        QPointer<QWidget> widget;
        bool hidden = false;
        bool disabled = false;
        QString text;
        QString placeholder;
        QString inputMask;
        bool readOnly = false;
        bool checked = false;
        QStringList items;
    };

    void note(QWidget *widget);
    bool restore(const QList<QObject *> &receivers);

    QString m_key;
    QPointer<QWidget> m_form;
    QVector<Entry> m_entries;
    bool m_reusable = false;
};

#endif // FORMFRAME_H
