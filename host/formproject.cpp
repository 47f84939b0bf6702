#include "formproject.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>

FormProject::FormProject(const QString &projectDir, QObject *parent)
    : QObject(parent)
    , m_projectDir(projectDir)
{
}

QString FormProject::defaultProjectDir()
{
    // Programs live in <prefix>/bin, the forms in <prefix>/share/paymenthost/forms, both in an
    // install and in the build tree.
    const QDir bin(QCoreApplication::applicationDirPath());
    const QString candidate = bin.absoluteFilePath(QStringLiteral("../share/paymenthost/forms"));
    if (QFileInfo(candidate).isDir())
        return QDir::cleanPath(candidate);
    return QString();
}
