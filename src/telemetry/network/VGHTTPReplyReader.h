#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace murmelo {

// Reads one HTTP/1.1 answer as it arrives, within hard bounds: a head of at most
// kMaximumHeadSize bytes and a body of at most the given size, whatever the service announces
// or sends. The body may come with a Content-Length, chunked, or ending with the connection.
// Nothing past the bounds is kept: an answer that would pass them fails at once.
class VGHTTPReplyReader {
public:
    enum class State { Reading, Complete, Failed };
    enum class Failure {
        None,
        Malformed, // not an HTTP answer, or one we cannot read safely
        TooLong,   // a body past the cap, announced or sent
        Truncated, // the connection ended before the answer did
    };
    static constexpr qsizetype kMaximumHeadSize = 8 * 1024;
    static constexpr qsizetype kMaximumLineSize = 1024; // a chunk's size line

    explicit VGHTTPReplyReader(qsizetype maximumBodySize);

    // Takes the next bytes of the connection. Bytes after a complete answer are ignored.
    State feed(QByteArrayView bytes);
    // The connection has ended: completes a body that runs until then, fails anything else
    // still unfinished.
    State connectionClosed();

    State state() const { return state_; }
    Failure failure() const { return failure_; }
    // What was wrong, for the log and the error's description.
    const QString &failureText() const { return failureText_; }
    int statusCode() const { return statusCode_; }
    const QByteArray &body() const { return body_; }

private:
    enum class Stage { Head, Length, UntilClose, ChunkSize, ChunkData, ChunkEnd, Trailer };

    State fail(Failure failure, const QString &text);
    State complete();
    // Each returns false when it needs more bytes or has failed.
    bool readHead();
    bool takeHead(const QByteArray &head);
    bool readBody();
    bool readChunkSize();
    bool readChunkData();
    bool readChunkEnd();
    bool readTrailer();
    // A whole line from pending_ (without its line end) once one has arrived within `limit`.
    bool takeLine(QByteArray &line, qsizetype limit, const char *what);
    bool appendBody(QByteArrayView bytes);

    qsizetype maximumBodySize_;
    State state_ = State::Reading;
    Failure failure_ = Failure::None;
    QString failureText_;
    Stage stage_ = Stage::Head;
    QByteArray pending_; // bytes received and not yet taken, never more than a line or a head
    QByteArray body_;
    int statusCode_ = 0;
    qsizetype remaining_ = 0; // of the announced body or the current chunk
    qsizetype trailerSize_ = 0;
};

} // namespace murmelo
