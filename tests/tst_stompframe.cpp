#include <QtTest/QtTest>

#include "stompframe.h"
#include "stompframeparser.h"

Q_DECLARE_METATYPE(QList<StompFrame>)

namespace {

QList<StompFrame> takeAll(StompFrameParser &parser)
{
    QList<StompFrame> frames;
    while (parser.hasFrame())
        frames.append(parser.takeFrame());
    return frames;
}

// The literal with every NUL in it, without the terminating one.
template<int N>
QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

} // namespace

namespace QTest {

template<>
char *toString(const StompFrame &frame)
{
    QByteArray text = frame.command() + " {";
    for (const StompFrame::Header &header : frame.headers())
        text += header.first.toPercentEncoding() + '=' + header.second.toPercentEncoding() + ' ';
    text += "} " + frame.body().toPercentEncoding();
    return qstrdup(text.constData());
}

} // namespace QTest

// The frame codec: what goes on the wire, and how any byte stream is cut into frames.
class tst_StompFrame : public QObject
{
    Q_OBJECT

private slots:
    void encode_data();
    void encode();
    void parse_data();
    void parse();
    void firstRepeatedHeaderWins();
    void brokenStream_data();
    void brokenStream();
    void frameSizeLimit_data();
    void frameSizeLimit();
    void everySplitPoint();
};

void tst_StompFrame::encode_data()
{
    QTest::addColumn<StompFrame>("frame");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("refusal");

    QTest::newRow("headers of a SEND are escaped")
        << StompFrame("SEND", {{"destination", "/queue/a"}, {"k:ey", "a\\b\nc\rd:e"}})
        << bytes("SEND\ndestination:/queue/a\nk\\cey:a\\\\b\\nc\\rd\\ce\n\n\0") << QString();
    QTest::newRow("CONNECT carries its headers as they are")
        << StompFrame("CONNECT", {{"accept-version", "1.2"}, {"host", "/a:b\\c"}})
        << bytes("CONNECT\naccept-version:1.2\nhost:/a:b\\c\n\n\0") << QString();
    QTest::newRow("a body gets its real content-length, NUL and all")
        << StompFrame("SEND", {{"content-length", "99"}, {"destination", "/q"}}, bytes("a\0b"))
        << bytes("SEND\ndestination:/q\ncontent-length:3\n\na\0b\0") << QString();
    QTest::newRow("unknown command") << StompFrame("HELLO") << QByteArray() << "unknown STOMP command";
    QTest::newRow("line break in a CONNECT value, which would add a header")
        << StompFrame("CONNECT", {{"passcode", "x\nlogin:admin"}}) << QByteArray() << "line break";
    QTest::newRow("colon in a CONNECT header name")
        << StompFrame("CONNECT", {{"a:b", "c"}}) << QByteArray() << "contains ':'";
    QTest::newRow("NUL in a header value, which would end the frame")
        << StompFrame("SEND", {{"destination", bytes("/q\0x")}}) << QByteArray() << "NUL";
}

void tst_StompFrame::encode()
{
    QFETCH(StompFrame, frame);
    QFETCH(QString, refusal);

    QString error;
    QTEST(frame.encode(&error), "wire");
    QVERIFY2(error.contains(refusal) && error.isEmpty() == refusal.isEmpty(), qPrintable(error));
}

