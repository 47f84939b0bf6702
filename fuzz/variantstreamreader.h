#ifndef VARIANTSTREAMREADER_H
#define VARIANTSTREAMREADER_H

#include <QtCore/QByteArray>
#include <QtCore/QDataStream>
#include <QtCore/QVariant>
#include <QtCore/QVariantMap>

// Reads a QVariantMap written with QDataStream (operator<<, Qt 5.15 format) the way the bus
// would hand it over, with any variant types in it, but without the traps that QtCore's own
// reader sets for arbitrary bytes: it reserves whatever count a list claims and reads Qt GUI
// types that need a running application. Here the containers are read by this class, with
// counts bounded by the bytes left and the nesting bounded, map keys kept however often they
// repeat (as QtCore keeps them), and only QtCore value types are read by Qt itself.
class VariantStreamReader
{
public:
    static const int MaxDepth = 64;

    explicit VariantStreamReader(const QByteArray &bytes);

    // False when the bytes are no such map, or one beyond the bounds.
    bool readMap(QVariantMap *map);

private:
    bool readVariant(QVariant *value, int depth);
    bool readMapBody(QVariantMap *map, int depth);
    bool readHashBody(QVariantHash *hash, int depth);
    template <typename MultiContainer, typename Container>
    bool readKeyedBody(Container *container, int depth);
    bool readListBody(QVariantList *list, int depth);
    bool readStringListBody(QStringList *list);
    bool readCount(quint32 *count, int smallestEntry);
    bool readString(QString *text);
    bool lengthFits();
    bool ok() const { return m_stream.status() == QDataStream::Ok; }
    static bool isPlainCoreType(int typeId);

    QByteArray m_bytes;
    QDataStream m_stream;
};

#endif // VARIANTSTREAMREADER_H
