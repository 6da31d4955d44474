// A program that installs the crash handlers and then dies the way its second argument asks,
// for the crash matrix. Built with symbols and exported names so that its functions show up by
// name in the report's backtraces.
//
//   crash_child SDKFOLDER MODE
//
// MODE: segv abort fpe ill bus trap exception thread overflow eight inhandler, "exception-home"
// (an exception whose text names a file in $HOME), or "launch": no crash, the next start that
// uploads what earlier runs left as the application does (prints "delivered N of M"), or
// "launch-crash": that start dying as soon as a report's body has gone out, or
// "log-segv:SESSION:N" / "log-kill:SESSION:N": open the session's log, log N lines ("line 0",
// "line 1", ... padded to 200 bytes) and die by SIGSEGV or SIGKILL.
#include "telemetry/VGSdkFolder.h"
#include "telemetry/VGSdkQueue.h"
#include "telemetry/crash/VGCrashReporter.h"
#include "telemetry/crash/handler/CrashState.h"
#include "telemetry/log/VGLogManager.h"
#include "telemetry/network/VGNetworkManager.h"
#include "telemetry/session/VGSessionManager.h"
#include "telemetry/update/VGSDKUpgradeManager.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryFile>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <stdexcept>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

using murmelo::VGCrashReporter;

namespace {
constexpr char kToken[] = "crash-matrix-token";
volatile int g_zero = 0;
volatile int g_dividend = 1000;
volatile int *g_null = nullptr;
// Never destroyed: the idle thread still waits on them when the process exits.
std::mutex &g_idleMutex = *new std::mutex;
std::condition_variable &g_idle = *new std::condition_variable;
} // namespace

