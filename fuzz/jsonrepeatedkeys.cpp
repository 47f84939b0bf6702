#include "jsonrepeatedkeys.h"

#include <QtCore/QSet>
#include <QtCore/QVector>

namespace {

struct Level
{
    bool isObject;
    bool expectsKey;
    QSet<QString> keys;
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool JsonRepeatedKeys::present(const QByteArray &json)
{
    QVector<Level> levels;
    int at = 0;
    while (at < json.size()) {
        const char c = json.at(at);
        if (c == '{' || c == '[') {
            levels.append(Level{c == '{', c == '{', QSet<QString>()});
            ++at;
        } else if (c == '}' || c == ']') {
            if (!levels.isEmpty())
                levels.removeLast();
            ++at;
        } else if (c == ',' || c == ':') {
            if (!levels.isEmpty() && levels.last().isObject)
                levels.last().expectsKey = c == ',';
            ++at;
        } else if (c == '"') {
            QString text;
            at = readString(json, at + 1, &text);
            if (!levels.isEmpty() && levels.last().isObject && levels.last().expectsKey) {
                Level &level = levels.last();
                if (level.keys.contains(text))
                    return true;
                level.keys.insert(text);
                level.expectsKey = false;
            }
        } else {
            ++at;
        }
    }
    return false;
}

int JsonRepeatedKeys::readString(const QByteArray &json, int at, QString *text)
{
    QByteArray raw;
    while (at < json.size()) {
        const char c = json.at(at++);
        if (c == '"')
            break;
        if (c != '\\') {
            raw.append(c);
            continue;
        }
        if (at >= json.size())
            break;
        const char escape = json.at(at++);
        if (escape != 'u') {
            const char plain = escape == 'n' ? '\n' : escape == 't' ? '\t' : escape == 'r' ? '\r'
                             : escape == 'b' ? '\b' : escape == 'f' ? '\f' : escape;
            raw.append(plain);
            continue;
        }
        int code = 0;
        for (int i = 0; i < 4 && at < json.size(); ++i) {
            const int digit = hexValue(json.at(at));
            if (digit < 0)
                break;
            code = code * 16 + digit;
            ++at;
        }
        text->append(QString::fromUtf8(raw));
        raw.clear();
        text->append(QChar(ushort(code)));
    }
    text->append(QString::fromUtf8(raw));
    return at;
}
