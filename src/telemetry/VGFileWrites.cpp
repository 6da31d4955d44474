#include "telemetry/VGFileWrites.h"

#include <cerrno>
#include <unistd.h>

namespace murmelo {

int vgWriteAll(int fd, const void *bytes, size_t size)
{
    const char *at = static_cast<const char *>(bytes);
    while (size > 0) {
        const ssize_t n = ::write(fd, at, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        at += n;
        size -= size_t(n);
    }
    return 0;
}

} // namespace murmelo
