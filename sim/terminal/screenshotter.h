#ifndef SCREENSHOTTER_H
#define SCREENSHOTTER_H

#include <QtCore/QObject>
#include <QtCore/QString>

class QWidget;

// Writes numbered PNG pictures of the kiosk screen into a directory, one per screen change.
class Screenshotter : public QObject
{
    Q_OBJECT
public:
    explicit Screenshotter(const QString &directory, QObject *parent = nullptr);

    // Creates the directory; false with the reason when it cannot be written.
    bool prepare(QString *error);
    // Takes the picture once pending layout work is done; a failure is returned in words.
    QString capture(QWidget *widget, const QString &tag);
    int count() const { return m_count; }

private:
    QString m_directory;
    int m_count = 0;
};

#endif // SCREENSHOTTER_H
