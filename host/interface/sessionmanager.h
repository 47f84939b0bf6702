#ifndef SESSIONMANAGER_H
#define SESSIONMANAGER_H

#include <QtCore/QObject>
#include <QtCore/QPointer>

#include "formproject.h"
#include "hostexport.h"

// The customer session of the terminal; plugins use it to find the active form project.
class PAYMENTHOST_EXPORT SessionManager : public QObject
{
    Q_OBJECT
public:
    explicit SessionManager(QObject *parent = nullptr);

    void setActiveProject(FormProject *project);
    FormProject *activeProject() const { return m_activeProject.data(); }

private:
    QPointer<FormProject> m_activeProject;
};

#endif // SESSIONMANAGER_H
