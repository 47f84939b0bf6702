#include "stompframeparser.h"

#include <cstring>

namespace {

const char *const longestCommand = "UNSUBSCRIBE";

// True while the start of a command line can still grow into a known command.
bool mayBecomeCommand(const QByteArray &start)
{
    static const char *const commands[] = {
        "CONNECT", "STOMP", "CONNECTED", "SEND", "SUBSCRIBE", "UNSUBSCRIBE", "ACK", "NACK",
        "BEGIN", "COMMIT", "ABORT", "DISCONNECT", "MESSAGE", "RECEIPT", "ERROR",
    };
    QByteArray text = start;
    if (text.endsWith('\r'))
        text.chop(1);
    if (text.size() > int(std::strlen(longestCommand)))
        return false;
    for (const char *command : commands) {
        if (QByteArray(command).startsWith(text))
            return true;
    }
    return false;
}

// Decimal digits only: a sign, spaces or a fraction are not a length.
bool parseLength(const QByteArray &text, qint64 *length)
{
    if (text.isEmpty() || text.size() > 12)
        return false;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    *length = value;
    return true;
}

} // namespace

StompFrameParser::StompFrameParser(int maxFrameSize)
    : m_maxFrameSize(qMax(16, maxFrameSize))
{
}

void StompFrameParser::setMaxFrameSize(int bytes)
{
    m_maxFrameSize = qMax(16, bytes);
}

bool StompFrameParser::feed(const QByteArray &bytes)
{
    if (hasError())
        return false;
    m_buffer.append(bytes);
    parse();
    if (hasError())
        return false;
    compact();
    return true;
}

bool StompFrameParser::finish()
{
    if (hasError())
        return false;
    if (m_stage != BetweenFrames) {
        fail(QStringLiteral("the stream ended inside a frame"), m_buffer.size());
        return false;
    }
    return true;
}

StompFrame StompFrameParser::takeFrame()
{
    return m_ready.isEmpty() ? StompFrame() : m_ready.dequeue();
}

void StompFrameParser::reset()
{
    m_buffer.clear();
    m_streamOffset = 0;
    m_pos = m_scan = m_frameStart = m_bodyStart = 0;
    m_contentLength = -1;
    m_stage = BetweenFrames;
    m_haveCommand = false;
    m_frame = StompFrame();
    m_ready.clear();
    m_error.clear();
}

