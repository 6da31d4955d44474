#include "telemetry/crash/handler/CrashDelivery.h"

#include "telemetry/crash/handler/CrashState.h"
#include "telemetry/crash/handler/SafeWriter.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace murmelo::crash {

namespace {
int64_t monotonicMillis()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Waits for the socket to become ready for the given events before the deadline.
bool waitFor(int fd, short events, int64_t deadline)
{
    for (;;) {
        const int64_t left = deadline - monotonicMillis();
        if (left <= 0)
            return false;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(left));
        if (n < 0 && errno == EINTR)
            continue;
        return n > 0 && (p.revents & events) != 0;
    }
}

bool sendAll(int fd, const void *data, size_t size, int64_t deadline)
{
    const auto *p = static_cast<const unsigned char *>(data);
    while (size > 0) {
        // MSG_NOSIGNAL: a peer that went away gives EPIPE here, never SIGPIPE.
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n > 0) {
            p += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && waitFor(fd, POLLOUT, deadline))
            continue;
        return false;
    }
    return true;
}

bool connectBefore(int fd, const CrashState &state, int64_t deadline)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        return false;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&state.address), state.addressLength) == 0)
        return true;
    if (errno != EINPROGRESS && errno != EINTR)
        return false;
    if (!waitFor(fd, POLLOUT, deadline))
        return false;
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

bool answeredOk(int fd, int64_t answerWindow)
{
    char head[1024];
    size_t size = 0;
    for (;;) {
        if (!waitFor(fd, POLLIN, monotonicMillis() + answerWindow))
            break;
        char piece[511];
        const ssize_t n = ::recv(fd, piece, sizeof piece, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n && size < sizeof head; ++i)
            head[size++] = piece[i];
        bool ended = false;
        for (size_t i = 3; i < size && !ended; ++i)
            ended = head[i - 3] == '\r' && head[i - 2] == '\n' && head[i - 1] == '\r' &&
                    head[i] == '\n';
        if (ended || size == sizeof head)
            break;
    }
    size_t lineEnd = 0;
    while (lineEnd < size && head[lineEnd] != '\r' && head[lineEnd] != '\n')
        ++lineEnd;
    if (lineEnd == size)
        return false; // the first line never ended
    return safeEquals(head, lineEnd, "HTTP/1.1 200 OK") ||
           safeEquals(head, lineEnd, "HTTP/1.0 200 OK");
}

// The digest text is kept packed as a raw; it must look like lower-case hex.
size_t readTokenDigest(const CrashState &state, char *digest, size_t capacity)
{
    LineBuffer path;
    path.append(state.sdkFolder, state.sdkFolderLength).append("/").append(kTokenDigestFileName);
    path.appendChar('\0');
    unsigned char packed[56];
    const long n = readSmallFile(path.data(), packed, sizeof packed);
    size_t size = 0, offset = 0;
    if (n >= 1 && (packed[0] & 0xe0) == 0xa0) {
        size = packed[0] & 0x1f;
        offset = 1;
    } else if (n >= 3 && packed[0] == 0xda) {
        size = (static_cast<size_t>(packed[1]) << 8) | packed[2];
        offset = 3;
    }
    if (size == 0 || size + offset != static_cast<size_t>(n) || size > capacity)
        return 0;
    for (size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(packed[offset + i]);
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return 0;
        digest[i] = c;
    }
    return size;
}
} // namespace

bool deliverReport(int reportFd)
{
    CrashState &state = crashState();
    const int fd = state.socketFd.exchange(-1);
    if (fd < 0)
        return false;
    char digest[49];
    const size_t digestSize = readTokenDigest(state, digest, sizeof digest);
    struct stat info {};
    bool delivered = false;
    const int64_t deadline = monotonicMillis() + state.deadlineSeconds * 1000;
    if (digestSize > 0 && ::fstat(reportFd, &info) == 0 && connectBefore(fd, state, deadline)) {
        LineBuffer head;
        head.append("POST ").append(kSessionsPath).append(" HTTP/1.1\r\nHost: ");
        if (state.hostCarriesTokenDigest)
            head.append(digest, digestSize).append(".");
        head.append(state.host).append("\r\nContent-Length: ");
        head.appendDecimal(info.st_size).append("\r\n\r\n");
        bool sent =
            sendAll(fd, head.data(), head.size(), deadline) && ::lseek(reportFd, 0, SEEK_SET) == 0;
        unsigned char piece[512];
        while (sent) {
            const ssize_t n = ::read(reportFd, piece, sizeof piece);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                sent = n == 0;
                break;
            }
            sent = sendAll(fd, piece, static_cast<size_t>(n), deadline);
        }
        delivered = sent && answeredOk(fd, state.answerSeconds * 1000);
    }
    ::close(fd);
    return delivered;
}

} // namespace murmelo::crash
