#include "telemetry/crash/VGCrashReporter.h"

#include "platform/ServiceEndpoints.h"
#include "platform/SystemLog.h"
#include "telemetry/VGFileWrites.h"
#include "telemetry/crash/ImageListBuilder.h"
#include "telemetry/crash/handler/CrashCapture.h"
#include "telemetry/crash/handler/CrashDelivery.h"
#include "telemetry/crash/handler/CrashState.h"
#include "telemetry/network/VGNetworkManager.h"
#include "telemetry/session/VGServiceAddress.h"

#define UNW_LOCAL_ONLY
#include <libunwind.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <netdb.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace murmelo {

using namespace crash;

namespace {
std::mutex g_mutex;
VGCrashReporter::LogSink g_logSink;
bool g_installed = false;

void log(const QString &message)
{
    if (g_logSink)
        g_logSink(message);
    else
        systemLog(message);
}

bool isOurs(const struct sigaction &action)
{
    return (action.sa_flags & SA_SIGINFO) && action.sa_sigaction == onFatalSignal;
}

bool isRealHandler(const struct sigaction &action)
{
    if (action.sa_flags & SA_SIGINFO)
        return action.sa_sigaction != nullptr;
    return action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN &&
           action.sa_handler != SIG_ERR;
}

void installFatalHandler(int signal)
{
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_sigaction = onFatalSignal;
    // SA_NODEFER: a fault inside the capture reaches its guard instead of killing the process
    // on a blocked signal.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    ::sigaction(signal, &action, nullptr);
}

void *mapAlternateStack()
{
    void *stack = ::mmap(nullptr, kAlternateStackSize, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    return stack == MAP_FAILED ? nullptr : stack;
}

// Threads alive now take an alternate stack from the pool by answering the dump signal.
void giveThreadsAlternateStacks()
{
    CrashState &state = crashState();
    pid_t tids[kMaxThreads];
    size_t count = 0;
    const QStringList tasks =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    const pid_t self = static_cast<pid_t>(::syscall(SYS_gettid));
    for (const QString &task : tasks) {
        const pid_t tid = task.toInt();
        if (tid > 0 && tid != self && count < kMaxThreads)
            tids[count++] = tid;
    }
    state.dumpRequest.store(static_cast<int>(DumpRequest::InstallAlternateStack));
    for (size_t i = 0; i < count; ++i) {
        ThreadSlot &slot = state.threadSlots[i];
        slot.alternateStack = mapAlternateStack();
        slot.tid.store(tids[i]);
        slot.state.store(static_cast<int>(SlotState::Requested));
        if (!slot.alternateStack ||
            ::syscall(SYS_tgkill, ::getpid(), tids[i], state.dumpSignal) != 0)
            slot.state.store(static_cast<int>(SlotState::Idle));
    }
    for (int waited = 0; waited < 200; ++waited) {
        bool pending = false;
        for (size_t i = 0; i < count && !pending; ++i)
            pending = state.threadSlots[i].state.load() == static_cast<int>(SlotState::Requested);
        if (!pending)
            break;
        ::usleep(1000);
    }
    state.dumpRequest.store(static_cast<int>(DumpRequest::None));
    for (size_t i = 0; i < count; ++i) {
        ThreadSlot &slot = state.threadSlots[i];
        const bool answered = slot.state.load() == static_cast<int>(SlotState::Done);
        // A stack not taken is freed; one handed out but not confirmed may be in use: kept.
        if (slot.alternateStack && answered)
            ::munmap(slot.alternateStack, kAlternateStackSize);
        slot.alternateStack = nullptr;
        slot.state.store(static_cast<int>(SlotState::Idle));
        slot.tid.store(0);
    }
}

void moveLeftOverReport(const QString &sdkFolder)
{
    const QString report = sdkFolder + QLatin1Char('/') + QLatin1String(kReportFileName);
    if (!QFileInfo::exists(report))
        return;
    const QString folder = sdkFolder + QStringLiteral("/old_crashes");
    vgMakePrivateFolder(folder);
    const QString name = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                         QStringLiteral(".crash.mpack");
    QFile::rename(report, folder + QLatin1Char('/') + name);
}

bool carriesSentMark(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(5) == QByteArray("sent\0", 5);
}
} // namespace

void VGCrashReporter::setLogSink(LogSink sink)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_logSink = std::move(sink);
}

