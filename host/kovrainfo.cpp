#include "kovrainfo.h"

KovraInfo::KovraInfo(unsigned int kovraId)
    : m_kovraId(kovraId)
{
}
