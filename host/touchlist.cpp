#include "touchlist.h"

#include <QtCore/QEvent>
#include <QtGui/QFontMetrics>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QScroller>
#include <QtWidgets/QStyle>

// qMax() takes it by reference, which needs it defined once.
const int TouchList::MinimumRowHeight;

TouchList::TouchList(QListWidget *list)
    : QObject(list)
    , m_list(list)
{
    list->viewport()->installEventFilter(this);
}

void TouchList::prepare(QListWidget *list)
{
    if (!list || list->findChild<TouchList *>(QString(), Qt::FindDirectChildrenOnly))
        return;
    new TouchList(list);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->setWordWrap(true);
    list->setTextElideMode(Qt::ElideNone);
    // A touch screen sends a finger as the left mouse button.
    QScroller::grabGesture(list->viewport(), QScroller::LeftMouseButtonGesture);
    QScrollerProperties properties = QScroller::scroller(list->viewport())->scrollerProperties();
    properties.setScrollMetric(QScrollerProperties::HorizontalOvershootPolicy,
                               QVariant::fromValue(QScrollerProperties::OvershootAlwaysOff));
    properties.setScrollMetric(QScrollerProperties::VerticalOvershootPolicy,
                               QVariant::fromValue(QScrollerProperties::OvershootAlwaysOff));
    QScroller::scroller(list->viewport())->setScrollerProperties(properties);
}

void TouchList::fitRows(QListWidget *list)
{
    if (!list)
        return;
    list->ensurePolished();
    // The room the item's text gets: the row less the style's padding and text margins.
    const int margin = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1) + 16;
    const int width = qMax(1, list->viewport()->width() - margin);
    const QFontMetrics metrics(list->font());
    for (int row = 0; row < list->count(); ++row) {
        QListWidgetItem *item = list->item(row);
        const QRect text = metrics.boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, item->text());
        item->setSizeHint(QSize(list->viewport()->width(), qMax(MinimumRowHeight, text.height() + 20)));
    }
    if (auto *touch = list->findChild<TouchList *>(QString(), Qt::FindDirectChildrenOnly))
        touch->m_width = list->viewport()->width();
}

bool TouchList::eventFilter(QObject *watched, QEvent *event)
{
    // Only the viewport is watched. Its events go on while the list is being destroyed, when
    // the list can no longer be asked for anything: the list is called for a resize only.
    if (event->type() == QEvent::Resize && static_cast<QWidget *>(watched)->width() != m_width)
        fitRows(m_list);
    return QObject::eventFilter(watched, event);
}