bool VGCrashReporter::installCrashHandlers(const QString &sdkFolder)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const QByteArray path = QFile::encodeName(sdkFolder);
    if (size_t(path.size()) + kPathReserve > kPathCapacity) {
        log(QStringLiteral("**** Vigil Error: Could not install crash handlers because cache path "
                           "is too long.\n\ncachePath = \"%1\"")
                .arg(sdkFolder));
        return false;
    }
    CrashState &state = crashState();
    std::memcpy(state.sdkFolder, path.constData(), size_t(path.size()));
    state.sdkFolder[path.size()] = '\0';
    state.sdkFolderLength = size_t(path.size());
    const QByteArray home = QFile::encodeName(QDir::cleanPath(QDir::homePath()));
    const bool hidden =
        home.size() > 1 && home.startsWith('/') && size_t(home.size()) < kPathCapacity;
    std::memcpy(state.home, home.constData(), hidden ? size_t(home.size()) : 0);
    state.home[hidden ? home.size() : 0] = '\0';
    state.homeLength = hidden ? size_t(home.size()) : 0;
    vgMakePrivateFolder(sdkFolder);
    moveLeftOverReport(sdkFolder);
    refreshImageTable();
    // The unwinder's shared cache takes a lock; the handlers must not.
    unw_set_caching_policy(unw_local_addr_space, UNW_CACHE_NONE);

    const std::terminate_handler previous = std::set_terminate(onTerminate);
    if (previous != onTerminate && !state.previousTerminate)
        state.previousTerminate = previous;

    if (!installAlternateStackForCurrentThread())
        std::perror("sigaltstack");

    for (size_t i = 0; i < kChainedSignalCount; ++i) {
        const int signal = kChainedSignals[i];
        struct sigaction current {};
        ::sigaction(signal, nullptr, &current);
        // A broken pipe the application chose to ignore stays ignored: reporting it would turn
        // a harmless write error into a crash.
        if (signal == SIGPIPE && !(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN)
            continue;
        if (isRealHandler(current) && !isOurs(current)) {
            state.previous[i] = current;
            state.hasPrevious[i] = true;
        }
        installFatalHandler(signal);
    }
    installFatalHandler(SIGTRAP);

    if (state.dumpSignal == 0)
        state.dumpSignal = SIGRTMAX - 3;
    struct sigaction dump {};
    sigemptyset(&dump.sa_mask);
    dump.sa_sigaction = onDumpSignal;
    dump.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    ::sigaction(state.dumpSignal, &dump, nullptr);
    giveThreadsAlternateStacks();

    g_installed = true;
    log(QStringLiteral("Vigil: Crash Handlers are installed"));
    return true;
}

void VGCrashReporter::uninstallCrashHandlers()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_installed)
        return;
    CrashState &state = crashState();
    for (size_t i = 0; i < kChainedSignalCount; ++i) {
        struct sigaction current {};
        ::sigaction(kChainedSignals[i], nullptr, &current);
        if (!isOurs(current))
            continue; // someone else's handler came after ours: left alone
        if (state.hasPrevious[i]) {
            ::sigaction(kChainedSignals[i], &state.previous[i], nullptr);
        } else {
            struct sigaction byDefault {};
            byDefault.sa_handler = SIG_DFL;
            ::sigaction(kChainedSignals[i], &byDefault, nullptr);
        }
        state.hasPrevious[i] = false;
    }
    struct sigaction trap {};
    trap.sa_handler = SIG_DFL;
    ::sigaction(SIGTRAP, &trap, nullptr);
    if (std::get_terminate() == onTerminate)
        std::set_terminate(state.previousTerminate ? state.previousTerminate : std::abort);
    state.previousTerminate = nullptr;
    const int fd = state.socketFd.exchange(-1);
    if (fd >= 0)
        ::close(fd);
    g_installed = false;
}