extern "C" {

__attribute__((noinline)) void crashBySegv()
{
    *g_null = 1;
}

__attribute__((noinline)) void crashByAbort()
{
    std::abort();
}

__attribute__((noinline)) int crashByFpe()
{
    return g_dividend / g_zero;
}

__attribute__((noinline)) void crashByIll()
{
    __builtin_trap();
}

__attribute__((noinline)) void crashByBus()
{
    char path[] = "/tmp/murmelo-bus-XXXXXX";
    const int fd = mkstemp(path);
    unlink(path);
    if (ftruncate(fd, 4096) != 0)
        std::exit(3);
    auto *mapped = static_cast<volatile char *>(
        mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    if (ftruncate(fd, 0) != 0)
        std::exit(3);
    mapped[10] = 1; // beyond the end of the file now
}

__attribute__((noinline)) void crashByTrap()
{
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("int3");
#else
    raise(SIGTRAP);
#endif
}

__attribute__((noinline)) void crashByException()
{
    throw std::runtime_error("the matrix threw this on purpose");
}

__attribute__((noinline)) void crashByExceptionNamingHome()
{
    throw std::runtime_error(std::string("cannot open ") + std::getenv("HOME") + "/secret.wav");
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
__attribute__((noinline)) int crashByStackOverflow(int depth)
{
    volatile char pad[512];
    pad[0] = static_cast<char>(depth);
    return crashByStackOverflow(depth + 1) + pad[0];
}
#pragma GCC diagnostic pop

__attribute__((noinline)) void crashOnWorkerThread()
{
    pthread_setname_np(pthread_self(), "crash-worker");
    *g_null = 4;
}

__attribute__((noinline)) void crashTogether(std::atomic<int> *ready)
{
    ready->fetch_add(1);
    while (ready->load() < 8) {
    }
    *g_null = 2;
}

__attribute__((noinline)) void faultInsideHandler()
{
    *g_null = 3;
}

__attribute__((noinline)) void crashWithFaultingHandler()
{
    murmelo::crash::captureHookForTesting.store(faultInsideHandler);
    std::abort();
}

__attribute__((noinline)) void idleWorkerWaits()
{
    pthread_setname_np(pthread_self(), "idle-worker");
    std::unique_lock<std::mutex> lock(g_idleMutex);
    g_idle.wait(lock, [] { return false; });
}
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: crash_child SDKFOLDER MODE\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    const QString sdk = QString::fromLocal8Bit(argv[1]);
    const std::string mode = argv[2];
    VGCrashReporter::setDeliveryTimeouts(3, 1);

    // A thread that sleeps through the crash: its stack is reported too.
    std::thread(idleWorkerWaits).detach();

    if (!VGCrashReporter::installCrashHandlers(sdk))
        return 4;
    if (std::getenv("MURMELO_TELEMETRY_URL"))
        VGCrashReporter::prepareCrashUpload(QString::fromLatin1(kToken));

    if (mode == "launch" || mode == "launch-crash") {
        // What the next start does with reports left behind: the session manager sends each
        // through the upload queue, which deletes it once the intake accepts it.
        using murmelo::VGNetworkManager;
        const QStringList pending = VGCrashReporter::processOldCrashReports(sdk);
        murmelo::VGSdkFolder::setPathForTesting(sdk);
        // The profile's storage is current: nothing to migrate away.
        murmelo::VGSDKUpgradeManager::sharedSDKUpgradeManager()._setCurrentSDKUpgradeVersion(sdk,
                                                                                             13);
        murmelo::vgSdkSync([&] {
            auto &sessions = murmelo::VGSessionManager::sharedSessionManager();
            sessions.setApplicationToken(QString::fromLatin1(kToken));
            for (const QString &path : pending)
                sessions.sendOldCrashReport(path);
        });
        auto &network = VGNetworkManager::sharedManager();
        if (mode == "launch-crash") {
            for (int waited = 0; waited < 20000; waited += 10) {
                for (const QString &path : pending) {
                    if (QFile::exists(VGNetworkManager::sentName(path)))
                        crashBySegv();
                }
                usleep(10000);
            }
            return 6;
        }
        for (int waited = 0; waited < 20000 && network.operationCount() > 0; waited += 10)
            usleep(10000);
        // The upload's completion, which deletes an accepted file, runs on the SDK queue.
        murmelo::vgSdkSync([] {});
        int delivered = 0;
        for (const QString &path : pending)
            delivered += QFile::exists(path) ||
                                 QFile::exists(VGNetworkManager::sendingName(path)) ||
                                 QFile::exists(VGNetworkManager::sentName(path))
                             ? 0
                             : 1;
        std::printf("delivered %d of %d\n", delivered, int(pending.size()));
        std::fflush(stdout);
        std::_Exit(0);
    }
    if (mode.rfind("log-", 0) == 0) {
        const QStringList parts = QString::fromStdString(mode).split(QLatin1Char(':'));
        if (parts.size() != 3)
            return 2;
        murmelo::VGSdkFolder::setPathForTesting(sdk);
        auto &logs = murmelo::VGLogManager::sharedManager();
        logs.setLogToConsole(false);
        logs.setCurrentSessionID(parts[1]);
        for (int i = 0, lines = parts[2].toInt(); i < lines; ++i)
            logs.log(QStringLiteral("line %1 ").arg(i).leftJustified(200, QLatin1Char('-')));
        if (parts[0] == QLatin1String("log-kill"))
            raise(SIGKILL);
        crashBySegv();
    } else if (mode == "reinstall") {
        VGCrashReporter::installCrashHandlers(sdk);
        crashBySegv();
    } else if (mode == "segv") {
        crashBySegv();
    } else if (mode == "abort") {
        crashByAbort();
    } else if (mode == "fpe") {
        return crashByFpe();
    } else if (mode == "ill") {
        crashByIll();
    } else if (mode == "bus") {
        crashByBus();
    } else if (mode == "trap") {
        crashByTrap();
    } else if (mode == "exception") {
        crashByException();
    } else if (mode == "exception-home") {
        crashByExceptionNamingHome();
    } else if (mode == "overflow") {
        return crashByStackOverflow(0);
    } else if (mode == "thread") {
        std::thread(crashOnWorkerThread).join();
    } else if (mode == "eight") {
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 8; ++i)
            threads.emplace_back(crashTogether, &ready);
        for (auto &thread : threads)
            thread.join();
    } else if (mode == "inhandler") {
        crashWithFaultingHandler();
    }
    return 5; // still alive: the crash did not happen
}
