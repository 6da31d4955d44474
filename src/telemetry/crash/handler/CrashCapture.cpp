#include "telemetry/crash/handler/CrashCapture.h"

#include "telemetry/crash/handler/CrashDelivery.h"
#include "telemetry/crash/handler/CrashState.h"
#include "telemetry/crash/handler/ImageLookup.h"
#include "telemetry/crash/handler/SafeWriter.h"
#include "telemetry/log/VGRemoteLog.h"

#define UNW_LOCAL_ONLY
#include <libunwind.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <cxxabi.h>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

namespace murmelo::crash {

std::atomic<CaptureHook> captureHookForTesting{nullptr};

namespace {
CrashState g_state;

// Only one capture per process: the first thread to crash takes it, later crashers wait for the
// process to end.
std::atomic<int> g_capturing{0};
std::atomic<pid_t> g_captureTid{0};
std::atomic<int> g_originalSignal{0};

// A fault inside a guarded step of the capture jumps back to the step's start.
sigjmp_buf g_guard;
volatile sig_atomic_t g_guardArmed = 0;
int g_guardFaults = 0;
constexpr int kMaxGuardFaults = 32;

constexpr int kAllSignals[] = {SIGABRT, SIGILL, SIGSEGV, SIGFPE, SIGBUS, SIGPIPE, SIGTRAP};
constexpr long kThreadAnswerMillis = 1000;
constexpr long kThreadReleaseMillis = 60000;

// Buffers of the capturing thread, kept off the (alternate) stack.
uintptr_t g_ownFrames[kMaxFrames];
size_t g_ownFrameCount = 0;
pid_t g_tids[kMaxThreads];
char g_names[kMaxThreads][40];
char g_reason[kPathCapacity];
LineBuffer g_line;
LineBuffer g_path;
unsigned char g_sessionId[50];
long g_sessionIdSize = -1; // the packed id as stored, -1 when unreadable
char g_sessionIdText[50];

pid_t currentTid()
{
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

void sleepMillis(long millis)
{
    timespec pause{millis / 1000, (millis % 1000) * 1000000};
    while (::nanosleep(&pause, &pause) < 0 && errno == EINTR) {
    }
}

[[noreturn]] void waitForEnd()
{
    for (;;)
        sleepMillis(1000);
}

void setHandler(int signal, void (*handler)(int, siginfo_t *, void *))
{
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    if (handler) {
        action.sa_sigaction = handler;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    } else {
        action.sa_handler = SIG_DFL;
    }
    ::sigaction(signal, &action, nullptr);
}

void resetAllToDefault()
{
    for (int signal : kAllSignals)
        setHandler(signal, nullptr);
}

// Ends the process by the signal that started the capture, whatever happened since.
[[noreturn]] void endByOriginalSignal()
{
    const int original = g_originalSignal.load() != 0 ? g_originalSignal.load() : SIGABRT;
    resetAllToDefault();
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, original);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(original);
    ::_exit(128 + original);
}

void onFaultDuringCapture(int, siginfo_t *, void *)
{
    if (currentTid() == g_captureTid.load()) {
        if (g_guardArmed && ++g_guardFaults < kMaxGuardFaults) {
            g_guardArmed = 0;
            siglongjmp(g_guard, 1);
        }
        endByOriginalSignal();
    }
    waitForEnd();
}

void onWatchdog(int)
{
    endByOriginalSignal();
}

// Runs one step of the capture; a fault inside it abandons the step and the capture goes on.
template <typename Step> bool guarded(Step &&step)
{
    if (sigsetjmp(g_guard, 1) != 0)
        return false;
    g_guardArmed = 1;
    step();
    g_guardArmed = 0;
    return true;
}

// Frames by the unwind tables: frame 0 is where the context stopped; callers are return
// addresses minus one, so that each lands inside its call instruction's function.
size_t unwind(unw_context_t *context, bool signalFrame, uintptr_t *out)
{
    unw_cursor_t cursor;
    if (unw_init_local2(&cursor, context, signalFrame ? UNW_INIT_SIGNAL_FRAME : 0) < 0)
        return 0;
    size_t count = 0;
    bool exact = signalFrame;
    for (;;) {
        unw_word_t ip = 0;
        if (unw_get_reg(&cursor, UNW_REG_IP, &ip) < 0)
            break;
        out[count++] = exact || ip == 0 ? ip : ip - 1;
        if (count == kMaxFrames)
            break;
        exact = unw_is_signal_frame(&cursor) > 0;
        if (unw_step(&cursor) <= 0)
            break;
    }
    while (count > 0 && out[count - 1] == 0)
        --count;
    return count;
}

struct Dirent64 {
    uint64_t ino;
    int64_t off;
    unsigned short reclen;
    unsigned char type;
    char name[1];
};

size_t listThreads(pid_t *tids, size_t capacity)
{
    const int fd = ::open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    alignas(8) char buffer[2048];
    size_t count = 0;
    for (;;) {
        const long n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (long offset = 0; offset < n;) {
            const auto *entry = reinterpret_cast<const Dirent64 *>(buffer + offset);
            offset += entry->reclen;
            pid_t tid = 0;
            const char *c = entry->name;
            if (*c < '0' || *c > '9')
                continue;
            for (; *c >= '0' && *c <= '9'; ++c)
                tid = tid * 10 + (*c - '0');
            if (count < capacity)
                tids[count++] = tid;
        }
    }
    ::close(fd);
    return count;
}

void readThreadName(pid_t tid, char *name, size_t capacity)
{
    g_path.clear();
    g_path.append("/proc/self/task/").appendDecimal(tid).append("/comm").appendChar('\0');
    const long n = readSmallFile(g_path.data(), name, capacity - 1);
    size_t size = n > 0 ? static_cast<size_t>(n) : 0;
    while (size > 0 && (name[size - 1] == '\n' || name[size - 1] == '\0'))
        --size;
    name[size] = '\0';
}

// Names as the report keys them: a thread that kept the name it inherited from the process has
// none of its own and is "Thread <index>"; a name seen before gets the index too, so that no
// thread's backtrace hides another's under the same key.
void nameThreads(size_t count, pid_t mainTid)
{
    char processName[40] = {};
    readThreadName(mainTid, processName, sizeof processName);
    for (size_t i = 0; i < count; ++i) {
        char own[40];
        readThreadName(g_tids[i], own, sizeof own);
        LineBuffer &name = g_line;
        name.clear();
        const bool inherited = g_tids[i] != mainTid && std::strcmp(own, processName) == 0;
        bool duplicate = false;
        for (size_t j = 0; j < i && !duplicate; ++j)
            duplicate = std::strcmp(g_names[j], own) == 0;
        if (own[0] == '\0' || inherited)
            name.append("Thread ").appendDecimal(static_cast<int64_t>(i));
        else if (duplicate)
            name.append(own).append(" (Thread ").appendDecimal(static_cast<int64_t>(i)).append(")");
        else
            name.append(own);
        const size_t size =
            name.size() < sizeof g_names[i] - 1 ? name.size() : sizeof g_names[i] - 1;
        std::memcpy(g_names[i], name.data(), size);
        g_names[i][size] = '\0';
    }
}

// Asks every other thread to record its own stack and waits a bounded time for the answers.
// The threads then wait inside their handlers until released: they are suspended.
void recordOtherThreads(size_t count, pid_t self)
{
    CrashState &state = g_state;
    state.releaseThreads.store(false);
    state.dumpRequest.store(static_cast<int>(DumpRequest::RecordStack));
    const pid_t pid = ::getpid();
    for (size_t i = 0; i < count; ++i) {
        ThreadSlot &slot = state.threadSlots[i];
        slot.frameCount = 0;
        slot.state.store(static_cast<int>(SlotState::Idle));
        slot.tid.store(g_tids[i]);
        if (g_tids[i] == self || state.dumpSignal == 0)
            continue;
        slot.state.store(static_cast<int>(SlotState::Requested));
        if (::syscall(SYS_tgkill, pid, g_tids[i], state.dumpSignal) != 0)
            slot.state.store(static_cast<int>(SlotState::Idle));
    }
    for (long waited = 0; waited < kThreadAnswerMillis; ++waited) {
        bool pending = false;
        for (size_t i = 0; i < count && !pending; ++i)
            pending = state.threadSlots[i].state.load() == static_cast<int>(SlotState::Requested);
        if (!pending)
            break;
        sleepMillis(1);
    }
}

void releaseOtherThreads()
{
    g_state.dumpRequest.store(static_cast<int>(DumpRequest::None));
    g_state.releaseThreads.store(true);
}

LineBuffer &sdkPath(const char *relative)
{
    g_path.clear();
    g_path.append(g_state.sdkFolder, g_state.sdkFolderLength).append("/").append(relative);
    return g_path;
}

// The current session as the session manager left it on disk.
struct SessionFacts {
    int32_t sequence = -1;
    bool hasStart = false;
    double start = 0;
    bool hasFragment = false;
    double fragment = 0;
};

bool sessionIdIsSafe(const char *text, size_t size)
{
    if (size == 0)
        return false;
    for (size_t i = 0; i < size; ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
              c == '-'))
            return false;
    }
    return true;
}

