#ifndef ANSWERDECODER_H
#define ANSWERDECODER_H

#include <QtCore/QStringList>
#include <QtCore/QVariantMap>

class FuzzInput;

// Decodes an answer of the check service from fuzzer bytes: every field present or absent,
// of its own type or of another (also types JSON cannot carry: byte arrays, string lists,
// 64-bit numbers, dates, hashes, a key twice), the uid of the pending request or another one,
// the plugin's message type or another one, and parameter lists of any length and depth. The
// numbers of each decision are fixed: scripts/fuzzseeds.py writes them, and new choices only
// ever go after the existing ones.
class AnswerDecoder
{
public:
    // The uids of the requests sent so far, the last one pending.
    explicit AnswerDecoder(const QStringList &sentUids) : m_sentUids(sentUids) {}

    QVariantMap read(FuzzInput &in) const;

private:
    QVariant readUid(FuzzInput &in) const;

    QStringList m_sentUids;
};

#endif // ANSWERDECODER_H
