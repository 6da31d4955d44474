#include "telemetry/network/VGHTTPReplyReader.h"

#include <QList>
#include <algorithm>

namespace murmelo {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "HTTP/1.x NNN" and an optional reason; the status, or 0 when the line is none.
int statusOf(const QByteArray &line)
{
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || !isDigit(line[7]) || line[8] != ' ')
        return 0;
    if (!isDigit(line[9]) || !isDigit(line[10]) || !isDigit(line[11]))
        return 0;
    if (line.size() > 12 && line[12] != ' ')
        return 0;
    return (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
}

} // namespace

VGHTTPReplyReader::VGHTTPReplyReader(qsizetype maximumBodySize) : maximumBodySize_(maximumBodySize)
{
}

VGHTTPReplyReader::State VGHTTPReplyReader::feed(QByteArrayView bytes)
{
    if (state_ != State::Reading)
        return state_;
    pending_.append(bytes);
    bool more = true;
    while (more && state_ == State::Reading) {
        switch (stage_) {
        case Stage::Head:
            more = readHead();
            break;
        case Stage::Length:
        case Stage::UntilClose:
            more = readBody();
            break;
        case Stage::ChunkSize:
            more = readChunkSize();
            break;
        case Stage::ChunkData:
            more = readChunkData();
            break;
        case Stage::ChunkEnd:
            more = readChunkEnd();
            break;
        case Stage::Trailer:
            more = readTrailer();
            break;
        }
    }
    return state_;
}

VGHTTPReplyReader::State VGHTTPReplyReader::connectionClosed()
{
    if (state_ != State::Reading)
        return state_;
    if (stage_ == Stage::UntilClose)
        return complete();
    if (stage_ == Stage::Head && statusCode_ == 0 && pending_.isEmpty())
        return fail(Failure::Truncated, QStringLiteral("The connection ended without an answer."));
    return fail(Failure::Truncated,
                QStringLiteral("The connection ended before the answer was whole."));
}

VGHTTPReplyReader::State VGHTTPReplyReader::fail(Failure failure, const QString &text)
{
    state_ = State::Failed;
    failure_ = failure;
    failureText_ = text;
    pending_.clear();
    body_.clear();
    return state_;
}

VGHTTPReplyReader::State VGHTTPReplyReader::complete()
{
    state_ = State::Complete;
    pending_.clear();
    return state_;
}

bool VGHTTPReplyReader::readHead()
{
    // The head ends with an empty line; lines may end in CRLF or a bare LF.
    const qsizetype crlf = pending_.indexOf("\n\r\n");
    const qsizetype lf = pending_.indexOf("\n\n");
    qsizetype end = -1;
    if (crlf >= 0)
        end = crlf + 3;
    if (lf >= 0 && (end < 0 || lf + 2 < end))
        end = lf + 2;
    if (end < 0 ? pending_.size() > kMaximumHeadSize : end > kMaximumHeadSize) {
        fail(Failure::Malformed,
             QStringLiteral("The service's answer has a head longer than %1 bytes.")
                 .arg(kMaximumHeadSize));
        return false;
    }
    if (end < 0)
        return false;
    const QByteArray head = pending_.left(end);
    pending_.remove(0, end);
    return takeHead(head);
}

bool VGHTTPReplyReader::takeHead(const QByteArray &head)
{
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    statusCode_ = statusOf(lines.front());
    if (statusCode_ == 0) {
        fail(Failure::Malformed,
             QStringLiteral("The service's answer does not begin with an HTTP status line."));
        return false;
    }
    qint64 length = -1;
    QByteArray codings;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (line.isEmpty())
            continue;
        const qsizetype colon = line.indexOf(':');
        const QByteArray name = line.left(colon);
        if (colon <= 0 || name.contains(' ') || name.contains('\t')) {
            fail(Failure::Malformed,
                 QStringLiteral("The service's answer has a header line without a name."));
            return false;
        }
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            if (value.isEmpty() || !std::all_of(value.begin(), value.end(), isDigit)) {
                fail(Failure::Malformed,
                     QStringLiteral("The service's answer has a Content-Length that is not a "
                                    "number of bytes."));
                return false;
            }
            QByteArray digits = value;
            while (digits.size() > 1 && digits.front() == '0')
                digits.remove(0, 1);
            // Past 18 digits a length cannot be held, and is far past the cap anyway.
            const qint64 announced =
                digits.size() > 18 ? maximumBodySize_ + 1 : digits.toLongLong();
            if (length >= 0 && announced != length) {
                fail(Failure::Malformed,
                     QStringLiteral("The service's answer has two different Content-Lengths."));
                return false;
            }
            length = announced;
        } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
            codings += (codings.isEmpty() ? "" : ",") + value.toLower();
        }
    }
    if (statusCode_ >= 100 && statusCode_ < 200) {
        if (statusCode_ == 101) {
            fail(Failure::Malformed, QStringLiteral("The service switched protocols unasked."));
            return false;
        }
        statusCode_ = 0; // an interim answer: the real one follows
        return true;
    }
    if (!codings.isEmpty()) {
        // Chunked when it is the last coding; any other framing runs until the connection ends.
        const QList<QByteArray> list = codings.split(',');
        stage_ = list.back().trimmed() == "chunked" ? Stage::ChunkSize : Stage::UntilClose;
        return true;
    }
    if (statusCode_ == 204 || statusCode_ == 304 || length == 0) {
        complete();
        return false;
    }
    if (length > maximumBodySize_) {
        fail(Failure::TooLong,
             QStringLiteral("The service announces an answer longer than %1 bytes.")
                 .arg(maximumBodySize_));
        return false;
    }
    if (length > 0) {
        remaining_ = qsizetype(length);
        stage_ = Stage::Length;
    } else {
        stage_ = Stage::UntilClose;
    }
    return true;
}

