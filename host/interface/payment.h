#ifndef PAYMENT_H
#define PAYMENT_H

#include <QtCore/QString>
#include <QtCore/QVariantMap>

#include "hostexport.h"

// One payment as the terminal application books it. Plugins only see it in the optional
// pay-check operations of IPayByProvider.
class PAYMENTHOST_EXPORT Payment
{
public:
    Payment() = default;
    Payment(qint64 providerId, qint64 amount);

    qint64 providerId() const { return m_providerId; }
    qint64 amount() const { return m_amount; }
    QVariantMap fields() const { return m_fields; }
    void setFields(const QVariantMap &fields) { m_fields = fields; }

private:
    qint64 m_providerId = 0;
    qint64 m_amount = 0;
    QVariantMap m_fields;
};

#endif // PAYMENT_H
