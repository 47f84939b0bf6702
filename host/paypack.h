#ifndef PAYPACK_H
#define PAYPACK_H

#include <QtCore/QList>

#include "hostexport.h"
#include "payment.h"

// The payments of one customer session, as handed to a plugin before they are booked.
class PAYMENTHOST_EXPORT PayPack
{
public:
    PayPack() = default;

    QList<Payment> &payments() { return m_payments; }
    const QList<Payment> &payments() const { return m_payments; }

private:
    QList<Payment> m_payments;
};

#endif // PAYPACK_H
