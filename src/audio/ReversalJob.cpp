#include "audio/ReversalJob.h"

#include "audio/MediaImport.h"
#include "audio/OutputPath.h"
#include "audio/WavFile.h"
#include "audio/WaveformEnvelope.h"
#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"

#include <QFile>
#include <cmath>
#include <thread>

namespace murmelo {

namespace {
AudioJobStatus statusOf(const MediaImportError &error)
{
    if (error.ok())
        return AudioJobStatus::Finished;
    return error.kind == MediaImportError::Kind::Cancelled ? AudioJobStatus::Cancelled
                                                           : AudioJobStatus::Failed;
}
// True when the song's data is the forward audio as it is, so that the import only copies it.
bool isCopiedAsItIs(const QString &song)
{
    WavLayout layout;
    QString error;
    return inputProblem(song).isEmpty() &&
           WavFile::checkInput(song, layout, error) == WavFile::Kind::Valid &&
           MediaImport::holdsImportLayout(layout);
}
} // namespace

ReversalJob::ReversalJob(QString source, Source kind, TemporaryName temporaryName)
    : source_(std::move(source)), kind_(kind), temporaryName_(std::move(temporaryName))
{
}

ReversalJob::Result ReversalJob::import(const QString &forward, const std::atomic<bool> &cancelled,
                                        const Progress &progress) const
{
    Result result;
    result.stage = Stage::Importing;
    if (progress)
        progress(Stage::Importing, 0);
    result.importError =
        MediaImport::exportToWav(source_, forward, cancelled, [&progress](double fraction) {
            if (progress)
                progress(Stage::Importing, fraction);
        });
    result.status = statusOf(result.importError);
    if (result.status == AudioJobStatus::Failed)
        result.error = MediaImport::alertMessage(result.importError);
    return result;
}

ReversalJob::Result ReversalJob::run(const std::atomic<bool> &cancelled,
                                     const Progress &progress) const
{
    QString forward = source_;
    const bool imported = kind_ == Source::Song;
    if (imported && reverses_ && isCopiedAsItIs(source_))
        return copyWhileReversing(forwardPath_.isEmpty() ? temporaryName_() : forwardPath_,
                                  cancelled, progress);
    Result result;
    if (imported) {
        forward = forwardPath_.isEmpty() ? temporaryName_() : forwardPath_;
        result = import(forward, cancelled, progress);
        if (result.status != AudioJobStatus::Finished)
            return result;
    }
    if (!reverses_) {
        result.reversal.audioPath = forward;
        result.reversal.imported = imported;
        return result;
    }
    return reverse(forward, forward, cancelled, progress);
}

ReversalJob::Result ReversalJob::copyWhileReversing(const QString &forward,
                                                    const std::atomic<bool> &cancelled,
                                                    const Progress &progress) const
{
    // The kernel copies the song's data into the forward file on a thread of its own while the
    // reversal reads the same data from the song: the copy no longer comes before the reversal.
    if (progress)
        progress(Stage::Importing, 0);
    std::atomic<bool> stopCopy{false};
    Result copied;
    std::thread copier([&] { copied = import(forward, stopCopy, {}); });
    Result result = reverse(source_, forward, cancelled, progress);
    // A reversal that did not finish makes the copy pointless.
    if (result.status != AudioJobStatus::Finished)
        stopCopy = true;
    copier.join();
    if (result.status != AudioJobStatus::Finished) {
        QFile::remove(forward); // the copy may have finished first
        return result;
    }
    if (copied.status != AudioJobStatus::Finished) {
        QFile::remove(result.reversal.reverseAudioPath);
        return copied;
    }
    result.reversal.audioPath = forward;
    result.reversal.imported = true;
    return result;
}

// Reverses `source`, the forward audio or the song it is a copy of; the result names `forward`.
ReversalJob::Result ReversalJob::reverse(const QString &source, const QString &forward,
                                         const std::atomic<bool> &cancelled,
                                         const Progress &progress) const
{
    const bool imported = kind_ == Source::Song;
    Result result;

    if (progress)
        progress(Stage::Reversing, 0);
    const QString output = reversalPath_.isEmpty() ? temporaryName_() : reversalPath_;
    std::optional<WaveformEnvelope> envelope;
    const AudioJobResult reversed = reverseAudioFile(
        source, output, cancelled,
        [&progress](double fraction) {
            if (progress)
                progress(Stage::Reversing, fraction);
        },
        envelope);
    // The flag is read again after the work: a cancel that came as it finished still discards it.
    const bool wasCancelled = cancelled.load();
    if (reversed.status != AudioJobStatus::Finished || wasCancelled) {
        if (reversed.status == AudioJobStatus::Finished)
            QFile::remove(output);
        // An import of the job's own never outlives it; a recording only when handed over and
        // cancelled (a failed one stays for the sweep of ended processes' files).
        if (imported || (ownsSource_ && wasCancelled))
            QFile::remove(forward);
        result.status = wasCancelled ? AudioJobStatus::Cancelled : reversed.status;
        result.stage = Stage::Reversing;
        result.error = reversed.error;
        return result;
    }
    result.stage = Stage::Reversing;
    result.reversal.audioPath = forward;
    result.reversal.reverseAudioPath = output;
    result.reversal.imported = imported;
    result.reversal.waveformImage = Reversal::pictureOf(*envelope);
    result.reversal.envelope = std::make_shared<const WaveformEnvelope>(std::move(*envelope));
    return result;
}

void ReversalJob::start(ReversalJob job, std::shared_ptr<std::atomic<bool>> cancelled,
                        Progress progress, Completion completion)
{
    SerialQueue queue("reverseQueue");
    queue.async([job = std::move(job), cancelled, progress, completion] {
        // Only a new stage or a new whole percent is posted: the main queue need not redraw for
        // every block.
        std::optional<Stage> lastStage;
        int lastPercent = -1;
        const Progress onMain = [&](Stage stage, double fraction) {
            const int percent = int(std::floor(fraction * 100));
            if (!progress || (stage == lastStage && percent == lastPercent))
                return;
            lastStage = stage;
            lastPercent = percent;
            postToMainQueue([progress, stage, fraction] { progress(stage, fraction); });
        };
        Result result = job.run(*cancelled, onMain);
        postToMainQueue([completion, result = std::move(result)] {
            if (completion)
                completion(result);
        });
    });
}

} // namespace murmelo