void StompFrameParser::parse()
{
    while (!hasError()) {
        const int size = m_buffer.size();
        const char *data = m_buffer.constData();

        if (m_stage == BetweenFrames) {
            while (m_pos < size) {
                if (data[m_pos] == '\n') {
                    ++m_pos;
                } else if (data[m_pos] == '\r') {
                    if (m_pos + 1 >= size)
                        return; // its LF may come with the next read
                    if (data[m_pos + 1] != '\n') {
                        fail(QStringLiteral("carriage return without line feed between frames"),
                             m_pos);
                        return;
                    }
                    m_pos += 2;
                } else {
                    break;
                }
            }
            if (m_pos >= size)
                return;
            m_stage = InHeaders;
            m_frameStart = m_scan = m_pos;
            m_haveCommand = false;
            m_contentLength = -1;
            m_frame = StompFrame();
        }

        while (m_stage == InHeaders) {
            const void *found = std::memchr(data + m_scan, '\n', size_t(size - m_scan));
            const int end = found ? int(static_cast<const char *>(found) - data) : size;
            if (const void *nul = std::memchr(data + m_scan, '\0', size_t(end - m_scan))) {
                fail(QStringLiteral("NUL byte before the end of the headers"),
                     int(static_cast<const char *>(nul) - data));
                return;
            }
            // Every frame still needs at least its closing NUL after what is there.
            if (end - m_frameStart + 1 > m_maxFrameSize) {
                fail(QStringLiteral("frame larger than %1 bytes").arg(m_maxFrameSize),
                     m_frameStart);
                return;
            }
            if (!found) {
                if (!m_haveCommand && !mayBecomeCommand(m_buffer.mid(m_pos, end - m_pos))) {
                    fail(QStringLiteral("not a STOMP command"), m_pos);
                    return;
                }
                m_scan = size;
                return;
            }
            const int lineStart = m_pos;
            QByteArray line = m_buffer.mid(m_pos, end - m_pos);
            if (line.endsWith('\r'))
                line.chop(1);
            m_pos = m_scan = end + 1;
            if (line.contains('\r')) {
                fail(QStringLiteral("carriage return inside a line"), lineStart);
                return;
            }
            if (!m_haveCommand) {
                if (!StompFrame::isKnownCommand(line)) {
                    fail(QStringLiteral("unknown command \"%1\"")
                             .arg(QString::fromUtf8(line.left(32))),
                         lineStart);
                    return;
                }
                m_frame.setCommand(line);
                m_haveCommand = true;
            } else if (line.isEmpty()) {
                if (!startBody())
                    return;
            } else if (!parseHeaderLine(line)) {
                fail(m_error, lineStart);
                return;
            }
        }

        if (m_stage == InBody) {
            int end;
            if (m_contentLength >= 0) {
                if (qint64(size) < m_bodyStart + m_contentLength + 1)
                    return;
                end = int(m_bodyStart + m_contentLength);
                if (data[end] != '\0') {
                    fail(QStringLiteral("no NUL after the %1 bytes of content-length")
                             .arg(m_contentLength),
                         end);
                    return;
                }
            } else {
                const void *nul = std::memchr(data + m_scan, '\0', size_t(size - m_scan));
                end = nul ? int(static_cast<const char *>(nul) - data) : size;
                if (end + 1 - m_frameStart > m_maxFrameSize) {
                    fail(QStringLiteral("frame larger than %1 bytes").arg(m_maxFrameSize),
                         m_frameStart);
                    return;
                }
                if (!nul) {
                    m_scan = size;
                    return;
                }
            }
            m_frame.setBody(m_buffer.mid(m_bodyStart, end - m_bodyStart));
            m_ready.enqueue(m_frame);
            m_frame = StompFrame();
            m_pos = m_scan = end + 1;
            m_stage = BetweenFrames;
        }
    }
}

// On failure leaves the reason in m_error for parse() to report with the line's position.
bool StompFrameParser::parseHeaderLine(const QByteArray &line)
{
    const int colon = line.indexOf(':');
    if (colon < 0) {
        m_error = QStringLiteral("header line without ':'");
        return false;
    }
    if (colon == 0) {
        m_error = QStringLiteral("header without a name");
        return false;
    }
    QByteArray name = line.left(colon);
    QByteArray value = line.mid(colon + 1);
    if (m_frame.escapesHeaders()
        && (!StompFrame::unescape(name, &name) || !StompFrame::unescape(value, &value))) {
        m_error = QStringLiteral("undefined escape sequence in header \"%1\"")
                      .arg(QString::fromUtf8(line.left(colon).left(64)));
        return false;
    }
    m_frame.addHeader(name, value);
    return true;
}

bool StompFrameParser::startBody()
{
    m_bodyStart = m_scan = m_pos;
    m_contentLength = -1;
    if (m_frame.hasHeader("content-length")) {
        const QByteArray text = m_frame.header("content-length");
        if (!parseLength(text, &m_contentLength)) {
            fail(QStringLiteral("content-length \"%1\" is not a length")
                     .arg(QString::fromUtf8(text.left(32))),
                 m_frameStart);
            return false;
        }
        if (m_bodyStart - m_frameStart + m_contentLength + 1 > m_maxFrameSize) {
            fail(QStringLiteral("frame larger than %1 bytes").arg(m_maxFrameSize), m_frameStart);
            return false;
        }
    }
    m_stage = InBody;
    return true;
}

void StompFrameParser::fail(const QString &why, int position)
{
    m_error = QStringLiteral("%1 at byte %2").arg(why).arg(m_streamOffset + position);
    m_buffer.clear();
    m_frame = StompFrame();
    m_stage = BetweenFrames;
    m_pos = m_scan = m_frameStart = m_bodyStart = 0;
}

void StompFrameParser::compact()
{
    const int consumed = m_stage == BetweenFrames ? m_pos : m_frameStart;
    if (consumed <= 0)
        return;
    m_buffer.remove(0, consumed);
    m_streamOffset += consumed;
    m_pos -= consumed;
    m_scan -= consumed;
    m_frameStart -= consumed;
    m_bodyStart -= consumed;
}
