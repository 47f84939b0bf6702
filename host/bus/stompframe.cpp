#include "stompframe.h"

namespace {

const char *const knownCommands[] = {
    "CONNECT", "STOMP", "CONNECTED", "SEND", "SUBSCRIBE", "UNSUBSCRIBE", "ACK", "NACK",
    "BEGIN", "COMMIT", "ABORT", "DISCONNECT", "MESSAGE", "RECEIPT", "ERROR",
};

const QByteArray contentLength("content-length");

QString headerProblem(const QByteArray &text, bool escaped, bool isName)
{
    if (text.contains('\0'))
        return QStringLiteral("contains a NUL byte");
    if (escaped)
        return QString();
    if (text.contains('\n') || text.contains('\r'))
        return QStringLiteral("contains a line break");
    if (isName && text.contains(':'))
        return QStringLiteral("contains ':'");
    return QString();
}

} // namespace

StompFrame::StompFrame(const QByteArray &command, const QList<Header> &headers,
                       const QByteArray &body)
    : m_command(command)
    , m_headers(headers)
    , m_body(body)
{
}

bool StompFrame::hasHeader(const QByteArray &name) const
{
    for (const Header &header : m_headers) {
        if (header.first == name)
            return true;
    }
    return false;
}

QByteArray StompFrame::header(const QByteArray &name, const QByteArray &defaultValue) const
{
    for (const Header &header : m_headers) {
        if (header.first == name)
            return header.second;
    }
    return defaultValue;
}

void StompFrame::addHeader(const QByteArray &name, const QByteArray &value)
{
    m_headers.append(Header(name, value));
}

void StompFrame::setHeader(const QByteArray &name, const QByteArray &value)
{
    bool placed = false;
    for (int i = 0; i < m_headers.size();) {
        if (m_headers.at(i).first != name) {
            ++i;
        } else if (!placed) {
            m_headers[i].second = value;
            placed = true;
            ++i;
        } else {
            m_headers.removeAt(i);
        }
    }
    if (!placed)
        addHeader(name, value);
}

void StompFrame::removeHeader(const QByteArray &name)
{
    for (int i = m_headers.size() - 1; i >= 0; --i) {
        if (m_headers.at(i).first == name)
            m_headers.removeAt(i);
    }
}

bool StompFrame::escapesHeaders() const
{
    return m_command != "CONNECT" && m_command != "CONNECTED" && m_command != "STOMP";
}

QByteArray StompFrame::encode(QString *error) const
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return QByteArray();
    };
    if (!isKnownCommand(m_command))
        return fail(QStringLiteral("unknown STOMP command \"%1\"").arg(QString::fromUtf8(m_command)));

    const bool escaped = escapesHeaders();
    QByteArray out;
    out.reserve(m_command.size() + m_body.size() + 64 * (m_headers.size() + 1));
    out += m_command;
    out += '\n';
    for (const Header &header : m_headers) {
        if (header.first == contentLength)
            continue;
        QString problem = headerProblem(header.first, escaped, true);
        if (problem.isEmpty())
            problem = headerProblem(header.second, escaped, false);
        if (!problem.isEmpty()) {
            return fail(QStringLiteral("header \"%1\" of %2 %3")
                            .arg(QString::fromUtf8(header.first), QString::fromUtf8(m_command),
                                 problem));
        }
        out += escaped ? escape(header.first) : header.first;
        out += ':';
        out += escaped ? escape(header.second) : header.second;
        out += '\n';
    }
    if (!m_body.isEmpty()) {
        out += contentLength;
        out += ':';
        out += QByteArray::number(m_body.size());
        out += '\n';
    }
    out += '\n';
    out += m_body;
    out += '\0';
    if (error)
        error->clear();
    return out;
}

bool StompFrame::isKnownCommand(const QByteArray &command)
{
    for (const char *known : knownCommands) {
        if (command == known)
            return true;
    }
    return false;
}

QByteArray StompFrame::escape(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case ':': out += "\\c"; break;
        default: out += c; break;
        }
    }
    return out;
}

bool StompFrame::unescape(const QByteArray &text, QByteArray *out)
{
    QByteArray result;
    result.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c != '\\') {
            result += c;
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text.at(i)) {
        case '\\': result += '\\'; break;
        case 'n': result += '\n'; break;
        case 'r': result += '\r'; break;
        case 'c': result += ':'; break;
        default: return false;
        }
    }
    *out = result;
    return true;
}

bool StompFrame::operator==(const StompFrame &other) const
{
    return m_command == other.m_command && m_headers == other.m_headers && m_body == other.m_body;
}
