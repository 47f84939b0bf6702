#ifndef DIALOGUEDRIVER_H
#define DIALOGUEDRIVER_H

#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVariantMap>

#include "messagewidgetcontroller.h"
#include "pluginfixture.h"
#include "pluginproviderparameterinputcontroller.h"
#include "providerparameter.h"

// Plays the customer and the check service around a loaded plugin. What the customer sees is
// taken from the host's announcements, in the order they were made; what the customer does goes
// through the controller that showed the screen last, so that a test controls when posted
// deletions happen; answers travel over the bus probe.
class DialogueDriver : public QObject
{
    Q_OBJECT
public:
    struct ShownMessage
    {
        QPointer<MessageWidgetController> controller;
        QString text;
        int timeout = 0;
        int buttons = 0;
    };
    struct ShownInput
    {
        QPointer<PluginProviderParameterInputController> controller;
        QString providerName;
        ProviderParameter parameter;
        bool readOnly = false;
    };

    // Drives pluginInstance when given (it takes it over), else the loaded module.
    explicit DialogueDriver(QObject *pluginInstance = nullptr);

    // start() and showInitScreen() for the fixture's provider, watching the pay screen it gets.
    bool start();
    // start() alone for provider (null as a host may pass it); the pay screen, watched.
    PluginBaseFormViewer *open(Provider *provider);
    PluginBaseFormViewer *viewer() const { return fixture.viewer.data(); }
    // Counted over the driver's life, whatever pay screen asked.
    int cancels() const { return m_cancels; }
    int payDetails() const { return m_payDetails; }
    QVariantMap lastPayDetail() const { return m_lastPayDetail; }

    // The customer on the screen shown last: types text and presses Next; false when there is
    // no screen or the screen refused the value.
    bool enter(const QString &text);
    // Each text on the screen that follows the one before; false at the first refused.
    bool enterEach(const QStringList &texts);
    // Picks a choice and presses Next.
    bool choose(int position);
    bool back();

    // The service answering the last request; "msgType" and "uid" are filled in when absent.
    void answer(const QVariantMap &body, const QVariantMap &step = QVariantMap());
    void answerStep(int step, bool completed, const QVariantList &params = QVariantList());

    int sentCount() const { return fixture.bus.sent.size(); }
    QString lastUid() const { return fixture.bus.lastUid(); }

    ShownMessage lastShownMessage() const;
    // The message shown last as "text|seconds|buttons", for one comparison.
    QString lastMessageSummary() const;
    ShownInput lastShownInput() const;
    // Names of the parameters shown since the last clearShown(), in order.
    QStringList shownNames() const;
    void clearShown();

    PluginFixture fixture;
    QList<ShownMessage> shownMessages;
    QList<ShownInput> shownInputs;

private slots:
    void messageShown(MessageWidgetController *controller);
    void parameterShown(PluginProviderParameterInputController *controller);
    void cancelRequested() { ++m_cancels; }
    void payDetailRequested(const QVariantMap &details);

private:
    int m_cancels = 0;
    int m_payDetails = 0;
    QVariantMap m_lastPayDetail;
};

#endif // DIALOGUEDRIVER_H
