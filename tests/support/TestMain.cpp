// Every test process starts here: scratch XDG folders first (so nothing touches the user's real
// files), then a QApplication on the offscreen platform, then GoogleTest. Tests of code that
// must run without any screen are built with MURMELO_CORE_APPLICATION and get a QCoreApplication.
#ifdef MURMELO_CORE_APPLICATION
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#else
#include "toolkit/MessageBoxAlertPresenter.h"

#include <QApplication>
using TestApplication = QApplication;
#endif
#include <QDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string makeScratchRoot()
{
    std::string pattern = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    pattern += "/murmelo-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        std::abort();
    return pattern;
}
} // namespace

int main(int argc, char **argv)
{
    const std::string root = makeScratchRoot();
    const auto sub = [&](const char *name) {
        const std::string path = root + "/" + name;
        QDir().mkpath(QString::fromStdString(path));
        return path;
    };
    setenv("MURMELO_SCRATCH_ROOT", root.c_str(), 1);
    setenv("XDG_DATA_HOME", sub("data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", sub("config").c_str(), 1);
    setenv("XDG_CACHE_HOME", sub("cache").c_str(), 1);
    setenv("XDG_MUSIC_DIR", sub("music").c_str(), 1);
    setenv("TMPDIR", sub("tmp").c_str(), 1);
    const std::string runtime = sub("runtime");
    chmod(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("MURMELO_TEST_DATA", MURMELO_TEST_DATA_DIR, 0);
    setenv("MURMELO_BINARY_DIR", MURMELO_BUILD_DIR, 0);
    // Tests read the English texts: no translation is picked up from the user's language, here or
    // in the programs the tests start.
    unsetenv("LANGUAGE");
    setenv("LC_ALL", "C.UTF-8", 1);
    // The application's telemetry talks to a loopback port nobody listens on.
    setenv("MURMELO_TELEMETRY_URL", "http://127.0.0.1:9/", 0);
    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    TestApplication app(argc, argv);
    TestApplication::setApplicationName(QStringLiteral("murmelo"));
#ifndef MURMELO_CORE_APPLICATION
    // Screens shown without a recording presenter show message boxes, as in the window.
    murmelo::useMessageBoxAlerts();
#endif
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (!getenv("MURMELO_KEEP_SCRATCH"))
        QDir(QString::fromStdString(root)).removeRecursively();
    return result;
}
