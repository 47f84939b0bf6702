#include "handoffmemory.h"

#include <QtCore/QCryptographicHash>
#include <QtCore/QMessageAuthenticationCode>
#include <QtCore/QUuid>
#include <QtCore/QtEndian>

const int HandOffMemory::ValuesKept;
const int HandOffMemory::ParametersKept;

HandOffMemory &HandOffMemory::instance()
{
    static HandOffMemory memory;
    return memory;
}

HandOffMemory::HandOffMemory()
    : m_writes(0)
{
    // Random bytes that no other process shares, from the system's source where Qt has one:
    // a digest seen outside this process tells nothing of the value.
    m_key = QUuid::createUuid().toRfc4122() + QUuid::createUuid().toRfc4122();
}

quint64 HandOffMemory::digest(const QString &name, const QString &value) const
{
    const QByteArray message = name.toUtf8() + '\0' + value.toUtf8();
    const QByteArray mac = QMessageAuthenticationCode::hash(message, m_key, QCryptographicHash::Sha256);
    // Sixty-four bits tell a thousand values apart; a rare clash only keeps a host's own value
    // from being offered.
    return qFromLittleEndian<quint64>(reinterpret_cast<const uchar *>(mac.constData()));
}

void HandOffMemory::remember(qint64 providerId, const QString &name, const QString &value)
{
    if (value.isEmpty())
        return;
    const Key key(providerId, name);
    if (!m_rings.contains(key) && m_rings.size() >= ParametersKept) {
        QHash<Key, Ring>::iterator oldest = m_rings.begin();
        for (QHash<Key, Ring>::iterator it = m_rings.begin(); it != m_rings.end(); ++it) {
            if (it->lastWrite < oldest->lastWrite)
                oldest = it;
        }
        m_rings.erase(oldest);
    }
    Ring &ring = m_rings[key];
    const quint64 written = digest(name, value);
    if (ring.digests.size() < ValuesKept) {
        ring.digests.append(written);
    } else {
        ring.digests[ring.next] = written;
        ring.next = (ring.next + 1) % ValuesKept;
    }
    ring.lastWrite = ++m_writes;
}

bool HandOffMemory::recognises(qint64 providerId, const QString &name, const QString &value) const
{
    if (value.isEmpty())
        return false;
    const QHash<Key, Ring>::const_iterator ring = m_rings.constFind(Key(providerId, name));
    return ring != m_rings.constEnd() && ring->digests.contains(digest(name, value));
}

int HandOffMemory::size() const
{
    int digests = 0;
    for (QHash<Key, Ring>::const_iterator it = m_rings.constBegin(); it != m_rings.constEnd(); ++it)
        digests += it->digests.size();
    return digests;
}

QByteArray HandOffMemory::heldBytes() const
{
    QByteArray held;
    for (QHash<Key, Ring>::const_iterator it = m_rings.constBegin(); it != m_rings.constEnd(); ++it) {
        held += it.key().second.toUtf8();
        held.append(reinterpret_cast<const char *>(it->digests.constData()),
                    int(it->digests.size() * sizeof(quint64)));
    }
    return held;
}
