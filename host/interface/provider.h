#ifndef PROVIDER_H
#define PROVIDER_H

#include <QtCore/QList>
#include <QtCore/QString>

#include "hostexport.h"
#include "providerparameter.h"

// A payee of the terminal. A provider may be a variant of a base provider, whose rules it shares.
class PAYMENTHOST_EXPORT Provider
{
public:
    Provider(qint64 id, qint64 baseProviderId, const QString &name,
             const QList<ProviderParameter> &parameters = QList<ProviderParameter>());

    qint64 id() const { return m_id; }
    qint64 baseProviderId() const { return m_baseProviderId; }
    QString name() const { return m_name; }
    // The provider's own list: values set on its elements are what the payment is made with.
    QList<ProviderParameter> &parameters() { return m_parameters; }
    const QList<ProviderParameter> &parameters() const { return m_parameters; }

private:
    qint64 m_id;
    qint64 m_baseProviderId;
    QString m_name;
    QList<ProviderParameter> m_parameters;
};

#endif // PROVIDER_H
