#include "paymenti64idgenerator.h"

#include <QtCore/QDateTime>
#include <QtCore/QRandomGenerator>

#include <atomic>

namespace {

quint64 mix(quint64 x)
{
    // splitmix64's finaliser: every input bit reaches every output bit.
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

} // namespace

qint64 PaymentI64IdGenerator::generate(unsigned int kovraId, const QByteArray &data)
{
    static std::atomic<quint64> sequence{0};
    // From the system's entropy: two processes started in the same millisecond, with the same
    // terminal id and the same request, still differ here.
    static const quint64 processPart = QRandomGenerator::system()->generate64();

    quint64 hash = 0xcbf29ce484222325ULL; // FNV-1a over the content
    for (const char c : data) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    hash = mix(hash ^ (quint64(kovraId) << 32));
    hash = mix(hash ^ quint64(QDateTime::currentMSecsSinceEpoch()));
    hash = mix(hash ^ sequence.fetch_add(1, std::memory_order_relaxed));
    hash = mix(hash ^ processPart);
    return qint64(hash & 0x7fffffffffffffffULL);
}
