#ifndef FORMPROJECT_H
#define FORMPROJECT_H

#include <QtCore/QObject>
#include <QtCore/QString>

#include "hostexport.h"

// A folder of screen forms (Qt Designer files) that the terminal's screens are drawn from.
class PAYMENTHOST_EXPORT FormProject : public QObject
{
    Q_OBJECT
public:
    explicit FormProject(const QString &projectDir, QObject *parent = nullptr);

    QString projectDir() const { return m_projectDir; }

    // The folder of forms that comes with the host, for a terminal that has no project of its
    // own: next to the running program's install, or inside the build tree.
    static QString defaultProjectDir();

private:
    QString m_projectDir;
};

#endif // FORMPROJECT_H
