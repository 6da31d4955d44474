#include "telemetry/network/VGHTTPReplyReader.h"

#include <gtest/gtest.h>

using namespace murmelo;
using State = VGHTTPReplyReader::State;
using Failure = VGHTTPReplyReader::Failure;

namespace {

constexpr qsizetype kCap = 64 * 1024;

// Fed one byte at a time: a reader must not depend on how the connection cuts its reads.
VGHTTPReplyReader readBytewise(const QByteArray &answer, bool thenClose = false)
{
    VGHTTPReplyReader reader(kCap);
    for (char c : answer)
        reader.feed(QByteArrayView(&c, 1));
    if (thenClose)
        reader.connectionClosed();
    return reader;
}

VGHTTPReplyReader readWhole(const QByteArray &answer, bool thenClose = false)
{
    VGHTTPReplyReader reader(kCap);
    reader.feed(answer);
    if (thenClose)
        reader.connectionClosed();
    return reader;
}

TEST(HTTPReplyReader, ReadsEachWayABodyCanBeFramed)
{
    for (auto read : {readBytewise, readWhole}) {
        auto sized = read("HTTP/1.1 201 Created\r\ncontent-length: 5\r\n\r\nhelloEXTRA", false);
        EXPECT_EQ(sized.state(), State::Complete);
        EXPECT_EQ(sized.statusCode(), 201);
        EXPECT_EQ(sized.body(), "hello"); // bytes after the answer are not part of it

        auto chunked = read("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, Chunked\r\n\r\n"
                            "5;name=value\r\nhello\r\n0000A\r\n, world!!!\r\n0\r\nX-T: 1\r\n\r\n",
                            false);
        EXPECT_EQ(chunked.state(), State::Complete);
        EXPECT_EQ(chunked.body(), "hello, world!!!");

        // Without a length the body ends with the connection; a bare LF ends lines too.
        auto untilClose = read("HTTP/1.0 503 Busy\nServer: x\n\nlater", false);
        EXPECT_EQ(untilClose.state(), State::Reading);
        EXPECT_EQ(untilClose.connectionClosed(), State::Complete);
        EXPECT_EQ(untilClose.statusCode(), 503);
        EXPECT_EQ(untilClose.body(), "later");

        // An interim answer is passed over; 204 has no body whatever follows.
        auto interim = read("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 204 No Content\r\n\r\n", false);
        EXPECT_EQ(interim.state(), State::Complete);
        EXPECT_EQ(interim.statusCode(), 204);
        EXPECT_TRUE(interim.body().isEmpty());
    }
}

TEST(HTTPReplyReader, AnAnswerThatEndsEarlyIsNotTakenAsWhole)
{
    EXPECT_EQ(readWhole("", true).failure(), Failure::Truncated);
    EXPECT_EQ(readWhole("HTTP/1.1 200 OK\r\nContent-Le", true).failure(), Failure::Truncated);
    auto sized = readWhole("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort", true);
    EXPECT_EQ(sized.failure(), Failure::Truncated);
    EXPECT_TRUE(sized.body().isEmpty());
    auto chunked =
        readWhole("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n", true);
    EXPECT_EQ(chunked.failure(), Failure::Truncated);
}

TEST(HTTPReplyReader, HostileAnswersFailWithAReason)
{
    const std::pair<const char *, QByteArray> cases[] = {
        {"garbage status line", "\x16\x03\x01 not http at all\r\n\r\n"},
        {"status without code", "HTTP/1.1 OK\r\n\r\n"},
        {"HTTP/2 status", "HTTP/2 200\r\n\r\n"},
        {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n"},
        {"length not a number", "HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\n"},
        {"two lengths", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\n"},
        {"header without name", "HTTP/1.1 200 OK\r\n: x\r\n\r\n"},
        {"folded header", "HTTP/1.1 200 OK\r\nX: a\r\n  b\r\n\r\n"},
        {"switching protocols", "HTTP/1.1 101 Switching\r\n\r\n"},
        {"chunk size overflows",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10000000000000001\r\nx"},
        {"chunk size not a number", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"},
        {"negative chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n-5\r\n"},
        {"chunk longer than its size",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabc\r\n0\r\n\r\n"},
    };
    for (const auto &[name, answer] : cases) {
        auto reader = readBytewise(answer);
        EXPECT_EQ(reader.state(), State::Failed) << name;
        EXPECT_EQ(reader.failure(), Failure::Malformed) << name;
        EXPECT_FALSE(reader.failureText().isEmpty()) << name;
        EXPECT_TRUE(reader.body().isEmpty()) << name;
    }
}

TEST(HTTPReplyReader, NothingPastTheBoundsIsKept)
{
    // Announced too long, in any number of digits: refused before a byte of the body.
    for (const char *length : {"65537", "2147483648", "99999999999999999999999999"}) {
        auto reader =
            readWhole(QByteArray("HTTP/1.1 200 OK\r\nContent-Length: ") + length + "\r\n\r\n");
        EXPECT_EQ(reader.failure(), Failure::TooLong) << length;
    }
    EXPECT_EQ(readWhole("HTTP/1.1 200 OK\r\nContent-Length: 000065536\r\n\r\n").state(),
              State::Reading);

    // Sent too long without a length, or in chunks: cut off at the cap as it arrives.
    const QByteArray piece(4096, 'x');
    for (const QByteArray &head :
         {QByteArray("HTTP/1.1 200 OK\r\n\r\n"),
          QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")}) {
        VGHTTPReplyReader reader(kCap);
        reader.feed(head);
        const bool chunked = head.contains("chunked");
        int pieces = 0;
        while (reader.state() == State::Reading && pieces < 100) {
            reader.feed(chunked ? "1000\r\n" + piece + "\r\n" : piece);
            ++pieces;
        }
        EXPECT_EQ(reader.failure(), Failure::TooLong) << head.constData();
        EXPECT_EQ(pieces, 17) << "the piece past 64 KiB fails";
    }
    // A chunk announced past the cap fails before its bytes come.
    EXPECT_EQ(readWhole("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10001\r\n").failure(),
              Failure::TooLong);

    // A head, a chunk size line or a trailer that never ends fails at its own bound.
    VGHTTPReplyReader head(kCap);
    head.feed("HTTP/1.1 200 OK\r\n");
    int lines = 0;
    while (head.state() == State::Reading && lines < 1000) {
        head.feed("X-Filler: " + QByteArray(100, 'y') + "\r\n");
        ++lines;
    }
    EXPECT_EQ(head.failure(), Failure::Malformed);
    EXPECT_LT(lines * 112, VGHTTPReplyReader::kMaximumHeadSize + 200);
    EXPECT_EQ(
        readWhole("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + QByteArray(2000, '0'))
            .failure(),
        Failure::Malformed);
    EXPECT_EQ(readWhole("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n" +
                        QByteArray(9000, 't'))
                  .failure(),
              Failure::Malformed);
}

} // namespace
