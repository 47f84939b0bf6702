#ifndef HANDOFFMEMORY_H
#define HANDOFFMEMORY_H

#include <QtCore/QByteArray>
#include <QtCore/QHash>
#include <QtCore/QPair>
#include <QtCore/QString>
#include <QtCore/QVector>

// Recognises a value that the plugin wrote into a provider's parameter at one of its recent
// hand-offs, so that the provider's next customer is not offered it. A host may keep a provider
// by value, or delete and re-create the plugin object, so the memory is kept by provider id and
// lives with the loaded library. Of a value it keeps only a keyed digest, under a key made
// afresh in each process, and only the last few per provider id and parameter.
class HandOffMemory
{
public:
    // Values kept per provider id and parameter: the hand-offs of a busy day at one terminal.
    static const int ValuesKept = 1000;
    // Provider id and parameter pairs kept; beyond it the one written to longest ago goes.
    static const int ParametersKept = 32;

    // The one memory of the loaded library.
    static HandOffMemory &instance();

    void remember(qint64 providerId, const QString &name, const QString &value);
    bool recognises(qint64 providerId, const QString &name, const QString &value) const;

    // The digests held.
    int size() const;
    // Everything the memory holds of the values, for the check that nothing a customer typed
    // is among it.
    QByteArray heldBytes() const;

private:
    HandOffMemory();
    Q_DISABLE_COPY(HandOffMemory)

    quint64 digest(const QString &name, const QString &value) const;

    struct Ring
    {
        Ring() : next(0), lastWrite(0) {}
        QVector<quint64> digests;
        int next;
        quint64 lastWrite;
    };
    typedef QPair<qint64, QString> Key;

    QByteArray m_key;
    QHash<Key, Ring> m_rings;
    quint64 m_writes;
};

#endif // HANDOFFMEMORY_H
