// An answer as the service's JSON text: read into the records and every accessor read, to any
// depth (see AnswerWalker). JSON gives the types a STOMP body can carry; the stream target
// covers the rest.

#include <QtCore/QByteArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QVariant>

#include <cstddef>
#include <cstdint>

#include "answerwalker.h"
#include "fuzzsupport.h"
#include "jsonrepeatedkeys.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    FuzzSupport::silenceLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                     int(size));
    if (JsonRepeatedKeys::present(bytes))
        return -1;
    const QVariant document = QJsonDocument::fromJson(bytes).toVariant();
    // An answer, or a list whose entries are answers or bare parameter maps.
    AnswerWalker::walk(document.toMap());
    const QVariantList entries = document.toList();
    for (const QVariant &entry : entries) {
        AnswerWalker::walk(entry.toMap());
        AnswerWalker::walkParameterMap(entry.toMap());
    }
    return 0;
}
