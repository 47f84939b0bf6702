#include "sessionmanager.h"

SessionManager::SessionManager(QObject *parent)
    : QObject(parent)
{
}

void SessionManager::setActiveProject(FormProject *project)
{
    m_activeProject = project;
}
