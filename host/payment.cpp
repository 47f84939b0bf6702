#include "payment.h"

Payment::Payment(qint64 providerId, qint64 amount)
    : m_providerId(providerId)
    , m_amount(amount)
{
}
