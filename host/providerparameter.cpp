#include "providerparameter.h"

ProviderParameter::ProviderParameter(const QString &name, const QString &label, const QString &value)
    : m_name(name)
    , m_label(label)
    , m_value(value)
{
}

QString ProviderParameter::displayValue() const
{
    if (!m_maskedView)
        return m_value;
    // Enough of the value stays readable for the customer to recognise it, not to copy it.
    const int visible = m_value.size() > 4 ? 2 : 0;
    return QString(m_value.size() - visible, QLatin1Char('*')) + m_value.right(visible);
}
