#pragma once

// The crash state: everything the crash handlers touch, prepared before any crash happens.
//
// The files of this folder run inside signal handlers and are written in a restricted dialect:
// no allocation, no locks, no stdio, no exceptions, no Qt; only the fixed buffers below, plain
// system calls and atomics that are lock-free. Everything that allocates (reading ELF files,
// resolving the intake's address, moving old reports) lives one folder up and runs beforehand.

#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <sys/socket.h>
#include <sys/types.h>

namespace murmelo::crash {

inline constexpr size_t kPathCapacity = 1024;
// Room the SDK folder must leave for the longest file name the handler appends to it.
inline constexpr size_t kPathReserve = 50;
inline constexpr size_t kMaxFrames = 128;
inline constexpr size_t kMaxThreads = 256;
inline constexpr size_t kMaxImages = 512;
inline constexpr size_t kMaxSegments = 8;
inline constexpr size_t kAlternateStackSize = 128 * 1024;
inline constexpr size_t kHostCapacity = 256;

// The fatal signals whose previous handlers are chained; SIGTRAP is handled too, not chained.
inline constexpr int kChainedSignals[] = {SIGABRT, SIGILL, SIGSEGV, SIGFPE, SIGBUS, SIGPIPE};
inline constexpr size_t kChainedSignalCount = sizeof(kChainedSignals) / sizeof(int);

// One loaded ELF image as the loader reported it when the list was last refreshed.
struct Image {
    uintptr_t slide = 0;     // the loader's load bias: runtime address minus link-time address
    uintptr_t loadStart = 0; // lowest mapped address
    uintptr_t textEnd = 0;   // end of the executable segment
    uintptr_t segments[kMaxSegments][2] = {};
    size_t segmentCount = 0;
    char path[kPathCapacity] = {};
    size_t fileNameOffset = 0; // where the part after the last '/' starts in path
    uint8_t buildId[64] = {};
    size_t buildIdSize = 0;
    uint16_t machine = 0; // ELF e_machine
    // The symbol table of the image's file (.symtab, else .dynsym), mapped when the list was
    // prepared. Entries are Elf64_Sym or Elf32_Sym by is64.
    const unsigned char *symbols = nullptr;
    size_t symbolCount = 0;
    size_t symbolEntrySize = 0;
    const char *strings = nullptr;
    size_t stringsSize = 0;
    bool is64 = true;
};

struct ImageTable {
    Image images[kMaxImages];
    size_t count = 0;
};

// One thread's stack as recorded by the thread itself when the capturing thread asks for it.
enum class SlotState : int { Idle, Requested, Done };
struct ThreadSlot {
    std::atomic<pid_t> tid{0};
    std::atomic<int> state{0};
    uintptr_t frames[kMaxFrames] = {};
    size_t frameCount = 0;
    // A stack handed to a thread that has no alternate signal stack yet.
    void *alternateStack = nullptr;
};

// What the dump signal asks of a thread.
enum class DumpRequest : int { None, RecordStack, InstallAlternateStack };

struct CrashState {
    char sdkFolder[kPathCapacity] = {};
    size_t sdkFolderLength = 0;
    // The home folder, which reports show as "~"; empty when it is "/" or unknown.
    char home[kPathCapacity] = {};
    size_t homeLength = 0;

    struct sigaction previous[kChainedSignalCount] = {};
    bool hasPrevious[kChainedSignalCount] = {};
    // The signal that asks every other thread to record its own stack.
    int dumpSignal = 0;
    // The terminate handler in place before ours; called after an uncaught exception's report.
    void (*previousTerminate)() = nullptr;
    // Upper bound of a whole capture, delivery included; past it the process ends anyway.
    unsigned watchdogSeconds = 15;

    // The crash-time intake, resolved at activation; the socket is used once.
    std::atomic<int> socketFd{-1};
    sockaddr_storage address = {};
    socklen_t addressLength = 0;
    char host[kHostCapacity] = {};
    bool hostCarriesTokenDigest = true; // "Host: <digest>.<host>" unless host is a literal address
    int deadlineSeconds = 5;            // send and connect
    int answerSeconds = 1;              // waiting for the answer

    // Image tables: one published, one being refreshed.
    ImageTable tables[2];
    std::atomic<int> publishedTable{-1};

    ThreadSlot threadSlots[kMaxThreads];
    std::atomic<int> dumpRequest{0};
    std::atomic<bool> releaseThreads{false};
};

CrashState &crashState();

// Called by the capture while it writes the report, inside a guarded step: a fault there is
// survived and the report still completes. Null outside tests.
using CaptureHook = void (*)();
extern std::atomic<CaptureHook> captureHookForTesting;

} // namespace murmelo::crash
