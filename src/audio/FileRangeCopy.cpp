#include "audio/FileRangeCopy.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace murmelo {

namespace {

// Small enough that progress and a cancel are seen several times a second, large enough that
// the calls cost nothing beside the copy.
constexpr qint64 kChunkBytes = 16 * 1024 * 1024;
constexpr qint64 kBufferBytes = 1024 * 1024;

// The kernel cannot copy between these two files (another file system, a file system or kernel
// without the call): the bytes go through our buffer instead.
bool kernelCannotCopy(int error)
{
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
           error == ENOTSUP;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

bool FileRangeCopy::copy(int in, qint64 inOffset, int out, qint64 outOffset, qint64 bytes,
                         QString &error, const Step &step)
{
    error.clear();
    std::vector<char> buffer;
    qint64 copied = 0;
    while (copied < bytes) {
        if (step && !step(copied))
            return false;
        const qint64 chunk = std::min(kChunkBytes, bytes - copied);
        qint64 done = 0;
        if (method_ == Method::Kernel) {
            loff_t from = inOffset + copied;
            loff_t to = outOffset + copied;
            const ssize_t n = ::copy_file_range(in, &from, out, &to, size_t(chunk), 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && kernelCannotCopy(errno)) {
                // From here on (a refusal part-way included) the bytes go through the buffer.
                method_ = Method::Buffered;
                continue;
            }
            if (n < 0) {
                error = systemError(errno);
                return false;
            }
            done = n;
        } else {
            buffer.resize(size_t(kBufferBytes));
            const qint64 wanted = std::min(kBufferBytes, chunk);
            const ssize_t n = ::pread(in, buffer.data(), size_t(wanted), inOffset + copied);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = systemError(errno);
                return false;
            }
            for (qint64 written = 0; written < n;) {
                const ssize_t w = ::pwrite(out, buffer.data() + written, size_t(n - written),
                                           outOffset + copied + written);
                if (w < 0 && errno == EINTR)
                    continue;
                if (w <= 0) {
                    error = systemError(w < 0 ? errno : ENOSPC);
                    return false;
                }
                written += w;
            }
            done = n;
        }
        if (done == 0) {
            error = QStringLiteral("the file ends %1 bytes early").arg(bytes - copied);
            return false;
        }
        copied += done;
    }
    return !step || step(copied);
}

} // namespace murmelo
