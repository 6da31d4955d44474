#pragma once

#include "library/ListPlayer.h"

#include <memory>

namespace murmelo {

class Recording;

// Play in place: at most one record of the list plays at a time, and that record's `playing`
// mark says so. The mark is transient, so it is set without being reported as a store change;
// the handler tells the list which row to redraw.
class ListPlayback {
public:
    enum Outcome { Started, Stopped, Failed };

    explicit ListPlayback(ListPlayerFactory factory);
    // Leaves no record marked as playing once the list is gone.
    ~ListPlayback();
    ListPlayback(const ListPlayback &) = delete;
    ListPlayback &operator=(const ListPlayback &) = delete;

    // Stops the record playing when it is `recording` (the same button stops it); otherwise
    // stops any other one and plays the reversal of `recording`. On Failed, `error` says why
    // and nothing plays.
    Outcome toggle(const std::shared_ptr<Recording> &recording, QString *error);
    void stop();
    const std::shared_ptr<Recording> &playingRecording() const { return recording_; }

    // A record's mark changed.
    void setMarkHandler(std::function<void(Recording &)> handler) { marked_ = std::move(handler); }
    // Playing ended by itself: at the end of the file (empty text) or on a sound failure.
    void setFinishedHandler(std::function<void(Recording &, const QString &error)> handler)
    {
        finished_ = std::move(handler);
    }

private:
    void mark(Recording &recording, bool playing);
    void release();
    void playerFinished(const QString &error);

    ListPlayerFactory factory_;
    std::shared_ptr<Recording> recording_;
    std::unique_ptr<ListPlayer> player_;
    std::function<void(Recording &)> marked_;
    std::function<void(Recording &, const QString &)> finished_;
};

} // namespace murmelo
