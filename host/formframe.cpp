#include "formframe.h"

#include <QtWidgets/QAbstractButton>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLayout>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QListWidget>

namespace {

// Widgets with nothing of their own to show beyond what every widget has: their children are
// looked at one by one.
bool isPlainContainer(const QWidget *widget)
{
    const char *name = widget->metaObject()->className();
    return qstrcmp(name, "QWidget") == 0 || qstrcmp(name, "QFrame") == 0;
}

} // namespace

FormFrame::FormFrame(const QString &key, QWidget *parent)
    : QWidget(parent)
    , m_key(key)
{
}

void FormFrame::setForm(QWidget *form)
{
    m_form = form;
    m_entries.clear();
    m_reusable = form != nullptr;
    if (form)
        note(form);
}

void FormFrame::note(QWidget *widget)
{
    Entry entry;
    entry.widget = widget;
    entry.hidden = widget->isHidden();
    entry.disabled = widget->testAttribute(Qt::WA_ForceDisabled);
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        entry.text = label->text();
    } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        entry.text = button->text();
        entry.checked = button->isChecked();
    } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        entry.text = edit->text();
        entry.placeholder = edit->placeholderText();
        entry.inputMask = edit->inputMask();
        entry.readOnly = edit->isReadOnly();
    } else if (auto *list = qobject_cast<QListWidget *>(widget)) {
        for (int row = 0; row < list->count(); ++row)
            entry.items << list->item(row)->text();
    } else if (!isPlainContainer(widget)) {
        m_reusable = false;
        return;
    }
    m_entries.append(entry);
    if (!isPlainContainer(widget))
        return;
    for (QObject *child : widget->children()) {
        if (child->isWidgetType())
            note(static_cast<QWidget *>(child));
    }
}

bool FormFrame::reset(const QList<QObject *> &receivers)
{
    if (!m_reusable || !m_form)
        return false;
    // The layouts rest while widgets are shown and hidden again: the next screen lays the form
    // out once, with what it shows.
    const QList<QLayout *> layouts = m_form->findChildren<QLayout *>();
    for (QLayout *layout : layouts)
        layout->setEnabled(false);
    const bool done = restore(receivers);
    for (QLayout *layout : layouts)
        layout->setEnabled(true);
    return done;
}

bool FormFrame::restore(const QList<QObject *> &receivers)
{
    for (const Entry &entry : qAsConst(m_entries)) {
        QWidget *widget = entry.widget.data();
        if (!widget)
            return false;
        for (QObject *receiver : receivers)
            QObject::disconnect(widget, nullptr, receiver, nullptr);
        if (widget->hasFocus())
            widget->clearFocus();
        if (widget->isHidden() != entry.hidden)
            widget->setHidden(entry.hidden);
        if (widget->testAttribute(Qt::WA_ForceDisabled) != entry.disabled)
            widget->setEnabled(!entry.disabled);
        if (auto *label = qobject_cast<QLabel *>(widget)) {
            if (label->text() != entry.text)
                label->setText(entry.text);
        } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
            button->setDown(false);
            if (button->text() != entry.text)
                button->setText(entry.text);
            if (button->isChecked() != entry.checked)
                button->setChecked(entry.checked);
        } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
            // The mask goes first: a text set under the last customer's mask would be cut to it.
            if (edit->inputMask() != entry.inputMask)
                edit->setInputMask(entry.inputMask);
            // Also forgets what undo could bring back.
            edit->setText(entry.text);
            if (edit->placeholderText() != entry.placeholder)
                edit->setPlaceholderText(entry.placeholder);
            if (edit->isReadOnly() != entry.readOnly)
                edit->setReadOnly(entry.readOnly);
        } else if (auto *list = qobject_cast<QListWidget *>(widget)) {
            bool same = list->count() == entry.items.size();
            for (int row = 0; same && row < list->count(); ++row)
                same = list->item(row)->text() == entry.items.at(row);
            if (same) {
                list->setCurrentItem(nullptr);
                list->clearSelection();
            } else {
                list->clear();
                list->addItems(entry.items);
            }
        }
    }
    return true;
}
