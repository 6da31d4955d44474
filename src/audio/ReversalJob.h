#pragma once

#include "audio/MediaImportError.h"
#include "audio/Reversal.h"
#include "audio/SoxReversal.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>

namespace murmelo {

// Turns a recording or a song into a Reversal, with progress and cancel, and no screen: a song is
// first imported into the forward WAV (a WAV already in the import's layout is copied by the
// kernel, not decoded, and the reversal reads the song while the copy is made); the forward audio
// is read once, from its end to its start, each block written turned around into the reversal
// file and measured into the envelope on the way.
//
// Files: the job writes its outputs under names from `temporaryName` unless told where. A job
// that fails or is cancelled leaves none of its outputs behind; a recording handed over with
// setOwnsSource() goes too when the job is cancelled.
class ReversalJob {
public:
    enum class Source {
        Recording, // a WAV reversed as it is
        Song,      // any audio or video file, imported first
    };
    enum class Stage { Importing, Reversing };
    // Called with each new stage at 0, then as the stage goes on.
    using Progress = std::function<void(Stage stage, double fraction)>;
    using TemporaryName = std::function<QString()>;

    struct Result {
        AudioJobStatus status = AudioJobStatus::Finished;
        Stage stage = Stage::Reversing; // the stage the job ended in
        QString error;                  // user-readable, when Failed
        MediaImportError importError;   // when the import failed or was cancelled
        Reversal reversal;              // when Finished
    };
    using Completion = std::function<void(const Result &result)>;

    ReversalJob(QString source, Source kind, TemporaryName temporaryName);

    // Where a song's forward WAV goes (default: a temporary name).
    void setForwardPath(const QString &path) { forwardPath_ = path; }
    // Where the reversal goes (default: a temporary name).
    void setReversalPath(const QString &path) { reversalPath_ = path; }
    // Off: a song is only imported; the result names its forward file alone.
    void setReverses(bool reverses) { reverses_ = reverses; }
    // On: the job owns the recording it was given, and a cancelled job removes it.
    void setOwnsSource(bool owns) { ownsSource_ = owns; }

    // The stage the job starts in.
    Stage firstStage() const { return kind_ == Source::Song ? Stage::Importing : Stage::Reversing; }

    // Does the work on the calling thread.
    Result run(const std::atomic<bool> &cancelled, const Progress &progress = {}) const;

    // run() on the serial queue "reverseQueue"; progress (in whole-percent steps) and the
    // completion are posted to the main queue. The flag is shared with the caller's cancel.
    static void start(ReversalJob job, std::shared_ptr<std::atomic<bool>> cancelled,
                      Progress progress, Completion completion);

private:
    Result import(const QString &forward, const std::atomic<bool> &cancelled,
                  const Progress &progress) const;
    Result copyWhileReversing(const QString &forward, const std::atomic<bool> &cancelled,
                              const Progress &progress) const;
    Result reverse(const QString &source, const QString &forward,
                   const std::atomic<bool> &cancelled, const Progress &progress) const;

    QString source_;
    Source kind_;
    TemporaryName temporaryName_;
    QString forwardPath_;
    QString reversalPath_;
    bool reverses_ = true;
    bool ownsSource_ = false;
};

} // namespace murmelo
