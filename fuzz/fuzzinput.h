#ifndef FUZZINPUT_H
#define FUZZINPUT_H

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <cstddef>
#include <cstdint>

// The fuzzer's bytes read front to back as small decisions. Once they run out every decision
// reads as zero, so that any prefix of an input still means something. scripts/fuzzseeds.py
// writes seeds in this encoding.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    bool atEnd() const { return m_at >= m_size; }
    quint8 byte() { return atEnd() ? 0 : m_data[m_at++]; }
    // One of count choices.
    int choose(int count) { return byte() % count; }
    // A text: one of table, or, after the selector 255, a length and that many bytes of UTF-8.
    QString text(const QStringList &table);

    static const quint8 LiteralText = 255;

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_at = 0;
};

#endif // FUZZINPUT_H