bool VGCrashReporter::handlersInstalled()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_installed;
}

bool VGCrashReporter::installAlternateStackForCurrentThread()
{
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) &&
        current.ss_size >= kAlternateStackSize)
        return true;
    stack_t stack{};
    stack.ss_sp = mapAlternateStack();
    stack.ss_size = kAlternateStackSize;
    if (!stack.ss_sp)
        return false;
    if (::sigaltstack(&stack, nullptr) != 0) {
        ::munmap(stack.ss_sp, kAlternateStackSize);
        return false;
    }
    return true;
}

bool VGCrashReporter::prepareCrashUpload(const QString &applicationToken)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    CrashState &state = crashState();
    const int old = state.socketFd.exchange(-1);
    if (old >= 0)
        ::close(old);
    if (applicationToken.isEmpty() || state.sdkFolderLength == 0)
        return false;

    const QString digest = VGServiceAddress::tokenDigest(applicationToken);
    const QByteArray text = digest.toLatin1();
    QByteArray packed;
    packed.append(char(0xda)).append(char(text.size() >> 8)).append(char(text.size() & 0xff));
    packed.append(text);
    if (!vgWriteFileAtomically(QFile::decodeName(state.sdkFolder) + QLatin1Char('/') +
                                   QLatin1String(kTokenDigestFileName),
                               packed))
        return false;

    const QUrl base = ServiceEndpoints::telemetryUrl();
    const QByteArray host = base.host().toUtf8();
    if (size_t(host.size()) >= kHostCapacity)
        return false;
    std::memcpy(state.host, host.constData(), size_t(host.size()));
    state.host[host.size()] = '\0';
    state.hostCarriesTokenDigest = !VGServiceAddress::isLiteralHost(base.host());
    // The crash-time upload is plain HTTP: port 80 unless the address names one.
    const QByteArray port = QByteArray::number(base.port(80));
    const QByteArray name = state.hostCarriesTokenDigest ? text + '.' + host : host;

    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(name.constData(), port.constData(), &hints, &found) != 0)
        return false;
    bool prepared = false;
    for (addrinfo *entry = found; entry && !prepared; entry = entry->ai_next) {
        const int fd =
            ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol);
        if (fd < 0 || entry->ai_addrlen > sizeof state.address) {
            if (fd >= 0)
                ::close(fd);
            continue;
        }
        timeval sendTimeout{state.deadlineSeconds, 0};
        timeval receiveTimeout{state.answerSeconds, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &receiveTimeout, sizeof receiveTimeout);
        std::memcpy(&state.address, entry->ai_addr, entry->ai_addrlen);
        state.addressLength = entry->ai_addrlen;
        state.socketFd.store(fd);
        prepared = true;
    }
    ::freeaddrinfo(found);
    return prepared;
}

QStringList VGCrashReporter::processOldCrashReports(const QString &sdkFolder)
{
    moveLeftOverReport(sdkFolder);
    QDir folder(sdkFolder + QStringLiteral("/old_crashes"));
    QStringList pending;
    const QFileInfoList reports = folder.entryInfoList(QDir::Files, QDir::Time | QDir::Reversed);
    for (const QFileInfo &report : reports) {
        QString path = report.filePath();
        // A report an earlier launch was sending when it died: sent again only when its body
        // had not left whole.
        if (!path.endsWith(QLatin1String("crash.mpack")))
            path = VGNetworkManager::claimedFileLeftBehind(path);
        if (!path.endsWith(QLatin1String("crash.mpack")))
            continue;
        if (carriesSentMark(path))
            QFile::remove(path);
        else
            pending.append(path);
    }
    return pending;
}

void VGCrashReporter::refreshImageList()
{
    refreshImageTable();
}

void VGCrashReporter::setDeliveryTimeouts(int sendSeconds, int answerSeconds)
{
    CrashState &state = crashState();
    state.deadlineSeconds = std::max(1, sendSeconds);
    state.answerSeconds = std::max(1, answerSeconds);
}

} // namespace murmelo
