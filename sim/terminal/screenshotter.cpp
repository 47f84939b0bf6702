#include "screenshotter.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QEvent>
#include <QtCore/QRegularExpression>
#include <QtGui/QPixmap>
#include <QtWidgets/QWidget>

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

QString Screenshotter::capture(QWidget *widget, const QString &tag)
{
    // Layouts settle through posted events; a picture taken before them shows the old sizes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QString safeTag = tag;
    safeTag.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]+")), QStringLiteral("-"));
    const QString path = QDir(m_directory).filePath(
        QStringLiteral("%1-%2.png").arg(++m_count, 2, 10, QLatin1Char('0')).arg(safeTag));
    if (!widget->grab().save(path))
        return QStringLiteral("cannot write %1").arg(path);
    return QString();
}
