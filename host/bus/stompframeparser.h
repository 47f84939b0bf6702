#ifndef STOMPFRAMEPARSER_H
#define STOMPFRAMEPARSER_H

#include <QtCore/QByteArray>
#include <QtCore/QQueue>
#include <QtCore/QString>

#include "busexport.h"
#include "stompframe.h"

// Cuts a STOMP 1.2 byte stream into frames, however the bytes were split or joined by the
// reads. End-of-lines between frames (heart-beats, and the LF that brokers put after each
// NUL) are skipped. A body is read by its content-length when the frame has one, so it may
// hold NUL bytes; otherwise it ends at the first NUL. Input that breaks the protocol, and a
// frame larger than the limit, put the parser in a failed state that lasts until reset():
// after a broken frame nothing later in the stream can be trusted.
class PAYMENTHOSTBUS_EXPORT StompFrameParser
{
public:
    enum { DefaultMaxFrameSize = 1024 * 1024 };

    explicit StompFrameParser(int maxFrameSize = DefaultMaxFrameSize);

    // The largest frame accepted, counted from its command to its closing NUL.
    int maxFrameSize() const { return m_maxFrameSize; }
    void setMaxFrameSize(int bytes);

    // Takes the next bytes of the stream; false once the stream is broken.
    bool feed(const QByteArray &bytes);
    // The stream has ended: false when it ended inside a frame.
    bool finish();

    bool hasFrame() const { return !m_ready.isEmpty(); }
    // The oldest complete frame, or a null frame when there is none. Frames completed before
    // an error can still be taken.
    StompFrame takeFrame();

    bool hasError() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }

    // Forgets everything: the partial frame, unread frames and the error.
    void reset();

private:
    enum Stage { BetweenFrames, InHeaders, InBody };

    void parse();
    bool parseHeaderLine(const QByteArray &line);
    bool startBody();
    void fail(const QString &why, int position);
    void compact();

    int m_maxFrameSize;
    QByteArray m_buffer;
    qint64 m_streamOffset = 0; // stream position of m_buffer's first byte
    int m_pos = 0;             // first byte not yet taken into the current frame
    int m_scan = 0;            // where the search for the next LF or NUL goes on
    int m_frameStart = 0;
    int m_bodyStart = 0;
    qint64 m_contentLength = -1;
    Stage m_stage = BetweenFrames;
    bool m_haveCommand = false;
    StompFrame m_frame;
    QQueue<StompFrame> m_ready;
    QString m_error;
};

#endif // STOMPFRAMEPARSER_H
