#include "telemetry/crash/handler/CrashCapture.h"

#include "telemetry/crash/handler/CaptureGuard.h"
#include "telemetry/crash/handler/CrashDelivery.h"
#include "telemetry/crash/handler/CrashSession.h"
#include "telemetry/crash/handler/CrashState.h"
#include "telemetry/crash/handler/ImageLookup.h"
#include "telemetry/crash/handler/SafeWriter.h"
#include "telemetry/crash/handler/ThreadStacks.h"

#include <cerrno>
#include <cstring>
#include <cxxabi.h>
#include <exception>
#include <fcntl.h>
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

constexpr int kAllSignals[] = {SIGABRT, SIGILL, SIGSEGV, SIGFPE, SIGBUS, SIGPIPE, SIGTRAP};
constexpr long kThreadReleaseMillis = 60000;

// Buffers of the capturing thread, kept off the (alternate) stack.
uintptr_t g_ownFrames[kMaxFrames];
size_t g_ownFrameCount = 0;
ThreadList g_threads;
char g_reason[kPathCapacity];
LineBuffer g_line;
LineBuffer g_path;

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
        abandonGuardedStep();
        endByOriginalSignal();
    }
    waitForEnd();
}

void onWatchdog(int)
{
    endByOriginalSignal();
}

// The body header the event queue keeps; a built-in one with empty information when that file
// is missing or damaged, so that the report is still one well-formed upload body.
void writeBodyHeader(SafeWriter &out)
{
    const int fd =
        ::open(sdkPath(g_path, "VGEventManager/start network data.msgpack").appendChar('\0').data(),
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

void writeThreadMap(SafeWriter &out, const ThreadList &threads)
{
    out.mapHeader(static_cast<uint32_t>(threads.count + 1));
    out.text("primary_thread");
    out.text(threads.names[threads.selfIndex]);
    out.text(threads.names[threads.selfIndex]);
    writeBacktrace(out, g_ownFrames, g_ownFrameCount);
    for (size_t i = 0; i < threads.count; ++i) {
        if (i == threads.selfIndex)
            continue;
        const ThreadSlot &slot = g_state.threadSlots[i];
        out.text(threads.names[i]);
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

    listThreads(g_threads, self);
    recordOtherThreads(g_threads);
    nameThreads(g_threads, ::getpid());

    const int fd = ::open(sdkPath(g_path, kReportFileName).appendChar('\0').data(),
                          O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        SafeWriter out(fd);
        writeBodyHeader(out);
        out.text("events");
        out.arrayHeader(2);

        const double now = wallClockSeconds();
        SessionFacts facts;
        guarded([&] { readCrashSession(facts); });
        if (CaptureHook hook = captureHookForTesting.load())
            guarded(hook);

        out.mapHeader(13);
        writeSessionPairs(out, "crash", facts, now);
        out.text("stacktrace");
        writeThreadMap(out, g_threads);
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
        if (out.flush() && logWritten)
            markSessionSent();
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
