#include "dialoguedriver.h"

#include "hostmonitor.h"

DialogueDriver::DialogueDriver(QObject *pluginInstance)
    : fixture(pluginInstance)
{
    connect(HostMonitor::instance(), SIGNAL(messageShown(MessageWidgetController*)),
            this, SLOT(messageShown(MessageWidgetController*)));
    connect(HostMonitor::instance(), SIGNAL(parameterShown(PluginProviderParameterInputController*)),
            this, SLOT(parameterShown(PluginProviderParameterInputController*)));
}

bool DialogueDriver::start()
{
    if (!fixture.pluginObject || !open(fixture.provider.data()))
        return false;
    fixture.plugin->showInitScreen();
    return true;
}

PluginBaseFormViewer *DialogueDriver::open(Provider *provider)
{
    PluginBaseFormViewer *opened = dynamic_cast<PluginBaseFormViewer *>(
        fixture.plugin->start(provider, Currency(643), &fixture.session));
    if (opened && opened != fixture.viewer) {
        fixture.viewer = opened;
        connect(opened, SIGNAL(cancelRequested()), this, SLOT(cancelRequested()));
        connect(opened, SIGNAL(payDetailRequested(QVariantMap)), this, SLOT(payDetailRequested(QVariantMap)));
    }
    return opened;
}

void DialogueDriver::payDetailRequested(const QVariantMap &details)
{
    ++m_payDetails;
    m_lastPayDetail = details;
}

bool DialogueDriver::enter(const QString &text)
{
    PluginProviderParameterInputController *input = lastShownInput().controller;
    if (!input)
        return false;
    input->setText(text);
    if (!input->canGoNext())
        return false;
    input->next();
    return true;
}

bool DialogueDriver::enterEach(const QStringList &texts)
{
    for (const QString &text : texts) {
        if (!enter(text))
            return false;
    }
    return true;
}

bool DialogueDriver::choose(int position)
{
    PluginProviderParameterInputController *input = lastShownInput().controller;
    if (!input || !input->choose(position))
        return false;
    input->next();
    return true;
}

bool DialogueDriver::back()
{
    PluginProviderParameterInputController *input = lastShownInput().controller;
    if (!input)
        return false;
    input->back();
    return true;
}

void DialogueDriver::answer(const QVariantMap &body, const QVariantMap &step)
{
    QVariantMap filled = body;
    if (!filled.contains(QStringLiteral("msgType")))
        filled.insert(QStringLiteral("msgType"), QStringLiteral("tavrinPluginRequest"));
    if (!filled.contains(QStringLiteral("uid")))
        filled.insert(QStringLiteral("uid"), lastUid());
    fixture.bus.answerNow(BusProbe::answer(filled, step));
}

void DialogueDriver::answerStep(int step, bool completed, const QVariantList &params)
{
    fixture.bus.answerNow(BusProbe::stepAnswer(lastUid(), step, completed, params));
}

DialogueDriver::ShownMessage DialogueDriver::lastShownMessage() const
{
    return shownMessages.isEmpty() ? ShownMessage() : shownMessages.last();
}

QString DialogueDriver::lastMessageSummary() const
{
    const ShownMessage shown = lastShownMessage();
    return QStringLiteral("%1|%2|%3").arg(shown.text).arg(shown.timeout).arg(shown.buttons);
}

DialogueDriver::ShownInput DialogueDriver::lastShownInput() const
{
    return shownInputs.isEmpty() ? ShownInput() : shownInputs.last();
}

QStringList DialogueDriver::shownNames() const
{
    QStringList names;
    for (const ShownInput &input : shownInputs)
        names << input.parameter.name();
    return names;
}

void DialogueDriver::clearShown()
{
    shownMessages.clear();
    shownInputs.clear();
}

void DialogueDriver::messageShown(MessageWidgetController *controller)
{
    shownMessages.append({controller, controller->text(), controller->timeout(), controller->buttons()});
}

void DialogueDriver::parameterShown(PluginProviderParameterInputController *controller)
{
    shownInputs.append({controller, controller->providerName(), controller->parameter(),
                        controller->isReadOnly()});
}
