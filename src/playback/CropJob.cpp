#include "playback/CropJob.h"

#include "audio/MergeAndClip.h"
#include "audio/WavFile.h"
#include "audio/WaveformImage.h"
#include "library/Library.h"
#include "library/Recording.h"
#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"

#include <QFile>

namespace murmelo {

namespace {

// The picture every screen shows behind the scrubber and the store keeps.
const QSizeF kWaveformSize(225.0, 54.0);
constexpr double kWaveformBarWidth = 4.0;

CropResult cut(const QString &audioPath, const QString &reverseAudioPath, float min, float max)
{
    CropResult result;
    result.audioPath = Library::temporaryAudioPath();
    result.reverseAudioPath = Library::temporaryAudioPath();
    AudioJobResult forward = clipAudioFile(audioPath, min, max, result.audioPath);
    AudioJobResult reverse =
        forward.status == AudioJobStatus::Finished
            ? clipAudioFile(reverseAudioPath, 1 - max, 1 - min, result.reverseAudioPath)
            : forward;
    if (forward.status != AudioJobStatus::Finished || reverse.status != AudioJobStatus::Finished) {
        // Half a crop is no crop: neither file may outlive the failure.
        QFile::remove(result.audioPath);
        QFile::remove(result.reverseAudioPath);
        const QString reason =
            forward.status != AudioJobStatus::Finished ? forward.error : reverse.error;
        return {{},
                {},
                {},
                {},
                reason.isEmpty() ? QStringLiteral("the audio could not be cut") : reason};
    }
    WavLayout layout;
    QString error;
    if (WavFile::inspect(reverseAudioPath, layout, error) == WavFile::Kind::Valid) {
        const ClipFrames kept = clipFrames(1 - max, 1 - min, layout.frames);
        result.keptReversal = {kept.first, kept.first + kept.count};
    }
    result.waveformImage = waveformImage(result.audioPath, kWaveformSize, kWaveformBarWidth);
    return result;
}

} // namespace

void cropReversal(const QString &audioPath, const QString &reverseAudioPath, float min, float max,
                  std::function<void(const CropResult &)> done)
{
    SerialQueue queue("clip");
    queue.async([=] {
        const CropResult result = cut(audioPath, reverseAudioPath, min, max);
        postToMainQueue([done, result] { done(result); });
    });
}

} // namespace murmelo
