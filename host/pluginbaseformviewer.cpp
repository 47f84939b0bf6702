#include "pluginbaseformviewer.h"

#include <QtCore/QLoggingCategory>
#include <QtCore/QMetaObject>

Q_LOGGING_CATEGORY(lcPayViewer, "paymenthost.payviewer")

namespace {

// SIGNAL() and SLOT() prefix a code digit; a host may hand the bare signature too.
QByteArray withMethodCode(const char *signature, char code)
{
    QByteArray text(signature);
    if (text.isEmpty() || (text.at(0) != '0' && text.at(0) != '1' && text.at(0) != '2'))
        text.prepend(code);
    return text;
}

} // namespace

PluginBaseFormViewer::PluginBaseFormViewer(SessionManager *sessionManager, Provider *provider,
                                           const Currency &currency, QString messageType,
                                           QWidget *parent)
    : FormViewer(sessionManager, false, parent)
    , m_provider(provider)
    , m_currency(currency)
    , m_messageType(messageType)
{
}

PluginBaseFormViewer::~PluginBaseFormViewer() = default;

bool PluginBaseFormViewer::setMessageReciever(QObject *receiver, const char *slot)
{
    if (m_receiver)
        disconnect(this, SIGNAL(outgoingMessage(QVariantMap)), m_receiver, nullptr);
    m_receiver = receiver;
    if (!receiver || !slot)
        return false;
    const QByteArray method = withMethodCode(slot, '1');
    if (!connect(this, SIGNAL(outgoingMessage(QVariantMap)), receiver, method.constData())) {
        qCWarning(lcPayViewer) << "bus receiver has no slot" << method.mid(1);
        m_receiver = nullptr;
        return false;
    }
    return true;
}

bool PluginBaseFormViewer::setMessageSender(QObject *sender, const char *signal)
{
    if (m_sender)
        disconnect(m_sender, nullptr, this, SLOT(relayBusMessage(QVariantMap)));
    m_sender = sender;
    if (!sender || !signal)
        return false;
    const QByteArray method = withMethodCode(signal, '2');
    if (!connect(sender, method.constData(), this, SLOT(relayBusMessage(QVariantMap)))) {
        qCWarning(lcPayViewer) << "bus sender has no signal" << method.mid(1);
        m_sender = nullptr;
        return false;
    }
    return true;
}

void PluginBaseFormViewer::sendStompMessage(QVariantMap message)
{
    if (message.value(QStringLiteral("msgType")).toString().isEmpty())
        message.insert(QStringLiteral("msgType"), m_messageType);
    emit outgoingMessage(message);
}

void PluginBaseFormViewer::needCancel()
{
    emit cancelRequested();
}

void PluginBaseFormViewer::needShowPayDetail(QVariantMap details)
{
    emit payDetailRequested(details);
}

void PluginBaseFormViewer::relayBusMessage(const QVariantMap &message)
{
    const QVariantMap body = message.value(QStringLiteral("message")).toMap();
    if (body.value(QStringLiteral("msgType")).toString() == m_messageType)
        emit incomingMessage(message);
}
