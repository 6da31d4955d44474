#pragma once

#include "library/UuidText.h"

#include <QString>

namespace murmelo {

class Recording {
public:
    // A new permanent audio path: the Application Support folder, a fresh UUID, ".wav".
    // The file is not created.
    static QString audioPath();
    // A new temporary audio path for job output: the temporary folder, then
    // "<process name>|<UUID>.wav". The process name is QCoreApplication::applicationName()
    // (Qt's default for it is the executable's name), or the executable's file name when no
    // application object exists yet. Safe on any thread; the file is not created.
    static QString tempAudioPath();
};

} // namespace murmelo
