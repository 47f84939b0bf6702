#ifndef FORMCACHE_H
#define FORMCACHE_H

#include <QtCore/QByteArray>
#include <QtCore/QHash>
#include <QtCore/QObject>
#include <QtCore/QString>

class QUiLoader;
class QWidget;

// Builds forms for every FormViewer of the process with one Designer loader, from form files
// read once. Making a loader scans the designer plugin folders, and a new pay screen loads its
// forms again for every customer: both are paid once per process here.
class FormCache : public QObject
{
    Q_OBJECT
public:
    // The process's cache, owned by the application object; null without one.
    static FormCache *instance();

    // The bytes of the form file at path; false with the reason when it cannot be read.
    // A file read once is not read again: a form changed on disk while the process runs is
    // seen by the next process only, as a terminal loads its forms once too. Keyed by the path
    // as given; a file that could not be read is tried again next time.
    bool read(const QString &path, QByteArray *content, QString *error);
    // The form described by content, made a child of parent; null with the reason when content
    // is no form.
    QWidget *build(const QByteArray &content, QWidget *parent, QString *error);

private:
    explicit FormCache(QObject *parent);

    QUiLoader *m_loader;
    QHash<QString, QByteArray> m_files;
};

#endif // FORMCACHE_H
