#include "variantstreamreader.h"

#include <QtCore/QMetaType>
#include <QtCore/QStringList>

namespace {

// A variant takes at least its type number and its null flag.
const int SmallestVariant = 4 + 1;
// A string takes at least its length.
const int SmallestString = 4;

} // namespace

VariantStreamReader::VariantStreamReader(const QByteArray &bytes)
    : m_bytes(bytes)
    , m_stream(&m_bytes, QIODevice::ReadOnly)
{
    m_stream.setVersion(QDataStream::Qt_5_15);
}

bool VariantStreamReader::readMap(QVariantMap *map)
{
    return readMapBody(map, 0) && ok();
}

bool VariantStreamReader::lengthFits()
{
    // QtCore reads a string or a byte array of a claimed length in blocks of a megabyte, each
    // allocated before it is read: a length that the bytes left cannot hold costs a megabyte
    // for nothing.
    const QByteArray next = m_stream.device()->peek(4);
    if (next.size() < 4)
        return false;
    const quint32 length = (quint32(quint8(next.at(0))) << 24) | (quint32(quint8(next.at(1))) << 16)
                           | (quint32(quint8(next.at(2))) << 8) | quint32(quint8(next.at(3)));
    return length == 0xffffffffu || qint64(length) <= m_stream.device()->bytesAvailable() - 4;
}

bool VariantStreamReader::readString(QString *text)
{
    if (!lengthFits())
        return false;
    m_stream >> *text;
    return ok();
}

bool VariantStreamReader::readCount(quint32 *count, int smallestEntry)
{
    m_stream >> *count;
    const qint64 left = m_stream.device()->bytesAvailable();
    return ok() && qint64(*count) * smallestEntry <= left;
}

// Like QtCore's reader: a key that comes again is kept again, hence the multi-container.
template <typename MultiContainer, typename Container>
bool VariantStreamReader::readKeyedBody(Container *container, int depth)
{
    quint32 count = 0;
    if (!readCount(&count, SmallestString + SmallestVariant))
        return false;
    MultiContainer entries;
    for (quint32 i = 0; i < count; ++i) {
        QString key;
        QVariant value;
        if (!readString(&key) || !readVariant(&value, depth + 1))
            return false;
        entries.insert(key, value);
    }
    *container = entries;
    return true;
}

bool VariantStreamReader::readMapBody(QVariantMap *map, int depth)
{
    return readKeyedBody<QMultiMap<QString, QVariant>>(map, depth);
}

bool VariantStreamReader::readHashBody(QVariantHash *hash, int depth)
{
    return readKeyedBody<QMultiHash<QString, QVariant>>(hash, depth);
}

bool VariantStreamReader::readListBody(QVariantList *list, int depth)
{
    quint32 count = 0;
    if (!readCount(&count, SmallestVariant))
        return false;
    for (quint32 i = 0; i < count; ++i) {
        QVariant value;
        if (!readVariant(&value, depth + 1))
            return false;
        list->append(value);
    }
    return true;
}

bool VariantStreamReader::readStringListBody(QStringList *list)
{
    quint32 count = 0;
    if (!readCount(&count, SmallestString))
        return false;
    for (quint32 i = 0; i < count; ++i) {
        QString text;
        if (!readString(&text))
            return false;
        list->append(text);
    }
    return true;
}

bool VariantStreamReader::readVariant(QVariant *value, int depth)
{
    if (depth > MaxDepth)
        return false;
    quint32 typeId = 0;
    qint8 isNull = 0;
    m_stream >> typeId >> isNull;
    if (!ok())
        return false;
    if (typeId == QMetaType::User) {
        QByteArray name;
        if (!lengthFits())
            return false;
        m_stream >> name;
        if (!ok() || name.size() > 256)
            return false;
        typeId = QMetaType::type(name.constData());
    }

    switch (typeId) {
    case QMetaType::UnknownType:
        *value = QVariant();
        return true;
    case QMetaType::QVariantMap: {
        QVariantMap map;
        if (!readMapBody(&map, depth))
            return false;
        *value = map;
        return true;
    }
    case QMetaType::QVariantHash: {
        QVariantHash hash;
        if (!readHashBody(&hash, depth))
            return false;
        *value = hash;
        return true;
    }
    case QMetaType::QVariantList: {
        QVariantList list;
        if (!readListBody(&list, depth))
            return false;
        *value = list;
        return true;
    }
    case QMetaType::QStringList: {
        QStringList list;
        if (!readStringListBody(&list))
            return false;
        *value = list;
        return true;
    }
    default:
        break;
    }
    if (!isPlainCoreType(int(typeId)))
        return false;
    const bool startsWithLength = typeId == QMetaType::QString || typeId == QMetaType::QByteArray
                                  || typeId == QMetaType::QUrl || typeId == QMetaType::QJsonObject
                                  || typeId == QMetaType::QJsonArray
                                  || typeId == QMetaType::QJsonDocument
                                  || typeId == QMetaType::QRegularExpression;
    if (startsWithLength && !lengthFits())
        return false;
    QVariant leaf(int(typeId), nullptr);
    if (!QMetaType::load(m_stream, int(typeId), leaf.data()) || !ok())
        return false;
    *value = leaf;
    return true;
}

bool VariantStreamReader::isPlainCoreType(int typeId)
{
    // Value types of QtCore whose reading allocates no more than the bytes they come in. Not
    // QDateTime: its time zone names are looked up as files, which is Qt's business, not ours.
    switch (typeId) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::QChar:
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::QDate:
    case QMetaType::QTime:
    case QMetaType::QUrl:
    case QMetaType::QUuid:
    case QMetaType::QPoint:
    case QMetaType::QPointF:
    case QMetaType::QSize:
    case QMetaType::QSizeF:
    case QMetaType::QRect:
    case QMetaType::QRectF:
    case QMetaType::QLine:
    case QMetaType::QLineF:
    case QMetaType::QRegularExpression:
    case QMetaType::QJsonValue:
    case QMetaType::QJsonObject:
    case QMetaType::QJsonArray:
    case QMetaType::QJsonDocument:
    case QMetaType::Nullptr:
        return true;
    default:
        return false;
    }
}
