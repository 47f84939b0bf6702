#ifndef ANSWERDECODER_H
#define ANSWERDECODER_H

#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVariant>
#include <QtCore/QVariantMap>

class FuzzInput;

// Decodes an answer of the check service from fuzzer bytes: every field present or absent,
// of its own type or of another, the uid of the pending request or another one, the plugin's
// message type or another one, and parameter lists of any length and depth. The numbers of
// each decision are fixed: scripts/fuzzseeds.py writes them.
class AnswerDecoder
{
public:
    // The uids of the requests sent so far, the last one pending.
    explicit AnswerDecoder(const QStringList &sentUids) : m_sentUids(sentUids) {}

    QVariantMap read(FuzzInput &in) const;

    // A list of parameter maps as an answer carries it, or something else in its place; false
    // when the key is to be left out.
    static bool readList(FuzzInput &in, int depth, QVariant *list);

private:
    QVariant readUid(FuzzInput &in) const;
    static QVariantMap readStep(FuzzInput &in);
    static QVariantMap readParameter(FuzzInput &in, int depth);
    static QVariant readEntry(FuzzInput &in, int depth);
    static void putFlag(QVariantMap &map, const QString &key, FuzzInput &in);
    static void putNumber(QVariantMap &map, const QString &key, FuzzInput &in);
    static void putText(QVariantMap &map, const QString &key, FuzzInput &in,
                        const QStringList &table);
    static void putValue(QVariantMap &map, const QString &key, FuzzInput &in);
    static QVariant deepChain(int levels);

    QStringList m_sentUids;
};

#endif // ANSWERDECODER_H
