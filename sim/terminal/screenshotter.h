#ifndef SCREENSHOTTER_H
#define SCREENSHOTTER_H

#include <QtCore/QJsonObject>
#include <QtCore/QObject>
#include <QtCore/QString>

class QWidget;

// Writes numbered PNG pictures of the terminal's window into a directory, one per screen change,
// each with a JSON description beside it: the window's size and every visible widget's class,
// name, text and geometry in window coordinates, for checks a picture cannot answer.
class Screenshotter : public QObject
{
    Q_OBJECT
public:
    explicit Screenshotter(const QString &directory, QObject *parent = nullptr);

    // Creates the directory; false with the reason when it cannot be written.
    bool prepare(QString *error);
    // Takes the picture and its description once pending layout work is done; a failure is
    // returned in words.
    QString capture(QWidget *window, const QString &tag);
    static QJsonObject describe(QWidget *window);
    int count() const { return m_count; }

private:
    QString m_directory;
    int m_count = 0;
};

#endif // SCREENSHOTTER_H
