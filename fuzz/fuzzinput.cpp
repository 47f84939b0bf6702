#include "fuzzinput.h"

#include <QtCore/QByteArray>

QString FuzzInput::text(const QStringList &table)
{
    const quint8 selector = byte();
    if (selector != LiteralText || table.isEmpty()) {
        return table.isEmpty() ? QString() : table.at(selector % table.size());
    }
    const int length = byte();
    QByteArray bytes;
    for (int i = 0; i < length && !atEnd(); ++i)
        bytes.append(char(byte()));
    return QString::fromUtf8(bytes);
}
