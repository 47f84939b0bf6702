#ifndef TAVRINPLUGINHANDLER_H
#define TAVRINPLUGINHANDLER_H

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QSet>
#include <QtCore/QString>
#include <QtCore/QVariant>

#include "currency.h"
#include "formviewer.h"
#include "ipaybyprovider.h"
#include "kovrainfo.h"
#include "messagewidgetcontroller.h"
#include "pluginbaseformviewer.h"
#include "pluginproviderparameterinputcontroller.h"
#include "providerparameter.h"
#include "tavrincheckanswer.h"
#include "tavrinlog.h"

class PluginViewLoadHelper;
class Provider;
class SessionManager;

// The online check of a customer before a payment to one of our providers: the customer's
// phone number goes to the check service over the terminal's bus, the data the service asks
// for is asked screen by screen, and on success the provider's payment parameters are filled
// and the customer moves on to the terminal's payment screen.
class TavrinPluginHandler : public QObject, public IPayByProvider
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IPayByProvider_iid)
    Q_INTERFACES(IPayByProvider)

public:
    static const QSet<qint64> SUPPORTED_PROVIDERS;
    static const QString pluginMessageType;
    static const QString TAVRIN_PLUGIN_VERSION;
    static const QString TAVRIN_PLUGIN_BUILD;

    explicit TavrinPluginHandler(QObject *parent = nullptr);
    ~TavrinPluginHandler() override;

    QString pluginVersion() const override;
    QString pluginBuild() const override;
    QSet<qint64> supportedProviders() const override;
    bool setMessageReciever(QObject *receiver, const char *slot) override;
    bool setMessageSender(QObject *sender, const char *signal) override;
    void setKovraInfo(const KovraInfo &info) override;
    IPayWidget *start(Provider *provider, const Currency &currency,
                      SessionManager *sessionManager) override;
    bool hasSettingsWidget() override;
    QWidget *getSettingsWidget(SessionManager *sessionManager) override;
    void stop() override;
    void showInitScreen() override;
    QString pluginDescription() override;
    QVariantMap pluginFormTemplates() override;
    int pluginId() override;
    QString pluginStringId() override;
    QVariantList getStompFilters() override;

    QVariantMap pluginFormTemplate(QString name, QString type);
    FormViewer *helperViewer() const;

    // The build stamp from the compiler's date ("May 11 2023", a one-digit day padded with a
    // space) and time ("14:39:47"), as an ISO 8601 date-time.
    static QString buildStamp(const QString &date, const QString &time);

public slots:
    QPointer<MessageWidgetController> loadPermitCancelMessagesView();
    QPointer<MessageWidgetController> loadHelperMessagesView();
    void hideHelperMessagesView();

private slots:
    void retryInputParams(int code);
    void inputAccountScreenAcceptHandler(QString val);
    void inputCurrentPayParameterBackHandler();
    void inputCurrentPayParameterNextHandler(QString val);
    void inputCurrentPayParameterFinishHandler();
    void messageFirstCheckCommandTimeoutHandler(int code);
    void sendCheckCommandTimeout(int messageCode);
    void stompIncomingMessagesHandler(const QVariantMap &message);
    void cancelAcceptHandler();
    void permitCancel();
    void permitCancelMessageResult(int exitCode);
    void exitFromMessage();
    QList<TavrinPayParameter> fillAdditional() const;
    // A waiting message closed by itself: the service did not answer in time.
    void sendAccCheckCommandTimeout();

private:
    // The request benchmark times prepareStompMessage() on its own: around it, the waiting
    // message on screen costs many times more than the request and would drown it.
    friend class RequestBench;
    // The dialogue fuzzer and the soak check, after every event, the step index and which
    // controllers the handler still holds.
    friend class TavrinHandlerProbe;

    void checkPluginViewLoadHelper();
    void showInputNumberScreen();
    QVariantMap prepareStompMessage(QVariantMap params);
    void inputCurrentPayParameter();
    QPointer<MessageWidgetController> loadMessagesView();
    void fillProviderParameters(const QList<TavrinPayParameter> &params);

    QPointer<MessageWidgetController> openMessageView(FormViewer *viewer,
                                                      QPointer<MessageWidgetController> &controller);
    void showErrorMessage(const QString &text, QObject *receiver, const char *slot);
    void releaseMessageController();
    void releaseInputController();
    void forgetDialogue();
    bool isDialogueOpen() const;
    static bool isShown(const TavrinPayParameter &parameter);
    static QMap<QString, QVariant> choiceMap(const TavrinPayParameter &parameter);
    // The value of a provider parameter to offer the customer: empty when it is one this plugin
    // wrote at a recent hand-off to the provider, which belongs to an earlier customer.
    QString offeredValue(const ProviderParameter &parameter) const;

    int currentStep;
    Provider *provider;
    SessionManager *sessionManager;
    // The pay screen and its helper view are handed to the host, which may delete them.
    QPointer<FormViewer> m_helperViewer;
    QPointer<MessageWidgetController> helperMessageController;
    QPointer<QObject> messageSender;
    QByteArray messageSenderSignal;
    QPointer<QObject> messageReceiver;
    QByteArray messageReceiverSlot;
    QString projectDir;
    KovraInfo kovraInfo;
    QPointer<PluginBaseFormViewer> formViewer;
    QPointer<MessageWidgetController> messageController;
    Currency currency;
    QString requestUid;
    PluginViewLoadHelper *viewLoadHelper;
    QList<TavrinPayParameter> payParameters;
    ProviderParameter accountParameter;
    int currentPayParameterIndex;
    QList<TavrinPayParameter> collectedPayParameters;
    QPointer<PluginProviderParameterInputController> inputController;
};

#endif // TAVRINPLUGINHANDLER_H
