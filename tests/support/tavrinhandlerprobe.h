#ifndef TAVRINHANDLERPROBE_H
#define TAVRINHANDLERPROBE_H

#include <QtCore/QObject>
#include <QtCore/QString>

#include "tavrinpluginhandler.h"

// Reads the state of a handler that the host cannot see: the step index and the controllers
// it holds. For suites and fuzzers that link the plugin's objects.
class TavrinHandlerProbe
{
public:
    explicit TavrinHandlerProbe(const TavrinPluginHandler *handler) : m_handler(handler) {}

    int parameterIndex() const { return m_handler->currentPayParameterIndex; }
    int parameterCount() const { return m_handler->payParameters.size(); }
    QString requestUid() const { return m_handler->requestUid; }
    int currentStep() const { return m_handler->currentStep; }

    MessageWidgetController *messageController() const
    {
        return m_handler->messageController.data();
    }
    MessageWidgetController *helperMessageController() const
    {
        return m_handler->helperMessageController.data();
    }
    PluginProviderParameterInputController *inputController() const
    {
        return m_handler->inputController.data();
    }
    PluginBaseFormViewer *formViewer() const { return m_handler->formViewer.data(); }

private:
    const TavrinPluginHandler *m_handler;
};

#endif // TAVRINHANDLERPROBE_H
