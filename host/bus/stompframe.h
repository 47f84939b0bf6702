#ifndef STOMPFRAME_H
#define STOMPFRAME_H

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QMetaType>
#include <QtCore/QPair>
#include <QtCore/QString>

#include "busexport.h"

// One STOMP 1.2 frame: a command, headers in the order they came or were added, and a body.
// Headers are kept as raw UTF-8 text, already unescaped; a header may repeat, and as the STOMP
// 1.2 protocol says, the first occurrence is the one that counts.
class PAYMENTHOSTBUS_EXPORT StompFrame
{
public:
    typedef QPair<QByteArray, QByteArray> Header;

    StompFrame() = default;
    explicit StompFrame(const QByteArray &command, const QList<Header> &headers = QList<Header>(),
                        const QByteArray &body = QByteArray());

    bool isNull() const { return m_command.isEmpty(); }

    QByteArray command() const { return m_command; }
    void setCommand(const QByteArray &command) { m_command = command; }

    QList<Header> headers() const { return m_headers; }
    bool hasHeader(const QByteArray &name) const;
    // The first header of that name.
    QByteArray header(const QByteArray &name, const QByteArray &defaultValue = QByteArray()) const;
    // Appends; an earlier header of the same name still wins.
    void addHeader(const QByteArray &name, const QByteArray &value);
    // Replaces every header of that name by one, where the first one stood.
    void setHeader(const QByteArray &name, const QByteArray &value);
    void removeHeader(const QByteArray &name);

    QByteArray body() const { return m_body; }
    void setBody(const QByteArray &body) { m_body = body; }

    // CONNECT and CONNECTED carry their headers as they are; every other frame escapes them.
    bool escapesHeaders() const;

    // The frame on the wire, ending in NUL. A frame with a body says its length in
    // content-length (whatever such header it had), so a NUL inside the body is safe. Empty,
    // with *error set, for a frame that cannot be written: an unknown command, or a header
    // that no escaping can carry (NUL anywhere; CR, LF or a ':' in a name of CONNECT).
    QByteArray encode(QString *error = nullptr) const;

    static bool isKnownCommand(const QByteArray &command);
    // Header escaping of the STOMP 1.2 protocol: backslash, LF, CR and ':'.
    static QByteArray escape(const QByteArray &text);
    // False for an escape the protocol does not define, or a backslash at the end.
    static bool unescape(const QByteArray &text, QByteArray *out);

    bool operator==(const StompFrame &other) const;
    bool operator!=(const StompFrame &other) const { return !(*this == other); }

private:
    QByteArray m_command;
    QList<Header> m_headers;
    QByteArray m_body;
};

Q_DECLARE_METATYPE(StompFrame)

#endif // STOMPFRAME_H
