#ifndef PAYMENTI64IDGENERATOR_H
#define PAYMENTI64IDGENERATOR_H

#include <QtCore/QByteArray>

#include "hostexport.h"

// Makes the ids that tell a terminal's requests apart on the bus.
class PAYMENTHOST_EXPORT PaymentI64IdGenerator
{
public:
    // A non-negative id derived from the terminal, the content, a per-process sequence and a
    // random number drawn once per process: equal content sent twice within one clock tick
    // gets two ids, in one process or in two (two terminals of one id started together).
    static qint64 generate(unsigned int kovraId, const QByteArray &data);
};

#endif // PAYMENTI64IDGENERATOR_H
