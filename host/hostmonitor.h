#ifndef HOSTMONITOR_H
#define HOSTMONITOR_H

#include <QtCore/QObject>

#include "hostexport.h"

class MessageWidgetController;
class PluginProviderParameterInputController;

// Announces what the host puts on the customer's screen, for the terminal simulator's
// transcript and screenshots and for tests that watch the screens rather than the plugin.
class PAYMENTHOST_EXPORT HostMonitor : public QObject
{
    Q_OBJECT
public:
    static HostMonitor *instance();

signals:
    void messageShown(MessageWidgetController *controller);
    void messageClosed(MessageWidgetController *controller, int code);
    void parameterShown(PluginProviderParameterInputController *controller);

private:
    explicit HostMonitor(QObject *parent = nullptr);
};

#endif // HOSTMONITOR_H
