#include "objectcensus.h"

#include <QtCore/QObject>

#include <atomic>

// QtCore's table of hooks for debugging tools (its private qhooks_p.h): version, size, Qt
// version, then the callbacks for every QObject made and destroyed.
extern quintptr Q_DECL_IMPORT qtHookData[];

namespace {

enum HookIndex { HookDataSize = 1, AddQObject = 3, RemoveQObject = 4 };

std::atomic<long> g_alive{0};

} // namespace

bool ObjectCensus::install()
{
    if (qtHookData[HookDataSize] <= RemoveQObject || qtHookData[AddQObject]
        || qtHookData[RemoveQObject])
        return false;
    qtHookData[AddQObject] = reinterpret_cast<quintptr>(+[](QObject *) { ++g_alive; });
    qtHookData[RemoveQObject] = reinterpret_cast<quintptr>(+[](QObject *) { --g_alive; });
    return true;
}

long ObjectCensus::alive()
{
    return g_alive.load();
}
