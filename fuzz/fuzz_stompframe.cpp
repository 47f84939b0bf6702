// Feeds arbitrary bytes to the STOMP frame parser, cut into reads where the input says, and
// checks what must hold for any input: no crash or bad memory access, a frame never larger
// than the limit, and every frame read written back and read again unchanged.

#include <QtCore/QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "stompframe.h"
#include "stompframeparser.h"

namespace {

const int maxFrameSize = 4096;

// The content-length a frame came with is replaced by the real one when it is written.
StompFrame withoutLength(StompFrame frame)
{
    frame.removeHeader("content-length");
    return frame;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses how the rest is cut into reads.
    const int chunk = 1 + data[0] % 64;
    const QByteArray input(reinterpret_cast<const char *>(data) + 1, int(size - 1));

    StompFrameParser parser(maxFrameSize);
    QList<StompFrame> frames;
    for (int at = 0; at < input.size(); at += chunk) {
        const bool intact = parser.feed(input.mid(at, chunk));
        while (parser.hasFrame())
            frames.append(parser.takeFrame());
        if (!intact) {
            check(parser.hasError() && !parser.errorString().isEmpty());
            break;
        }
    }
    parser.finish();

    for (const StompFrame &frame : frames) {
        check(StompFrame::isKnownCommand(frame.command()));
        check(frame.body().size() < maxFrameSize);
        QString error;
        const QByteArray wire = frame.encode(&error);
        check(!wire.isEmpty());
        StompFrameParser again(1 << 20);
        check(again.feed(wire));
        check(again.finish());
        const StompFrame reread = again.takeFrame();
        check(!again.hasFrame());
        check(withoutLength(reread) == withoutLength(frame));
    }
    return 0;
}
