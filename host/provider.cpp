#include "provider.h"

Provider::Provider(qint64 id, qint64 baseProviderId, const QString &name,
                   const QList<ProviderParameter> &parameters)
    : m_id(id)
    , m_baseProviderId(baseProviderId)
    , m_name(name)
    , m_parameters(parameters)
{
}
