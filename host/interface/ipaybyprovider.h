#ifndef IPAYBYPROVIDER_H
#define IPAYBYPROVIDER_H

#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtCore/QSet>
#include <QtCore/QString>
#include <QtCore/QVariant>

#include "payment.h"

class Currency;
class IPayWidget;
class KovraInfo;
class PayPack;
class Provider;
class SessionManager;
class QWidget;

#define IPayByProvider_iid "org.paymenthost.IPayByProvider/1.0"

// What the terminal application asks of a plugin that takes over the payment dialogue for some
// providers. The operations with a body are optional: a plugin that does not override them gets
// the answer the application expects from a plugin without that feature.
class IPayByProvider
{
public:
    virtual ~IPayByProvider() {}

    virtual QString pluginVersion() const = 0;
    virtual QString pluginBuild() const = 0;
    virtual QSet<qint64> supportedProviders() const = 0;
    virtual bool setMessageReciever(QObject *receiver, const char *slot) = 0;
    virtual bool setMessageSender(QObject *sender, const char *signal) = 0;
    virtual void setKovraInfo(const KovraInfo &info) = 0;
    virtual IPayWidget *start(Provider *provider, const Currency &currency,
                              SessionManager *sessionManager) = 0;
    virtual bool hasSettingsWidget() { return false; }
    virtual bool needPaymentPredProcessing() { return false; }
    virtual bool needPaymentPostProcessing() { return false; }
    virtual bool needPaymentPayCheck() { return false; }
    virtual bool needPaymentJsonPayCheck() { return false; }
    virtual bool needCloseCycleSummCheck() { return false; }
    virtual QVariantList prepareCloseCycleSummCheck() { return QVariantList(); }
    virtual void startWaitPostProcessing(QVariant data) { Q_UNUSED(data); }
    virtual void doPaymentPredProcessing(SessionManager *sessionManager, PayPack *pack)
    {
        Q_UNUSED(sessionManager);
        Q_UNUSED(pack);
    }
    virtual bool doPaymentPayCheck(SessionManager *sessionManager, Payment payment,
                                   Provider *provider, QVariantMap request, QVariantMap *answer)
    {
        Q_UNUSED(sessionManager);
        Q_UNUSED(payment);
        Q_UNUSED(provider);
        Q_UNUSED(request);
        Q_UNUSED(answer);
        return false;
    }
    virtual void sendPaymentJsonPayCheck(SessionManager *sessionManager, Payment payment,
                                         Provider *provider, QVariantMap *request)
    {
        Q_UNUSED(sessionManager);
        Q_UNUSED(payment);
        Q_UNUSED(provider);
        Q_UNUSED(request);
    }
    virtual QWidget *getSettingsWidget(SessionManager *sessionManager)
    {
        Q_UNUSED(sessionManager);
        return nullptr;
    }
    virtual void stop() = 0;
    virtual void showInitScreen() = 0;
    virtual QString pluginDescription() = 0;
    virtual QVariantMap pluginFormTemplates() = 0;
    virtual int pluginId() = 0;
    virtual QString pluginStringId() = 0;
    virtual QVariantList getStompFilters() = 0;
};

Q_DECLARE_INTERFACE(IPayByProvider, IPayByProvider_iid)

#endif // IPAYBYPROVIDER_H