void readSessionId()
{
    g_sessionIdSize = -1;
    g_sessionIdText[0] = '\0';
    sdkPath("session_info/last_session_id.mpack").appendChar('\0');
    const long n = readSmallFile(g_path.data(), g_sessionId, 49);
    size_t size = 0, offset = 0;
    if (n >= 1 && (g_sessionId[0] & 0xe0) == 0xa0) {
        size = g_sessionId[0] & 0x1f;
        offset = 1;
    } else if (n >= 3 && g_sessionId[0] == 0xda) {
        size = (size_t(g_sessionId[1]) << 8) | g_sessionId[2];
        offset = 3;
    }
    // The id names files: anything but a plain id is ignored rather than followed as a path.
    if (offset == 0 || size + offset != static_cast<size_t>(n) ||
        !sessionIdIsSafe(reinterpret_cast<const char *>(g_sessionId + offset), size))
        return;
    std::memcpy(g_sessionIdText, g_sessionId + offset, size);
    g_sessionIdText[size] = '\0';
    g_sessionIdSize = n;
}

bool readTime(const char *relative, double &value)
{
    unsigned char packed[16];
    sdkPath(relative).appendChar('\0');
    const long n = readSmallFile(g_path.data(), packed, sizeof packed);
    if (n != 9 || packed[0] != 0xcb)
        return false;
    value = readBigEndianDouble(packed + 1);
    return true;
}

