#include "cli/Interruption.h"

#include "audio/OutputPath.h"

#include <QFile>
#include <QSet>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace murmelo::cli::Interruption {

namespace {

// How long a command may take to stop on its own before the watchdog ends it.
constexpr auto gracePeriod = std::chrono::milliseconds(300);

std::atomic<bool> cancelled{false};
volatile std::sig_atomic_t received = 0;
int wakeFds[2] = {-1, -1};

std::mutex trackedMutex;
QSet<QByteArray> &tracked()
{
    static QSet<QByteArray> files;
    return files;
}

void onSignal(int signal)
{
    if (received == 0)
        received = signal;
    cancelled.store(true);
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFds[1], &byte, 1);
}

void watch()
{
    char byte;
    while (::read(wakeFds[0], &byte, 1) < 0) {
    }
    std::this_thread::sleep_for(gracePeriod);
    // Still running: whatever it was doing, its unfinished files go and the process ends.
    OutputFile::removeUnfinished();
    {
        std::lock_guard lock(trackedMutex);
        for (const QByteArray &file : std::as_const(tracked()))
            ::unlink(file.constData());
    }
    static const char message[] = "murmelo: interrupted\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(128 + int(received));
}

} // namespace

void install()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (::pipe2(wakeFds, O_CLOEXEC) != 0)
            return;
        std::thread(watch).detach();
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    });
}

const std::atomic<bool> &flag()
{
    return cancelled;
}

int signalNumber()
{
    return int(received);
}

int exitCode()
{
    return 128 + signalNumber();
}

void track(const QString &path)
{
    std::lock_guard lock(trackedMutex);
    tracked().insert(QFile::encodeName(path));
}

void forget(const QString &path)
{
    std::lock_guard lock(trackedMutex);
    tracked().remove(QFile::encodeName(path));
}

} // namespace murmelo::cli::Interruption
