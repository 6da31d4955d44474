#include "audio/MediaImport.h"

#include "audio/AudioRecorderWavWriter.h"
#include "audio/MediaImportDecoder.h"
#include "audio/OutputPath.h"
#include "audio/WavFile.h"
#include "audio/WavSplice.h"
#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"

#include <QFile>
#include <QtEndian>

namespace murmelo {

namespace {
using Kind = MediaImportError::Kind;

// Progress is reported in steps of this size: finer steps only cost main-queue posts.
constexpr double progressStep = 0.01;

constexpr quint16 kExtensibleTag = 0xFFFE;
constexpr quint32 kFrontLeftAndRight = 0x3;

// The song's data as it is, under a header of our own.
MediaImportError copyWav(const QString &source, const WavLayout &layout, const QString &destination,
                         const std::atomic<bool> &cancelled, const MediaImport::Progress &progress)
{
    OutputFile target(destination);
    QString error;
    if (!target.create(error))
        return MediaImportError::failure(Kind::WriteFailed, error);
    const WavSpliceResult result = spliceWav(
        target.path(),
        WavFile::pcmFmtChunk(MediaImport::outputChannels, MediaImport::outputSampleRate, 16),
        {{source, layout.dataOffset, layout.frames * layout.blockAlign}}, cancelled, progress);
    switch (result.status) {
    case AudioJobStatus::Cancelled:
        return MediaImportError::failure(Kind::Cancelled, {});
    case AudioJobStatus::Failed:
        return MediaImportError::failure(result.inputFailed ? Kind::ReadFailed : Kind::WriteFailed,
                                         result.error);
    case AudioJobStatus::Finished:
        break;
    }
    if (!target.commit(error))
        return MediaImportError::failure(Kind::WriteFailed, error);
    return {};
}
} // namespace

bool MediaImport::holdsImportLayout(const WavLayout &layout)
{
    if (layout.formatTag != WavLayout::Pcm || layout.bitsPerSample != 16 ||
        layout.channels != outputChannels || layout.sampleRate != outputSampleRate)
        return false;
    if (qFromLittleEndian<quint16>(layout.fmtChunk.constData()) != kExtensibleTag)
        return true;
    // Other speakers would be mixed into the two by the decoder; none named means the usual two.
    const quint32 speakers = qFromLittleEndian<quint32>(layout.fmtChunk.constData() + 20);
    return speakers == 0 || speakers == kFrontLeftAndRight;
}

MediaImportError MediaImport::exportToWav(const QString &source, const QString &destination,
                                          const std::atomic<bool> &cancelled,
                                          const Progress &progress)
{
    if (wouldOverwrite(source, destination))
        return MediaImportError::failure(Kind::WriteFailed,
                                         QStringLiteral("the WAV file would overwrite the song"));
    if (inputProblem(source).isEmpty()) {
        WavLayout layout;
        QString wavError;
        if (WavFile::checkInput(source, layout, wavError) == WavFile::Kind::Valid &&
            holdsImportLayout(layout))
            return copyWav(source, layout, destination, cancelled, progress);
    }
    MediaImportDecoder decoder;
    if (MediaImportError error = decoder.open(source, outputChannels, outputSampleRate, &cancelled);
        !error.ok())
        return error;

    // A song whose own header promises more than a WAV file can hold is refused before anything
    // is written; one that lies about its length stops at the same limit while writing.
    const double expectedBytes =
        decoder.durationSeconds() * outputSampleRate * outputChannels * sizeof(qint16);
    if (expectedBytes > double(WavFile::maximumDataBytes))
        return MediaImportError::failure(
            Kind::WriteFailed, QStringLiteral("the song is too long for a WAV file (%1 hours)")
                                   .arg(decoder.durationSeconds() / 3600, 0, 'f', 1));

    OutputFile target(destination);
    QString targetError;
    if (!target.create(targetError))
        return MediaImportError::failure(Kind::WriteFailed, targetError);
    AudioRecorderWavWriter writer(outputChannels, outputSampleRate);
    if (!writer.open(target.path())) {
        // The file may exist (truncated) even though its header could not be written.
        writer.discard();
        return MediaImportError::failure(Kind::WriteFailed, writer.errorString());
    }

    const double expectedFrames = decoder.durationSeconds() * outputSampleRate;
    double reported = 0;
    std::vector<qint16> samples;
    bool finished = false;
    while (!finished) {
        if (cancelled.load()) {
            writer.discard();
            return MediaImportError::failure(Kind::Cancelled, {});
        }
        if (MediaImportError error = decoder.read(samples, finished); !error.ok()) {
            writer.discard();
            return error;
        }
        if (!writer.append(reinterpret_cast<const char *>(samples.data()),
                           qint64(samples.size() * sizeof(qint16)))) {
            writer.discard();
            return MediaImportError::failure(Kind::WriteFailed, writer.errorString());
        }
        if (progress && expectedFrames > 0) {
            const double fraction = std::min(1.0, double(writer.frames()) / expectedFrames);
            if (fraction - reported >= progressStep) {
                reported = fraction;
                progress(fraction);
            }
        }
    }
    if (!writer.close()) {
        writer.discard();
        return MediaImportError::failure(Kind::WriteFailed, writer.errorString());
    }
    if (!target.commit(targetError))
        return MediaImportError::failure(Kind::WriteFailed, targetError);
    if (progress && reported < 1.0)
        progress(1.0);
    return {};
}

void MediaImport::exportInBackground(const QString &source, const QString &destination,
                                     std::shared_ptr<std::atomic<bool>> cancelled,
                                     Progress progress, Completion completion)
{
    SerialQueue queue("mediaInputQueue");
    queue.async([=] {
        Progress onMain;
        if (progress)
            onMain = [progress](double f) { postToMainQueue([progress, f] { progress(f); }); };
        const MediaImportError error = exportToWav(source, destination, *cancelled, onMain);
        postToMainQueue([completion, error] {
            if (completion)
                completion(error);
        });
    });
}

QString MediaImport::progressText()
{
    return QStringLiteral("Importing from library\u2026");
}

QString MediaImport::alertTitle()
{
    return QStringLiteral("Error accessing media library");
}

QString MediaImport::protectedMediaMessage()
{
    return QStringLiteral("Unable to access DRM protected media.");
}

bool MediaImport::needsAlert(const MediaImportError &error)
{
    return !error.ok() && error.kind != Kind::Cancelled;
}

QString MediaImport::alertMessage(const MediaImportError &error)
{
    switch (error.kind) {
    case Kind::Unreadable:
        return protectedMediaMessage();
    case Kind::SetupFailed:
        return error.description;
    case Kind::ReadFailed:
        return QStringLiteral("The song could not be read to the end (%1).").arg(error.description);
    case Kind::WriteFailed:
        return QStringLiteral("The imported audio could not be written (%1).")
            .arg(error.description);
    case Kind::None:
    case Kind::Cancelled:
        break;
    }
    return {};
}

} // namespace murmelo
