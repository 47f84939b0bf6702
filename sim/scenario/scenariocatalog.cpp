#include "scenariocatalog.h"

#include "scenarioparser.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>

QString ScenarioCatalog::builtInPath()
{
    return QStringLiteral(":/tavrin-terminal/builtin-scenario.json");
}

QString ScenarioCatalog::shippedDir()
{
    const QDir bin(QCoreApplication::applicationDirPath());
    return QDir::cleanPath(bin.absoluteFilePath(QStringLiteral(TAVRIN_SCENARIO_DIR_FROM_BIN)));
}

QList<ScenarioCatalog::Entry> ScenarioCatalog::shipped(QStringList *problems)
{
    QList<Entry> entries;
    const QDir dir(shippedDir());
    const QFileInfoList files = dir.entryInfoList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QFileInfo &file : files) {
        Scenario scenario;
        QString error;
        if (!ScenarioParser::parseFile(file.absoluteFilePath(), &scenario, &error)) {
            problems->append(QStringLiteral("%1: %2").arg(file.fileName(), error));
            continue;
        }
        entries.append(Entry{file.completeBaseName(), file.absoluteFilePath(), scenario.description});
    }
    return entries;
}

bool ScenarioCatalog::load(const QString &nameOrFile, Scenario *scenario, QString *origin, QString *error)
{
    QString path = nameOrFile.isEmpty() ? builtInPath() : nameOrFile;
    if (!nameOrFile.isEmpty() && !QFileInfo(path).isFile()) {
        const QString shippedFile = QDir(shippedDir()).filePath(nameOrFile + QStringLiteral(".json"));
        if (!QFileInfo(shippedFile).isFile()) {
            *error = QStringLiteral("no scenario file \"%1\" and no shipped scenario of that name "
                                    "in %2 (see --list)").arg(nameOrFile, shippedDir());
            return false;
        }
        path = shippedFile;
    }
    *origin = nameOrFile.isEmpty() ? QStringLiteral("built-in scenario") : path;
    QString problem;
    if (!ScenarioParser::parseFile(path, scenario, &problem)) {
        *error = QStringLiteral("%1: %2").arg(*origin, problem);
        return false;
    }
    return true;
}
