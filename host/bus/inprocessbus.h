#ifndef INPROCESSBUS_H
#define INPROCESSBUS_H

#include <QtCore/QObject>
#include <QtCore/QVariantMap>

#include "busexport.h"

// A message bus inside one process, between the terminal's pay screens and a check service.
// Like a broker it never delivers inside the call that sent: both directions go through the
// event loop. A pay screen takes send() as its receiver slot and messageReceived() as its
// sender signal; a service listens to requestReceived() and answers with publish().
class PAYMENTHOSTBUS_EXPORT InProcessBus : public QObject
{
    Q_OBJECT
public:
    explicit InProcessBus(QObject *parent = nullptr);

public slots:
    void send(const QVariantMap &message);
    void publish(const QVariantMap &message);

signals:
    void requestReceived(QVariantMap message);
    void messageReceived(QVariantMap message);
};

#endif // INPROCESSBUS_H
