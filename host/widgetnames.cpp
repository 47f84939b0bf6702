#include "widgetnames.h"

WidgetNames::WidgetNames(bool useCustomNames, QObject *parent)
    : QObject(parent)
    , m_useCustomNames(useCustomNames)
{
}

QString WidgetNames::messageViewFileName() const
{
    return m_useCustomNames ? QStringLiteral("customMessagesView.ui")
                            : QStringLiteral("messagesView.ui");
}

QString WidgetNames::parameterInputViewFileName() const
{
    return m_useCustomNames ? QStringLiteral("customParameterInputView.ui")
                            : QStringLiteral("parameterInputView.ui");
}
