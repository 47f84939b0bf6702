// An answer as the bus may hand it over: a QVariantMap with any QtCore value types in it, read
// from QDataStream bytes (see VariantStreamReader), then into the records and every accessor
// read, to any depth (see AnswerWalker).

#include <QtCore/QByteArray>
#include <QtCore/QVariant>

#include <cstddef>
#include <cstdint>

#include "answerwalker.h"
#include "fuzzsupport.h"
#include "variantstreamreader.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    FuzzSupport::silenceLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QVariantMap map;
    if (!VariantStreamReader(bytes).readMap(&map))
        return -1;
    AnswerWalker::walk(map);
    // The same map as one parameter of the list.
    AnswerWalker::walkParameterMap(map);
    return 0;
}
