#ifndef FORMCACHE_H
#define FORMCACHE_H

#include <QtCore/QByteArray>
#include <QtCore/QHash>
#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QString>

class FormFrame;
class QUiLoader;
class QWidget;

// Builds forms for every FormViewer of the process with one Designer loader, from form files
// read once, and keeps the forms of pay screens that are gone for the next ones, as a terminal
// keeps its screens loaded. Making a loader scans the designer plugin folders, and building,
// styling and dropping a form's widgets for every customer cost a dialogue most of its time.
class FormCache : public QObject
{
    Q_OBJECT
public:
    // The process's cache; null while there is no application object.
    static FormCache *instance();

    // The bytes of the form file at path; false with the reason when it cannot be read.
    // A file read once is not read again: a form changed on disk while the process runs is
    // seen by the next process only, as a terminal loads its forms once too. Keyed by the path
    // as given; a file that could not be read is tried again next time.
    bool read(const QString &path, QByteArray *content, QString *error);
    // The form described by content, made a child of parent; null with the reason when content
    // is no form.
    QWidget *build(const QByteArray &content, QWidget *parent, QString *error);

    // What a form is kept under: the same file, name and substitutions give the same form.
    static QString keyOf(const QString &path, const QString &formName,
                         const QMap<QString, QString> &substitutions);
    // A kept frame for key, taken out of the cache, or null when none is kept.
    FormFrame *takeSpare(const QString &key);
    // Keeps frame, already put back to what it showed when built, for the next screen that
    // loads its form; deletes it instead when enough are kept or the application is closing.
    void keepSpare(FormFrame *frame);

private:
    explicit FormCache(QObject *parent);

    QUiLoader *m_loader;
    QHash<QString, QByteArray> m_files;
    QHash<QString, QList<QPointer<FormFrame>>> m_spares;
};

#endif // FORMCACHE_H