LineBuffer &sequencePath()
{
    return sdkPath("session_info/").append(g_sessionIdText).append(".seq.mpack").appendChar('\0');
}

// The number in the session's sequence file, in any integer form; -1 when unreadable.
int32_t readSequence()
{
    if (g_sessionIdSize < 0)
        return -1;
    unsigned char packed[16];
    const long n = readSmallFile(sequencePath().data(), packed, sizeof packed);
    if (n < 1)
        return -1;
    const unsigned char kind = packed[0];
    if (kind <= 0x7f && n == 1)
        return kind;
    int64_t value = 0;
    int width = 0;
    bool isSigned = false;
    switch (kind) {
    case 0xcc:
        width = 1;
        break;
    case 0xcd:
        width = 2;
        break;
    case 0xce:
        width = 4;
        break;
    case 0xd0:
        width = 1;
        isSigned = true;
        break;
    case 0xd1:
        width = 2;
        isSigned = true;
        break;
    case 0xd2:
        width = 4;
        isSigned = true;
        break;
    default:
        return -1;
    }
    if (n != 1 + width)
        return -1;
    uint64_t bits = 0;
    for (int i = 0; i < width; ++i)
        bits = (bits << 8) | packed[1 + i];
    if (isSigned && (bits & (uint64_t(1) << (width * 8 - 1))))
        value = static_cast<int64_t>(bits) - (int64_t(1) << (width * 8));
    else
        value = static_cast<int64_t>(bits);
    return value < INT32_MIN || value > INT32_MAX ? -1 : static_cast<int32_t>(value);
}

