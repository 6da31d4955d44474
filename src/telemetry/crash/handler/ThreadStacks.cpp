#include "telemetry/crash/handler/ThreadStacks.h"

#include "telemetry/crash/handler/SafeWriter.h"

#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace murmelo::crash {

namespace {
constexpr long kThreadAnswerMillis = 1000;

// Buffers of the capturing thread, kept off the (alternate) stack.
LineBuffer g_line;
LineBuffer g_path;
} // namespace

pid_t currentTid()
{
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

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

namespace {

struct Dirent64 {
    uint64_t ino;
    int64_t off;
    unsigned short reclen;
    unsigned char type;
    char name[1];
};

size_t listTids(pid_t *tids, size_t capacity)
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
    LineBuffer &path = g_path;
    path.clear();
    path.append("/proc/self/task/").appendDecimal(tid).append("/comm").appendChar('\0');
    const long n = readSmallFile(path.data(), name, capacity - 1);
    size_t size = n > 0 ? static_cast<size_t>(n) : 0;
    while (size > 0 && (name[size - 1] == '\n' || name[size - 1] == '\0'))
        --size;
    name[size] = '\0';
}

} // namespace

void listThreads(ThreadList &threads, pid_t self)
{
    const size_t listed = listTids(threads.tids, kMaxThreads);
    threads.count = listed;
    threads.selfIndex = listed;
    for (size_t i = 0; i < listed; ++i) {
        if (threads.tids[i] == self)
            threads.selfIndex = i;
    }
    if (threads.selfIndex == listed) {
        threads.selfIndex = listed == kMaxThreads ? kMaxThreads - 1 : threads.count++;
        threads.tids[threads.selfIndex] = self;
    }
}

void nameThreads(ThreadList &threads, pid_t mainTid)
{
    const size_t count = threads.count;
    char processName[40] = {};
    readThreadName(mainTid, processName, sizeof processName);
    for (size_t i = 0; i < count; ++i) {
        char own[40];
        readThreadName(threads.tids[i], own, sizeof own);
        LineBuffer &name = g_line;
        name.clear();
        const bool inherited = threads.tids[i] != mainTid && std::strcmp(own, processName) == 0;
        bool duplicate = false;
        for (size_t j = 0; j < i && !duplicate; ++j)
            duplicate = std::strcmp(threads.names[j], own) == 0;
        if (own[0] == '\0' || inherited)
            name.append("Thread ").appendDecimal(static_cast<int64_t>(i));
        else if (duplicate)
            name.append(own).append(" (Thread ").appendDecimal(static_cast<int64_t>(i)).append(")");
        else
            name.append(own);
        const size_t size =
            name.size() < sizeof threads.names[i] - 1 ? name.size() : sizeof threads.names[i] - 1;
        std::memcpy(threads.names[i], name.data(), size);
        threads.names[i][size] = '\0';
    }
}

void recordOtherThreads(const ThreadList &threads)
{
    CrashState &state = crashState();
    const size_t count = threads.count;
    const pid_t self = threads.tids[threads.selfIndex];
    state.releaseThreads.store(false);
    state.dumpRequest.store(static_cast<int>(DumpRequest::RecordStack));
    const pid_t pid = ::getpid();
    for (size_t i = 0; i < count; ++i) {
        ThreadSlot &slot = state.threadSlots[i];
        slot.frameCount = 0;
        slot.state.store(static_cast<int>(SlotState::Idle));
        slot.tid.store(threads.tids[i]);
        if (threads.tids[i] == self || state.dumpSignal == 0)
            continue;
        slot.state.store(static_cast<int>(SlotState::Requested));
        if (::syscall(SYS_tgkill, pid, threads.tids[i], state.dumpSignal) != 0)
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
    crashState().dumpRequest.store(static_cast<int>(DumpRequest::None));
    crashState().releaseThreads.store(true);
}

} // namespace murmelo::crash
