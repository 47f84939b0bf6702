#include "screenshotter.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QEvent>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QRegularExpression>
#include <QtGui/QPixmap>
#include <QtWidgets/QAbstractButton>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QWidget>

namespace {

QString shownText(const QWidget *widget)
{
    if (auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (auto *edit = qobject_cast<const QLineEdit *>(widget))
        return edit->text().isEmpty() ? edit->placeholderText() : edit->text();
    if (auto *list = qobject_cast<const QListWidget *>(widget)) {
        QStringList items;
        for (int row = 0; row < list->count(); ++row)
            items << list->item(row)->text();
        return items.join(QLatin1Char('\n'));
    }
    return QString();
}

} // namespace

Screenshotter::Screenshotter(const QString &directory, QObject *parent)
    : QObject(parent)
    , m_directory(directory)
{
}

bool Screenshotter::prepare(QString *error)
{
    if (!QDir().mkpath(m_directory)) {
        *error = QStringLiteral("cannot create the screenshot directory %1").arg(m_directory);
        return false;
    }
    return true;
}

QString Screenshotter::capture(QWidget *window, const QString &tag)
{
    // Layouts settle through posted events; a picture taken before them shows the old sizes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QString safeTag = tag;
    safeTag.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]+")), QStringLiteral("-"));
    const QString stem = QDir(m_directory).filePath(
        QStringLiteral("%1-%2").arg(++m_count, 2, 10, QLatin1Char('0')).arg(safeTag));
    if (!window->grab().save(stem + QStringLiteral(".png")))
        return QStringLiteral("cannot write %1.png").arg(stem);
    QFile file(stem + QStringLiteral(".json"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(QJsonDocument(describe(window)).toJson()) < 0)
        return QStringLiteral("cannot write %1.json").arg(stem);
    return QString();
}

QJsonObject Screenshotter::describe(QWidget *window)
{
    QJsonArray widgets;
    const QList<QWidget *> children = window->findChildren<QWidget *>();
    for (const QWidget *widget : children) {
        if (!widget->isVisibleTo(window) || !widget->isVisible())
            continue;
        const QPoint at = widget->mapTo(window, QPoint(0, 0));
        // A form under another one, such as the input form under a message, is not seen.
        const QWidget *top = window->childAt(at + widget->rect().center());
        if (top && top != widget && !widget->isAncestorOf(top))
            continue;
        widgets.append(QJsonObject{
            {QStringLiteral("class"), QString::fromLatin1(widget->metaObject()->className())},
            {QStringLiteral("name"), widget->objectName()},
            {QStringLiteral("text"), shownText(widget)},
            {QStringLiteral("x"), at.x()},
            {QStringLiteral("y"), at.y()},
            {QStringLiteral("width"), widget->width()},
            {QStringLiteral("height"), widget->height()}});
    }
    const QJsonObject size{{QStringLiteral("width"), window->width()},
                           {QStringLiteral("height"), window->height()},
                           {QStringLiteral("title"), window->windowTitle()}};
    return QJsonObject{{QStringLiteral("window"), size}, {QStringLiteral("widgets"), widgets}};
}
