#ifndef KOVRAINFO_H
#define KOVRAINFO_H

#include "hostexport.h"

// The terminal unit this application runs on, as registered with the processing centre.
class PAYMENTHOST_EXPORT KovraInfo
{
public:
    KovraInfo(unsigned int kovraId = 0);

    unsigned int kovraId() const { return m_kovraId; }

private:
    unsigned int m_kovraId;
};

#endif // KOVRAINFO_H
