#ifndef STOMPBUS_H
#define STOMPBUS_H

#include <QtCore/QObject>
#include <QtCore/QQueue>
#include <QtCore/QSet>
#include <QtCore/QString>
#include <QtCore/QVariantMap>

#include "busexport.h"
#include "stompclient.h"

// The message bus over a STOMP broker, for either end of a check. Maps travel as the compact
// JSON text of the map (content-type application/json;charset=utf-8) and come back as the map
// of a JSON object.
//
// A terminal takes send() as its pay screen's receiver slot and messageReceived() as its
// sender signal, like InProcessBus: requests go to the request destination, each naming the
// terminal's reply destination in reply-to, and every answer on the reply destination is
// handed on, then acknowledged; answers that come before this terminal's first request are
// left over from an earlier run, and are acknowledged and dropped. The pay screen and the plugin pick their answers by message
// type and uid, so a reply destination may be shared; a shared one must be a topic, since a
// queue gives each answer to one terminal only.
//
// A check service subscribes to the request destination, gets each request with its reply-to
// from requestReceived() and answers with publish().
//
// A message that comes again with the send-id of one already handed on (sent again after a
// lost connection, or delivered again because its ACK was lost) is acknowledged and dropped.
class PAYMENTHOSTBUS_EXPORT StompBus : public QObject
{
    Q_OBJECT
public:
    enum Role { TerminalRole, ServiceRole };
    Q_ENUM(Role)

    struct PAYMENTHOSTBUS_EXPORT Settings {
        StompClient::Settings connection;
        QString requestDestination = defaultRequestDestination();
        // Where a terminal's answers come; a terminal needs one.
        QString replyDestination;
        // Sent with every SEND to and SUBSCRIBE of a /queue/ destination: RabbitMQ declares the
        // queue from them, and refuses a frame whose headers differ from the queue's.
        QList<StompFrame::Header> queueHeaders;

        // The headers that make every queue a RabbitMQ quorum queue, which outlives the node it
        // was declared on.
        static QList<StompFrame::Header> quorumQueueHeaders();
        static QString defaultRequestDestination();
        // One queue per terminal: "/queue/tavrin.replies.<kovraId>".
        static QString defaultReplyDestination(unsigned int kovraId);
    };

    explicit StompBus(Role role, const Settings &settings, QObject *parent = nullptr);
    ~StompBus() override;

    Role role() const { return m_role; }
    Settings settings() const { return m_settings; }
    // For the connection's own signals: connected, connectionLost, errorReceived, sendRefused.
    StompClient *client() const { return m_client; }

    // Subscribes and connects; false, with *error set, when the settings are not usable.
    bool open(QString *error = nullptr);
    void close();

public slots:
    // A request to the request destination, with this terminal's reply-to.
    void send(const QVariantMap &message);
    // A map to any destination: a service's answer to a request's reply-to.
    void publish(const QVariantMap &message, const QString &destination);

signals:
    // An answer, at a terminal.
    void messageReceived(QVariantMap message);
    // A request, at a service; replyTo is empty when the request named none.
    void requestReceived(QVariantMap message, QString replyTo);

private slots:
    void handleMessage(const StompFrame &frame);

private:
    bool publishTo(const QVariantMap &message, const QString &destination, bool withReplyTo);

    Role m_role;
    Settings m_settings;
    StompClient *m_client;
    QList<StompFrame::Header> headersFor(const QString &destination) const;
    // True for a send-id seen lately; remembers it otherwise.
    bool isCopy(const QByteArray &sendId);

    QString m_subscription;
    bool m_requestSent = false;
    QSet<QByteArray> m_seenSendIds;
    QQueue<QByteArray> m_sendIdOrder;
};

#endif // STOMPBUS_H