void tst_StompFrame::parse_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QList<StompFrame>>("frames");
    QTest::addColumn<QString>("finishError");

    QTest::newRow("CRLF line endings")
        << bytes("SEND\r\ndestination:/q\r\n\r\nhi\0")
        << QList<StompFrame>{StompFrame("SEND", {{"destination", "/q"}}, "hi")} << QString();
    QTest::newRow("escapes are decoded in name and value, a raw colon in a value is kept")
        << bytes("MESSAGE\nk\\cx:ID\\cabc:d\\\\x\\n\\r\n\n\0")
        << QList<StompFrame>{StompFrame("MESSAGE", {{"k:x", "ID:abc:d\\x\n\r"}})} << QString();
    QTest::newRow("CONNECTED is not unescaped")
        << bytes("CONNECTED\nserver:a\\cb\\t\n\n\0")
        << QList<StompFrame>{StompFrame("CONNECTED", {{"server", "a\\cb\\t"}})} << QString();
    QTest::newRow("the first of two content-lengths counts, and keeps a NUL in the body")
        << bytes("MESSAGE\ncontent-length:2\ncontent-length:5\n\na\0\0")
        << QList<StompFrame>{StompFrame("MESSAGE", {{"content-length", "2"}, {"content-length", "5"}},
                                        bytes("a\0"))} << QString();
    QTest::newRow("without content-length the body ends at the first NUL")
        << bytes("SEND\n\nab\0SEND\n\ncd\0")
        << QList<StompFrame>{StompFrame("SEND", {}, "ab"), StompFrame("SEND", {}, "cd")} << QString();
    QTest::newRow("end-of-lines before, between and after frames are skipped")
        << bytes("\n\r\n\nSEND\n\n\0\n\n\r\nACK\nid:1\n\n\0\n")
        << QList<StompFrame>{StompFrame("SEND"), StompFrame("ACK", {{"id", "1"}})} << QString();
    QTest::newRow("the stream ends after a whole frame, inside the next")
        << bytes("SEND\n\n\0SE") << QList<StompFrame>{StompFrame("SEND")} << "ended inside a frame";
}

void tst_StompFrame::parse()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, finishError);

    StompFrameParser parser;
    QVERIFY2(parser.feed(input), qPrintable(parser.errorString()));
    QCOMPARE(parser.finish(), finishError.isEmpty());
    QVERIFY2(parser.errorString().contains(finishError), qPrintable(parser.errorString()));
    // Frames completed before the stream broke off are still there to take.
    QTEST(takeAll(parser), "frames");
}

void tst_StompFrame::firstRepeatedHeaderWins()
{
    StompFrame frame("MESSAGE", {{"foo", "1"}, {"bar", "x"}, {"foo", "2"}});
    QCOMPARE(frame.header("foo"), QByteArray("1"));
    frame.setHeader("foo", "3");
    QCOMPARE(frame.headers(), (QList<StompFrame::Header>{{"foo", "3"}, {"bar", "x"}}));
}

void tst_StompFrame::brokenStream_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("goodFrames");
    QTest::addColumn<QString>("why");

    QTest::newRow("an HTTP answer, told before its line ends")
        << QByteArray("HTTP/1.1 400 Bad Request") << 0 << "not a STOMP command";
    QTest::newRow("a NUL among the headers") << bytes("SEND\ndest\0ination:x\n\n\0") << 0
                                             << "NUL byte before the end of the headers";
    QTest::newRow("a header line without a colon") << bytes("SEND\nnocolon\n\n\0") << 0 << "without ':'";
    QTest::newRow("a header without a name") << bytes("SEND\n:value\n\n\0") << 0 << "without a name";
    QTest::newRow("an undefined escape") << bytes("SEND\nfoo:a\\tb\n\n\0") << 0 << "undefined escape";
    QTest::newRow("a backslash at the end of a value") << bytes("SEND\nfoo:ab\\\n\n\0") << 0
                                                       << "undefined escape";
    QTest::newRow("a negative content-length") << bytes("SEND\ncontent-length:-1\n\n\0") << 0
                                               << "is not a length";
    QTest::newRow("a body longer than its content-length")
        << bytes("SEND\ncontent-length:1\n\nab\0") << 0 << "no NUL after the 1 bytes";
    QTest::newRow("a carriage return inside a header") << bytes("SEND\nfoo:a\rb\n\n\0") << 0
                                                       << "carriage return inside a line";
    QTest::newRow("a carriage return without line feed between frames")
        << bytes("SEND\n\n\0\rX") << 1 << "carriage return without line feed";
    QTest::newRow("garbage after good frames, which are kept")
        << bytes("SEND\n\na\0\nACK\nid:1\n\n\0\nxyz\n") << 2 << "unknown command \"xyz\"";
}

