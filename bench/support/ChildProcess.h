#pragma once

#include <QByteArray>
#include <QFile>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace murmelo::bench {

struct ChildRun {
    double seconds;
    long maxRssKiB;
    double cpuSeconds; // user and system
    bool ok;           // ran and exited with 0
};

// Runs a command with its output thrown away; its wall time, peak memory and CPU time, and
// whether it succeeded.
inline ChildRun runChild(std::vector<std::string> argv)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        std::vector<char *> args;
        for (std::string &a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto secondsOf = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return {seconds, usage.ru_maxrss, secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime),
            WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

// As runChild, but a command that fails ends the benchmark: a figure of a failed run would
// mislead.
inline ChildRun runQuietly(std::vector<std::string> argv)
{
    const ChildRun run = runChild(argv);
    if (!run.ok) {
        std::fprintf(stderr, "bench: %s failed\n", argv[0].c_str());
        std::exit(1);
    }
    return run;
}

// A field of /proc/self/status in KiB ("VmRSS:", "VmHWM:").
inline long statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').first().toLong();
    return 0;
}

// Starts the process's peak memory (VmHWM) afresh from what it holds now.
inline void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

} // namespace murmelo::bench
