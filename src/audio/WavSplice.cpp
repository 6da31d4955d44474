#include "audio/WavSplice.h"

#include "audio/OutputPath.h"
#include "audio/WavFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace murmelo {

namespace {

WavSpliceResult failed(const QString &error, bool inputFailed = false)
{
    return {AudioJobStatus::Failed, error, inputFailed};
}

// Writes all of `bytes` at `offset`.
bool writeAt(int fd, const QByteArray &bytes, qint64 offset)
{
    for (qint64 done = 0; done < bytes.size();) {
        const ssize_t n =
            ::pwrite(fd, bytes.constData() + done, size_t(bytes.size() - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

WavSpliceResult spliceWav(const QString &output, const QByteArray &fmtChunk,
                          const std::vector<WavPiece> &pieces, const std::atomic<bool> &cancelled,
                          const std::function<void(double fraction)> &progress,
                          FileRangeCopy::Method method)
{
    qint64 total = 0;
    for (const WavPiece &piece : pieces)
        total += piece.bytes;
    if (total > WavFile::maximumDataBytes)
        return failed(QStringLiteral("the audio is too long for a WAV file"));

    const int out =
        ::open(QFile::encodeName(output).constData(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (out < 0)
        return failed(QStringLiteral("“%1” cannot be written: %2")
                          .arg(output, QString::fromLocal8Bit(std::strerror(errno))));
    const auto writeFailed = [&](const QString &why) {
        ::close(out);
        return failed(QStringLiteral("“%1” cannot be written: %2").arg(output, why));
    };

    const QByteArray header = WavFile::header(fmtChunk, total);
    if (!writeAt(out, header, 0))
        return writeFailed(QString::fromLocal8Bit(std::strerror(errno)));

    FileRangeCopy copier(method);
    qint64 position = header.size();
    double reported = -1;
    for (const WavPiece &piece : pieces) {
        QFile in;
        QString error;
        if (!openRegularFile(in, piece.path, error)) {
            ::close(out);
            return failed(error, true);
        }
        const qint64 before = position - header.size();
        const auto step = [&](qint64 copied) {
            if (cancelled.load())
                return false;
            const double fraction = total > 0 ? double(before + copied) / double(total) : 1.0;
            if (progress && fraction - reported >= 0.01) {
                reported = fraction;
                progress(fraction);
            }
            return true;
        };
        if (!copier.copy(in.handle(), piece.offset, out, position, piece.bytes, error, step)) {
            ::close(out);
            if (error.isEmpty())
                return {AudioJobStatus::Cancelled, {}, false};
            return failed(
                QStringLiteral("copying “%1” into “%2” failed: %3").arg(piece.path, output, error));
        }
        position += piece.bytes;
    }
    // RIFF chunks are padded to an even size.
    if ((total & 1) && !writeAt(out, QByteArray(1, '\0'), position))
        return writeFailed(QString::fromLocal8Bit(std::strerror(errno)));
    if (::close(out) != 0)
        return failed(QStringLiteral("“%1” cannot be written: %2")
                          .arg(output, QString::fromLocal8Bit(std::strerror(errno))));
    if (progress && reported < 1.0)
        progress(1.0);
    return {AudioJobStatus::Finished, {}, false};
}

} // namespace murmelo
