#include "hostmonitor.h"

HostMonitor::HostMonitor(QObject *parent)
    : QObject(parent)
{
}

HostMonitor *HostMonitor::instance()
{
    static HostMonitor monitor;
    return &monitor;
}
