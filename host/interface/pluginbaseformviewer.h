#ifndef PLUGINBASEFORMVIEWER_H
#define PLUGINBASEFORMVIEWER_H

#include <QtCore/QPointer>
#include <QtCore/QVariantMap>

#include "currency.h"
#include "formviewer.h"
#include "hostexport.h"
#include "ipaywidget.h"
#include "kovrainfo.h"

class Provider;

// The pay screen that a plugin runs its dialogue in. It is also the plugin's end of the bus:
// bus messages of the plugin's message type come in as incomingMessage(), and what the plugin
// sends goes to the bus object given as receiver. The host acts on cancelRequested() and
// payDetailRequested(), which it must handle through its event loop, never by deleting the
// viewer inside them.
class PAYMENTHOST_EXPORT PluginBaseFormViewer : public FormViewer, public IPayWidget
{
    Q_OBJECT
public:
    PluginBaseFormViewer(SessionManager *sessionManager, Provider *provider,
                         const Currency &currency, QString messageType,
                         QWidget *parent = nullptr);
    ~PluginBaseFormViewer() override;

    // The receiver's slot, taking a QVariantMap, takes what sendStompMessage() sends; with a
    // null receiver nothing is sent. The signature may come with or without SLOT()'s code.
    virtual bool setMessageReciever(QObject *receiver, const char *slot);
    // The sender's signal, carrying a QVariantMap, brings bus messages; a null sender brings
    // none.
    virtual bool setMessageSender(QObject *sender, const char *signal);
    virtual void sendStompMessage(QVariantMap message);

    void setInfo(const KovraInfo &info) { m_info = info; }
    KovraInfo info() const { return m_info; }
    Provider *provider() const { return m_provider; }
    Currency currency() const { return m_currency; }
    QString messageType() const { return m_messageType; }

public slots:
    void needCancel();
    void needShowPayDetail(QVariantMap details);

signals:
    void incomingMessage(QVariantMap message);
    void cancelRequested();
    void payDetailRequested(QVariantMap details);
    // Carries sendStompMessage() to the receiver's slot.
    void outgoingMessage(QVariantMap message);

private slots:
    void relayBusMessage(const QVariantMap &message);

private:
    Provider *m_provider;
    Currency m_currency;
    QString m_messageType;
    KovraInfo m_info;
    QPointer<QObject> m_receiver;
    QPointer<QObject> m_sender;
};

#endif // PLUGINBASEFORMVIEWER_H
