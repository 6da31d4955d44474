#pragma once

#include <QString>
#include <QStringList>

namespace murmelo {

// Finds the songs under a music folder. Bounded in depth, in folders entered and in songs
// found, so that pointing it at a huge home folder cannot keep the picker waiting for minutes.
class MusicPickerScan {
public:
    struct Limits {
        int maximumDepth = 8;
        int maximumSongs = 5000;
        int maximumFolders = 20000;
    };

    struct Result {
        QStringList songs;      // absolute paths, sorted by their path below the root
        bool truncated = false; // a limit was reached; there may be more
    };

    // Recursive, skipping hidden files and folders, not following links to folders (which
    // can loop), keeping only audio files by their extension.
    static Result scan(const QString &root, const Limits &limits);
    static Result scan(const QString &root) { return scan(root, Limits{}); }

    static bool isAudioFileName(const QString &fileName);
};

} // namespace murmelo
