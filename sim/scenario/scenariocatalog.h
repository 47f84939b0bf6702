#ifndef SCENARIOCATALOG_H
#define SCENARIOCATALOG_H

#include <QtCore/QList>
#include <QtCore/QString>

#include "scenario.h"

// The scenarios that come with the simulator: the built-in one, compiled into the program, and
// the shipped files, installed beside it.
class ScenarioCatalog
{
public:
    struct Entry
    {
        QString name;
        QString path;
        QString description;
    };

    static QString builtInPath();
    // Where the shipped scenarios lie, relative to the running program.
    static QString shippedDir();
    // Every shipped scenario that reads without a mistake; the others are named in *problems.
    static QList<Entry> shipped(QStringList *problems);

    // A shipped scenario's name or a file; the built-in scenario for an empty name.
    static bool load(const QString &nameOrFile, Scenario *scenario, QString *origin, QString *error);
};

#endif // SCENARIOCATALOG_H