void tst_StompFrame::brokenStream()
{
    QFETCH(QByteArray, input);
    QFETCH(int, goodFrames);
    QFETCH(QString, why);

    StompFrameParser parser;
    QVERIFY(!parser.feed(input));
    QVERIFY(parser.hasError());
    QVERIFY2(parser.errorString().contains(why), qPrintable(parser.errorString()));
    QVERIFY2(parser.errorString().contains(QLatin1String("at byte")), qPrintable(parser.errorString()));
    QCOMPARE(takeAll(parser).size(), goodFrames);

    // Nothing after a break is trusted, until a reset.
    QVERIFY(!parser.feed(bytes("SEND\n\n\0")));
    QVERIFY(!parser.hasFrame());
    QVERIFY(!parser.finish());
    parser.reset();
    QVERIFY(!parser.hasError());
    QVERIFY(parser.feed(bytes("SEND\n\n\0")));
    QCOMPARE(takeAll(parser), QList<StompFrame>{StompFrame("SEND")});
}

void tst_StompFrame::frameSizeLimit_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("accepted");

    // Each frame below but the last is 64 bytes from command to NUL; the limit is 64.
    const QByteArray header("SEND\ndestination:/q\n\n");
    const QByteArray body(64 - header.size() - 1, 'x');
    QTest::newRow("a frame of exactly the limit") << header + body + '\0' << true;
    QTest::newRow("one byte over, before the NUL has come") << header + body + "x" << false;
    const QByteArray counted("SEND\ncontent-length:39\n\n");
    QTest::newRow("a counted frame of exactly the limit") << counted + QByteArray(39, 'y') + '\0' << true;
    QTest::newRow("a content-length one byte too large, refused before its body comes")
        << QByteArray("SEND\ncontent-length:40\n\n") << false;
    QTest::newRow("endless headers") << QByteArray("SEND\n") + QByteArray(70, 'h') << false;
    QTest::newRow("leading end-of-lines do not count")
        << QByteArray(200, '\n') + header + body + '\0' << true;
}

void tst_StompFrame::frameSizeLimit()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, accepted);

    StompFrameParser parser(64);
    const bool fed = parser.feed(input);
    QCOMPARE(fed, accepted);
    if (!accepted)
        QVERIFY2(parser.errorString().contains(QLatin1String("larger than 64 bytes")),
                 qPrintable(parser.errorString()));
    else
        QCOMPARE(takeAll(parser).size(), 1);
}

void tst_StompFrame::everySplitPoint()
{
    const QByteArray stream =
        bytes("\nCONNECTED\r\nversion:1.2\r\nheart-beat:0,100\r\n\r\n\0\n"
              "MESSAGE\nsubscription:sub-1\nack:ID\\chost\\c7\ncontent-length:5\n\n{\0\"}\n\0\n\n"
              "RECEIPT\nreceipt-id:send-1\n\n\0"
              "ERROR\nmessage:bad\\nthing\n\nno length\0\r\n");
    StompFrameParser whole;
    QVERIFY2(whole.feed(stream), qPrintable(whole.errorString()));
    const QList<StompFrame> expected = takeAll(whole);
    QCOMPARE(expected.size(), 4);

    // Every way of cutting the stream into three reads gives the same frames.
    for (int first = 0; first <= stream.size(); ++first) {
        for (int second = first; second <= stream.size(); ++second) {
            StompFrameParser parser;
            QList<StompFrame> frames;
            for (const QByteArray &piece : {stream.left(first), stream.mid(first, second - first),
                                            stream.mid(second)}) {
                QVERIFY2(parser.feed(piece), qPrintable(parser.errorString()));
                frames += takeAll(parser);
            }
            QVERIFY(parser.finish());
            if (frames != expected)
                QFAIL(qPrintable(QStringLiteral("split at %1 and %2").arg(first).arg(second)));
        }
    }
}

QTEST_GUILESS_MAIN(tst_StompFrame)
#include "tst_stompframe.moc"
