#pragma once

#include "library/PhraseMarker.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <atomic>
#include <functional>

namespace murmelo {

class Recording;

// What a page is made of: a saved recording's texts and audio files, and its phrase markers
// (stretches of the reversal). Plain values, so the page can be made on any thread.
struct PublishSource {
    QString title;
    QString message;
    QDateTime date;
    QString forwardPath;
    QString reversePath;
    QList<PhraseMarker> markers;

    // Main thread, like every read of a record.
    static PublishSource of(const Recording &recording, const QList<PhraseMarker> &markers);
};

struct PublishOptions {
    double slowFactor = 0.7;
    // The target is a folder: index.html is written there with the clips as MP3 files beside
    // it, for a web server. Otherwise the target is one .html file with the audio inside.
    bool folder = false;
};

struct PublishResult {
    enum class Status { Published, Cancelled, Failed };
    Status status = Status::Failed;
    QString error; // why it failed, a whole sentence
    QString note;  // something the user should know about a published page, or empty
    QString page;  // the HTML file written
    qint64 bytes = 0;

    bool published() const { return status == Status::Published; }
};

// Makes the page of one recording: for the whole recording (when it fits) and for each marked
// phrase, the reversal clip and its forward twin (the same audio on the forward file) as MP3,
// a waveform of the reversal with the phrases shaded, and what was heard behind a reveal.
class PagePublisher {
public:
    // A single page holds at most this much audio (about 9 MB of MP3 as text): more would be a
    // page no phone opens happily.
    static constexpr double maximumEmbeddedSeconds = 15 * 60;
    static constexpr double minimumSlowFactor = 0.25;

    // Writes the page; nothing is left under `target` unless it succeeds (a page already there
    // is replaced only then). Blocks: run it off the main thread in a window. `progress` (0..1)
    // is called on the publishing threads; `cancelled` ends the work soon after it turns true.
    static PublishResult publish(const PublishSource &source, const PublishOptions &options,
                                 const QString &target, const std::atomic<bool> &cancelled,
                                 const std::function<void(double)> &progress = {});
};

} // namespace murmelo
