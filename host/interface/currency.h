#ifndef CURRENCY_H
#define CURRENCY_H

#include "hostexport.h"

// The currency of a payment, known by its ISO 4217 numeric code (643 is the rouble).
class PAYMENTHOST_EXPORT Currency
{
public:
    Currency(int number3 = 643);

    int number3() const { return m_number3; }

private:
    int m_number3;
};

#endif // CURRENCY_H
