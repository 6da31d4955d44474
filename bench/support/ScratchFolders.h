#pragma once

#include <QDir>
#include <QString>
#include <cstdlib>
#include <string>

namespace murmelo::bench {

// Points XDG_DATA_HOME and TMPDIR at a fresh scratch folder, so that a benchmark run never
// touches the user's library. Call before the application object exists. Returns the scratch
// folder (for the caller to remove at the end), or empty when none could be made.
inline QString useScratchFolders()
{
    char scratch[] = "/tmp/murmelo-bench-XXXXXX";
    if (!mkdtemp(scratch))
        return {};
    const std::string root = scratch;
    for (const char *sub : {"data", "tmp"})
        QDir().mkpath(QString::fromStdString(root + "/" + sub));
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    setenv("TMPDIR", (root + "/tmp").c_str(), 1);
    return QString::fromStdString(root);
}

} // namespace murmelo::bench
