#ifndef PAYMENTI64IDGENERATOR_H
#define PAYMENTI64IDGENERATOR_H

#include <QtCore/QByteArray>

#include "hostexport.h"

// Makes the ids that tell a terminal's requests apart on the bus.
class PAYMENTHOST_EXPORT PaymentI64IdGenerator
{
public:
    // A non-negative id derived from the terminal, the content and a per-process sequence, so
    // that equal content sent twice within one clock tick still gets two ids.
    static qint64 generate(unsigned int kovraId, const QByteArray &data);
};

#endif // PAYMENTI64IDGENERATOR_H
