#include "scenario.h"

QString Scenario::endName(End end)
{
    return end == End::Payment ? QStringLiteral("payment") : QStringLiteral("cancelled");
}

QString Scenario::actionName(Input::MessageAction action)
{
    switch (action) {
    case Input::MessageAction::Ok:
        return QStringLiteral("ok");
    case Input::MessageAction::Yes:
        return QStringLiteral("yes");
    case Input::MessageAction::No:
        return QStringLiteral("no");
    case Input::MessageAction::Wait:
        return QStringLiteral("wait");
    }
    return QString();
}