void writeSequence(int32_t value)
{
    const int fd = ::open(sequencePath().data(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return;
    const uint32_t bits = static_cast<uint32_t>(value);
    const unsigned char packed[5] = {
        0xd2, static_cast<unsigned char>(bits >> 24), static_cast<unsigned char>(bits >> 16),
        static_cast<unsigned char>(bits >> 8), static_cast<unsigned char>(bits)};
    writeAll(fd, packed, sizeof packed);
    ::close(fd);
}

void writeSessionPairs(SafeWriter &out, const char *type, const SessionFacts &facts, double now)
{
    out.text("timestamp");
    out.int32(static_cast<int32_t>(now));
    out.text("type");
    out.text(type);
    out.text("session_id");
    if (g_sessionIdSize > 0)
        out.bytes(g_sessionId, static_cast<size_t>(g_sessionIdSize));
    else
        out.raw("", 0);
    out.text("sequence_number");
    out.int32(facts.sequence);
    out.text("start_time");
    facts.hasStart ? out.float64(facts.start) : out.int32(0);
    out.text("duration");
    facts.hasStart ? out.float64(now - facts.start) : out.int32(0);
    out.text("fragment_start_time");
    facts.hasFragment ? out.float64(facts.fragment) : out.int32(0);
    out.text("fragment_duration");
    facts.hasFragment ? out.float64(now - facts.fragment) : out.int32(0);
}

// The body header the event queue keeps; a built-in one with empty information when that file
// is missing or damaged, so that the report is still one well-formed upload body.
void writeBodyHeader(SafeWriter &out)
{
    const int fd =
        ::open(sdkPath("VGEventManager/start network data.msgpack").appendChar('\0').data(),
               O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        unsigned char head[5] = {};
        const bool fiveByteMap = ::read(fd, head, 5) == 5 && head[0] == 0xdf && head[1] == 0 &&
                                 head[2] == 0 && head[3] == 0 && head[4] == 4;
        if (fiveByteMap) {
            out.bytes(head, 5);
            out.copyFrom(fd);
            ::close(fd);
            return;
        }
        ::close(fd);
    }
    out.mapHeader(4);
    out.text("bundle_info");
    out.mapHeader(0);
    out.text("device_info");
    out.mapHeader(0);
    out.text("sdk_version");
    out.text(kSdkVersion);
}

void writeBacktrace(SafeWriter &out, const uintptr_t *frames, size_t count)
{
    if (count == 0) {
        out.nil();
        return;
    }
    out.arrayHeader(static_cast<uint32_t>(count));
    const ImageTable *table = publishedImages();
    for (size_t i = 0; i < count; ++i) {
        const uintptr_t address = frames[i];
        const Image *image = nullptr;
        Symbol symbol;
        bool haveSymbol = false;
        guarded([&] {
            image = table ? imageForAddress(*table, address) : nullptr;
            haveSymbol = image && nearestSymbol(*image, address, symbol);
        });
        formatFrame(g_line, i, address, image, haveSymbol ? &symbol : nullptr);
        out.raw(g_line.data(), g_line.size());
    }
}

void writeThreadMap(SafeWriter &out, size_t count, size_t selfIndex)
{
    out.mapHeader(static_cast<uint32_t>(count + 1));
    out.text("primary_thread");
    out.text(g_names[selfIndex]);
    out.text(g_names[selfIndex]);
    writeBacktrace(out, g_ownFrames, g_ownFrameCount);
    for (size_t i = 0; i < count; ++i) {
        if (i == selfIndex)
            continue;
        const ThreadSlot &slot = g_state.threadSlots[i];
        out.text(g_names[i]);
        const bool answered = slot.state.load() == static_cast<int>(SlotState::Done);
        writeBacktrace(out, slot.frames, answered ? slot.frameCount : 0);
    }
}

void writeRegisterPair(SafeWriter &out, const char *name, uint64_t value)
{
    out.text(name);
    out.unsignedNumber(value);
}

// The report names the registers of the processor it was first written for; the host's are
// mapped onto those names: general registers in order, then stack pointer, return address,
// program counter, flags, and the processor's exception state (trap number, error code and
// fault address on x86-64).
void writeRegisters(SafeWriter &out, const ucontext_t *context, bool withExceptionState,
                    uint64_t returnAddress)
{
    static const char *const kGeneral[] = {"r0", "r1", "r2", "r3",  "r4",  "r5", "r6",
                                           "r7", "r8", "r9", "r10", "r11", "r12"};
    out.mapHeader(20);
#if defined(__x86_64__)
    const greg_t *g = context->uc_mcontext.gregs;
    static const int kHost[] = {REG_RAX, REG_RBX, REG_RCX, REG_RDX, REG_RSI, REG_RDI, REG_RBP,
                                REG_R8,  REG_R9,  REG_R10, REG_R11, REG_R12, REG_R13};
    for (int i = 0; i < 13; ++i)
        writeRegisterPair(out, kGeneral[i], static_cast<uint64_t>(g[kHost[i]]));
    writeRegisterPair(out, "sp", static_cast<uint64_t>(g[REG_RSP]));
    writeRegisterPair(out, "lr", returnAddress);
    writeRegisterPair(out, "pc", static_cast<uint64_t>(g[REG_RIP]));
    writeRegisterPair(out, "cpsr", static_cast<uint64_t>(g[REG_EFL]));
    writeRegisterPair(out, "exception",
                      withExceptionState ? static_cast<uint64_t>(g[REG_TRAPNO]) : 0);
    writeRegisterPair(out, "fsr", withExceptionState ? static_cast<uint64_t>(g[REG_ERR]) : 0);
    writeRegisterPair(out, "far", withExceptionState ? static_cast<uint64_t>(g[REG_CR2]) : 0);
#elif defined(__aarch64__)
    const auto &m = context->uc_mcontext;
    (void)returnAddress;
    for (int i = 0; i < 13; ++i)
        writeRegisterPair(out, kGeneral[i], m.regs[i]);
    writeRegisterPair(out, "sp", m.sp);
    writeRegisterPair(out, "lr", m.regs[30]);
    writeRegisterPair(out, "pc", m.pc);
    writeRegisterPair(out, "cpsr", m.pstate);
    writeRegisterPair(out, "exception", 0);
    writeRegisterPair(out, "fsr", 0);
    writeRegisterPair(out, "far", withExceptionState ? m.fault_address : 0);
#else
    (void)context;
    (void)withExceptionState;
    (void)returnAddress;
    static const char *const kRest[] = {"sp", "lr", "pc", "cpsr", "exception", "fsr", "far"};
    for (const char *name : kGeneral)
        writeRegisterPair(out, name, 0);
    for (const char *name : kRest)
        writeRegisterPair(out, name, 0);
#endif
}

void writeImages(SafeWriter &out)
{
    const ImageTable *table = publishedImages();
    const size_t count = table ? table->count : 0;
    out.arrayHeader(static_cast<uint32_t>(count));
    for (size_t i = 0; i < count; ++i) {
        formatImage(g_line, table->images[i]);
        out.raw(g_line.data(), g_line.size());
    }
}

void markSent(const char *path)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    static const char kMark[5] = {'s', 'e', 'n', 't', '\0'};
    const bool marked = ::pwrite(fd, kMark, sizeof kMark, 0) == static_cast<ssize_t>(sizeof kMark);
    (void)marked;
    ::close(fd);
}

// The session's remote log as one raw: the ".ulog" file's header and its records, written only
// while nothing of it is compressed yet and it was not sent before. The open log's file runs on
// past its records (room kept for later ones), so the records are walked to find their end.
bool writeLog(SafeWriter &out)
{
    if (g_sessionIdSize < 0)
        return false;
    sdkPath("logs/").append(g_sessionIdText).append(".zlog").appendChar('\0');
    if (::access(g_path.data(), F_OK) == 0)
        return false;
    sdkPath("logs/").append(g_sessionIdText).append(".ulog").appendChar('\0');
    const int fd = ::open(g_path.data(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    unsigned char head[5] = {};
    const bool usable = ::fstat(fd, &info) == 0 && info.st_size >= 5 &&
                        ::pread(fd, head, 5, 0) == 5 && head[0] == 0xdd;
    if (!usable) {
        ::close(fd);
        return false;
    }
    const uint32_t count = static_cast<uint32_t>(head[1]) << 24 |
                           static_cast<uint32_t>(head[2]) << 16 |
                           static_cast<uint32_t>(head[3]) << 8 | head[4];
    uint32_t found = 0;
    const uint64_t end =
        vg_remote_log_records_end(fd, static_cast<uint64_t>(info.st_size), count, &found);
    if (end > 0x7fffffff) {
        ::close(fd);
        return false;
    }
    // The count of the records found: a damaged record ends the log there, still well formed.
    const auto size = static_cast<uint32_t>(end);
    const unsigned char heads[10] = {0xdb,
                                     static_cast<unsigned char>(size >> 24),
                                     static_cast<unsigned char>(size >> 16),
                                     static_cast<unsigned char>(size >> 8),
                                     static_cast<unsigned char>(size),
                                     0xdd,
                                     static_cast<unsigned char>(found >> 24),
                                     static_cast<unsigned char>(found >> 16),
                                     static_cast<unsigned char>(found >> 8),
                                     static_cast<unsigned char>(found)};
    out.bytes(heads, sizeof heads);
    uint64_t copied = 5;
    unsigned char piece[512];
    while (copied < size) {
        const size_t want = size - copied < sizeof piece ? size - copied : sizeof piece;
        const ssize_t n = ::pread(fd, piece, want, static_cast<off_t>(copied));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.bytes(piece, static_cast<size_t>(n));
        copied += static_cast<uint64_t>(n);
    }
    ::close(fd);
    // A log that shrank under us cannot be completed: pad it with zero bytes (no records are
    // lost that were not already gone) so the report stays well formed.
    while (copied < size) {
        const unsigned char zero = 0;
        out.bytes(&zero, 1);
        ++copied;
    }
    return !out.failed();
}

struct CaptureInput {
    bool isSignal;
    int signal;
    unw_context_t *context;
    const char *reason;
};

const char *signalName(int signal)
{
    switch (signal) {
    case SIGABRT:
        return "SIGABRT";
    case SIGILL:
        return "SIGILL";
    case SIGSEGV:
        return "SIGSEGV";
    case SIGFPE:
        return "SIGFPE";
    case SIGBUS:
        return "SIGBUS";
    case SIGPIPE:
        return "SIGPIPE";
    case SIGTRAP:
        return "SIGTRAP";
    default:
        return "";
    }
}

void capture(const CaptureInput &input)
{
    CrashState &state = g_state;
    for (int signal : kAllSignals)
        setHandler(signal, onFaultDuringCapture);
    struct sigaction watchdog {};
    watchdog.sa_handler = onWatchdog;
    sigemptyset(&watchdog.sa_mask);
    ::sigaction(SIGALRM, &watchdog, nullptr);
    ::alarm(state.watchdogSeconds);

    const pid_t self = currentTid();
    g_ownFrameCount = 0;
    guarded([&] { g_ownFrameCount = unwind(input.context, input.isSignal, g_ownFrames); });

    const size_t threadCount = listThreads(g_tids, kMaxThreads);
    size_t selfIndex = threadCount;
    for (size_t i = 0; i < threadCount; ++i) {
        if (g_tids[i] == self)
            selfIndex = i;
    }
    size_t count = threadCount;
    if (selfIndex == threadCount) {
        // Not listed (more threads than slots): the capturing thread takes the last slot.
        selfIndex = count == kMaxThreads ? kMaxThreads - 1 : count++;
        g_tids[selfIndex] = self;
    }
    recordOtherThreads(count, self);
    nameThreads(count, ::getpid());

    const int fd = ::open(sdkPath(kReportFileName).appendChar('\0').data(),
                          O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        SafeWriter out(fd);
        writeBodyHeader(out);
        out.text("events");
        out.arrayHeader(2);

        const double now = wallClockSeconds();
        SessionFacts facts;
        guarded([&] {
            readSessionId();
            facts.sequence = readSequence();
            if (facts.sequence >= 0)
                writeSequence(facts.sequence + 1);
            facts.hasStart = readTime("session_info/last_session_start_time.mpack", facts.start);
            facts.hasFragment =
                readTime("session_info/last_session_fragment_start_time.mpack", facts.fragment);
        });
        if (CaptureHook hook = captureHookForTesting.load())
            guarded(hook);

        out.mapHeader(13);
        writeSessionPairs(out, "crash", facts, now);
        out.text("stacktrace");
        writeThreadMap(out, count, selfIndex);
        out.text("crashtype");
        out.text(input.isSignal ? "signal" : "exception");
        if (input.isSignal) {
            out.text("signal");
            out.text(signalName(input.signal));
        } else {
            out.text("exception");
            out.text(input.reason);
        }
        out.text("register_state");
        writeRegisters(out, reinterpret_cast<const ucontext_t *>(input.context), input.isSignal,
                       g_ownFrameCount > 1 ? g_ownFrames[1] + 1 : 0);
        out.text("image_list");
        writeImages(out);

        // The session's end, numbered after the crash.
        facts.sequence = readSequence();
        out.mapHeader(9);
        writeSessionPairs(out, "session_end", facts, now);
        out.text("log");
        const bool logWritten = writeLog(out);
        if (!logWritten)
            out.arrayHeader(0);
        if (out.flush() && logWritten) {
            sdkPath("logs/").append(g_sessionIdText).append(".ulog").appendChar('\0');
            markSent(g_path.data());
            sdkPath("session_info/")
                .append(g_sessionIdText)
                .append(".session.mpack")
                .appendChar('\0');
            markSent(g_path.data());
        }
        if (!out.failed() && deliverReport(fd)) {
            static const char kMark[5] = {'s', 'e', 'n', 't', '\0'};
            const bool marked = ::pwrite(fd, kMark, 5, 0) == 5;
            (void)marked;
        }
        ::close(fd);
    }
    releaseOtherThreads();
    ::alarm(0);
    resetAllToDefault();
}

bool takeCapture(int signal)
{
    const pid_t self = currentTid();
    int idle = 0;
    if (!g_capturing.compare_exchange_strong(idle, 1)) {
        if (g_captureTid.load() == self)
            endByOriginalSignal(); // a fault inside the handler outside any guarded step
        waitForEnd();
    }
    g_captureTid.store(self);
    g_originalSignal.store(signal);
    return true;
}

size_t chainedIndex(int signal)
{
    for (size_t i = 0; i < kChainedSignalCount; ++i) {
        if (kChainedSignals[i] == signal)
            return i;
    }
    return kChainedSignalCount;
}
} // namespace

CrashState &crashState()
{
    return g_state;
}

void onFatalSignal(int signal, siginfo_t *info, void *context)
{
    takeCapture(signal);
    capture({true, signal, static_cast<unw_context_t *>(context), nullptr});
    // Delivery is done before chaining, so a previous handler that never returns cannot lose it.
    const size_t index = chainedIndex(signal);
    if (index < kChainedSignalCount && g_state.hasPrevious[index]) {
        const struct sigaction &previous = g_state.previous[index];
        if (previous.sa_flags & SA_SIGINFO)
            previous.sa_sigaction(signal, info, context);
        else
            previous.sa_handler(signal);
    }
    endByOriginalSignal();
}

void onDumpSignal(int, siginfo_t *, void *context)
{
    const int savedErrno = errno;
    CrashState &state = g_state;
    const pid_t self = currentTid();
    ThreadSlot *slot = nullptr;
    for (size_t i = 0; i < kMaxThreads && !slot; ++i) {
        if (state.threadSlots[i].tid.load() == self)
            slot = &state.threadSlots[i];
    }
    if (!slot || slot->state.load() != static_cast<int>(SlotState::Requested)) {
        errno = savedErrno;
        return;
    }
    const auto request = static_cast<DumpRequest>(state.dumpRequest.load());
    if (request == DumpRequest::InstallAlternateStack) {
        stack_t current{};
        if (slot->alternateStack && ::sigaltstack(nullptr, &current) == 0 &&
            (current.ss_flags & SS_DISABLE)) {
            stack_t stack{};
            stack.ss_sp = slot->alternateStack;
            stack.ss_size = kAlternateStackSize;
            if (::sigaltstack(&stack, nullptr) == 0)
                slot->alternateStack = nullptr; // taken
        }
        slot->state.store(static_cast<int>(SlotState::Done));
    } else if (request == DumpRequest::RecordStack) {
        slot->frameCount = unwind(static_cast<unw_context_t *>(context), true, slot->frames);
        slot->state.store(static_cast<int>(SlotState::Done));
        for (long waited = 0; !state.releaseThreads.load() && waited < kThreadReleaseMillis;
             ++waited)
            sleepMillis(1);
    }
    errno = savedErrno;
}

// Rewrites, in place, each "HOME/" in TEXT as "~/" with the home folder prepared at install.
void hideHomeFolder(char *text)
{
    const size_t length = g_state.homeLength;
    if (length == 0)
        return;
    char *out = text;
    for (const char *in = text; *in;) {
        size_t matched = 0;
        while (matched < length && in[matched] == g_state.home[matched])
            ++matched;
        if (matched == length && in[length] == '/') {
            *out++ = '~';
            in += length;
        } else {
            *out++ = *in++;
        }
    }
    *out = '\0';
}

void onTerminate()
{
    takeCapture(SIGABRT);
    g_reason[0] = '\0';
    // Terminate without an exception in flight (a direct std::terminate call) has no reason.
    if (abi::__cxa_current_exception_type()) {
        // Rethrowing the exception in flight reuses it; nothing is allocated.
        try {
            throw;
        } catch (const std::exception &exception) {
            std::strncpy(g_reason, exception.what(), sizeof g_reason - 1);
        } catch (...) {
            std::strncpy(g_reason, abi::__cxa_current_exception_type()->name(),
                         sizeof g_reason - 1);
        }
    }
    g_reason[sizeof g_reason - 1] = '\0';
    hideHomeFolder(g_reason);
    static unw_context_t context;
    unw_getcontext(&context);
    capture({false, SIGABRT, &context, g_reason});
    if (g_state.previousTerminate)
        g_state.previousTerminate();
    endByOriginalSignal();
}

} // namespace murmelo::crash
