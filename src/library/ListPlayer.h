#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace murmelo {

// Plays one reversal inside the saved-recordings list. The list only starts and stops; the
// application decides which engine stands behind this (the library knows no audio code).
class ListPlayer {
public:
    virtual ~ListPlayer() = default;
    // False, with the reason, when the sound could not start.
    virtual bool play(QString *error) = 0;
    virtual void stop() = 0;
    // Once, on the main thread: at the end of the file (empty text) or when the sound fails
    // while playing (the reason). The handler may replace itself while it runs, so players
    // call a copy of it.
    virtual void setFinishedHandler(std::function<void(const QString &error)> handler) = 0;
};

// Opens a player on a file: null, with the reason in `error`, when the file cannot be played.
using ListPlayerFactory =
    std::function<std::unique_ptr<ListPlayer>(const QString &path, QString *error)>;

} // namespace murmelo
