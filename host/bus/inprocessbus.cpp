#include "inprocessbus.h"

#include <QtCore/QTimer>

InProcessBus::InProcessBus(QObject *parent)
    : QObject(parent)
{
}

void InProcessBus::send(const QVariantMap &message)
{
    QTimer::singleShot(0, this, [this, message] { emit requestReceived(message); });
}

void InProcessBus::publish(const QVariantMap &message)
{
    QTimer::singleShot(0, this, [this, message] { emit messageReceived(message); });
}
