#ifndef TOUCHLIST_H
#define TOUCHLIST_H

#include <QtCore/QObject>

#include "hostexport.h"

class QListWidget;

// Makes a form's list usable with a finger: it scrolls by dragging, pixel by pixel, and each row
// is wrapped to the list's width, at least a finger high, with no sideways scroll bar.
class PAYMENTHOST_EXPORT TouchList : public QObject
{
    Q_OBJECT
public:
    // Sets list up once; later calls do nothing.
    static void prepare(QListWidget *list);
    // Sizes the rows for the list's width; call after changing its items.
    static void fitRows(QListWidget *list);

    // The least height of a row, for a finger.
    static const int MinimumRowHeight = 56;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit TouchList(QListWidget *list);

    QListWidget *m_list;
    int m_width = -1;
};

#endif // TOUCHLIST_H