bool VGHTTPReplyReader::appendBody(QByteArrayView bytes)
{
    if (body_.size() + bytes.size() > maximumBodySize_) {
        fail(Failure::TooLong,
             QStringLiteral("The service's answer is longer than %1 bytes.").arg(maximumBodySize_));
        return false;
    }
    body_.append(bytes);
    return true;
}

bool VGHTTPReplyReader::readBody()
{
    if (stage_ == Stage::UntilClose) {
        if (appendBody(pending_))
            pending_.clear();
        return false;
    }
    const qsizetype take = std::min(remaining_, pending_.size());
    if (!appendBody(QByteArrayView(pending_).first(take)))
        return false;
    pending_.remove(0, take);
    remaining_ -= take;
    if (remaining_ == 0)
        complete();
    return false;
}

bool VGHTTPReplyReader::takeLine(QByteArray &line, qsizetype limit, const char *what)
{
    const qsizetype end = pending_.indexOf('\n');
    if (end < 0 ? pending_.size() > limit : end > limit) {
        fail(Failure::Malformed,
             QStringLiteral("The service's answer has a %1 longer than %2 bytes.")
                 .arg(QLatin1String(what))
                 .arg(limit));
        return false;
    }
    if (end < 0)
        return false;
    line = pending_.left(end);
    if (line.endsWith('\r'))
        line.chop(1);
    pending_.remove(0, end + 1);
    return true;
}

bool VGHTTPReplyReader::readChunkSize()
{
    QByteArray line;
    if (!takeLine(line, kMaximumLineSize, "chunk size line"))
        return false;
    qsizetype digits = 0;
    while (digits < line.size() && hexValue(line[digits]) >= 0)
        ++digits;
    const char after = digits < line.size() ? line[digits] : ';';
    if (digits == 0 || (after != ';' && after != ' ' && after != '\t')) {
        fail(Failure::Malformed,
             QStringLiteral("The service's answer has a chunk size that is not a number."));
        return false;
    }
    qsizetype first = 0;
    while (first < digits - 1 && line[first] == '0')
        ++first;
    // Fifteen hex digits hold any size a 64-bit count can; more would overflow it.
    if (digits - first > 15) {
        fail(Failure::Malformed,
             QStringLiteral("The service's answer has a chunk size that overflows."));
        return false;
    }
    qint64 size = 0;
    for (qsizetype i = first; i < digits; ++i)
        size = size * 16 + hexValue(line[i]);
    if (size == 0) {
        stage_ = Stage::Trailer;
        return true;
    }
    if (size > maximumBodySize_ - body_.size()) {
        fail(Failure::TooLong,
             QStringLiteral("The service's answer is longer than %1 bytes.").arg(maximumBodySize_));
        return false;
    }
    remaining_ = qsizetype(size);
    stage_ = Stage::ChunkData;
    return true;
}

bool VGHTTPReplyReader::readChunkData()
{
    const qsizetype take = std::min(remaining_, pending_.size());
    if (!appendBody(QByteArrayView(pending_).first(take)))
        return false;
    pending_.remove(0, take);
    remaining_ -= take;
    if (remaining_ > 0)
        return false;
    stage_ = Stage::ChunkEnd;
    return true;
}

bool VGHTTPReplyReader::readChunkEnd()
{
    QByteArray line;
    if (!takeLine(line, kMaximumLineSize, "chunk end"))
        return false;
    if (!line.isEmpty()) {
        fail(Failure::Malformed,
             QStringLiteral("The service's answer has a chunk longer than its size says."));
        return false;
    }
    stage_ = Stage::ChunkSize;
    return true;
}

bool VGHTTPReplyReader::readTrailer()
{
    QByteArray line;
    if (!takeLine(line, kMaximumHeadSize - trailerSize_, "trailer"))
        return false;
    trailerSize_ += line.size() + 1;
    if (line.isEmpty()) {
        complete();
        return false;
    }
    return true;
}

} // namespace murmelo
