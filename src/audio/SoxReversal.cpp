#include "audio/SoxReversal.h"

#include "audio/OutputPath.h"
#include "audio/SoxLibrary.h"
#include "audio/WavFile.h"
#include "audio/WaveformEnvelope.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <vector>

namespace murmelo {

namespace {

// Frames turned around at a time: 128 Ki frames of stereo hold 1 MiB of samples, large enough
// that reading backwards costs no more than reading forwards, small enough to keep memory flat
// whatever the length of the source.
constexpr qint64 kBlockFrames = 128 * 1024;

// Puts the frames of a block in the opposite order, the channels of each frame kept together.
void reverseFrames(sox_sample_t *samples, qint64 frames, unsigned channels)
{
    for (qint64 front = 0, back = frames - 1; front < back; ++front, --back)
        std::swap_ranges(samples + front * channels, samples + (front + 1) * channels,
                         samples + back * channels);
}

AudioJobResult failed(OutputFile &output, const QString &error)
{
    output.discard();
    return {AudioJobStatus::Failed, error};
}

QString withReason(const QString &what)
{
    const QString reason = SoxLibrary::lastError();
    return what + (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason);
}

AudioJobResult reverse(const QString &source, const QString &output,
                       const std::atomic<bool> &cancelled,
                       const std::function<void(double fraction)> &progress,
                       std::optional<WaveformEnvelope> *envelope)
{
    SoxLibrary::ensureInitialised();
    if (const QString problem = inputProblem(source); !problem.isEmpty())
        return {AudioJobStatus::Failed, problem};
    if (wouldOverwrite(source, output))
        return {AudioJobStatus::Failed, QStringLiteral("the reversal would overwrite its source")};

    QString error;
    WavLayout layout;
    SoxFormat input = openAudioInput(source, error, &layout);
    if (!input)
        return {AudioJobStatus::Failed, error};
    const unsigned channels = input->signal.channels;
    // The frames actually in the file: a recorder that died mid-write leaves a header claiming
    // more than is there.
    qint64 frames = layout.frames;
    if (input->signal.length != SOX_UNKNOWN_LEN)
        frames = std::min<qint64>(frames, qint64(input->signal.length / channels));
    // The WAV reader counts down what is left to read as it goes, and a seek back does not
    // give it back; the same bytes read as raw samples of the WAV's encoding, from the WAV's
    // data offset, can be read from anywhere any number of times.
    SoxLibrary::clearLastError();
    SoxFormat samples(sox_open_read(QFile::encodeName(source).constData(), &input->signal,
                                    &input->encoding, "raw"));
    if (!samples || !samples->seekable)
        return {AudioJobStatus::Failed,
                withReason(QStringLiteral("“%1” cannot be read as audio").arg(source))};
    samples->data_start = layout.dataOffset;

    OutputFile target(output);
    if (!target.create(error))
        return {AudioJobStatus::Failed, error};
    SoxLibrary::clearLastError();
    sox_signalinfo_t signal = input->signal;
    signal.length = sox_uint64_t(frames) * channels;
    SoxFormat out(sox_open_write(QFile::encodeName(target.path()).constData(), &signal, nullptr,
                                 "wav", nullptr, nullptr));
    if (!out)
        return failed(target, withReason(QStringLiteral("“%1” cannot be written").arg(output)));

    // Blocks start on whole envelope buckets, so that each block holds whole buckets to measure.
    const qint64 bucket = qint64(input->signal.rate) / 50 + 1;
    const qint64 blockFrames = std::max<qint64>(1, kBlockFrames / bucket) * bucket;
    if (envelope) {
        envelope->emplace(int(input->signal.rate), channels == 2 ? 2 : 1);
        (*envelope)->prepareBuckets(frames);
    }

    // The source is read from its end towards its start a block at a time and each block is
    // written turned around: no scratch copy of the whole stream, and the output grows from
    // the first block on, so progress and cancel follow the real work.
    std::vector<sox_sample_t> block(size_t(std::min(frames, blockFrames)) * channels);
    double lastReported = -1;
    for (qint64 end = frames; end > 0;) {
        if (cancelled.load()) {
            out.reset();
            target.discard();
            return {AudioJobStatus::Cancelled, {}};
        }
        const qint64 start = ((end - 1) / blockFrames) * blockFrames;
        const size_t wanted = size_t(end - start) * channels;
        size_t got = 0;
        if (sox_seek(samples.get(), sox_uint64_t(start) * channels, SOX_SEEK_SET) == SOX_SUCCESS) {
            while (got < wanted) {
                const size_t read = sox_read(samples.get(), block.data() + got, wanted - got);
                if (read == 0)
                    break;
                got += read;
            }
        }
        if (got < wanted) {
            out.reset();
            return failed(target,
                          withReason(QStringLiteral("reversing “%1” failed: the audio cannot be"
                                                    " read at frame %2")
                                         .arg(source)
                                         .arg(start)));
        }
        if (envelope)
            (*envelope)->measureBuckets(start / bucket, block.data(), end - start, int(channels));
        reverseFrames(block.data(), end - start, channels);
        if (sox_write(out.get(), block.data(), wanted) != wanted) {
            out.reset();
            return failed(target, withReason(QStringLiteral("reversing “%1” failed: “%2” cannot be"
                                                            " written")
                                                 .arg(source, output)));
        }
        end = start;
        const double fraction = 1.0 - double(end) / double(frames);
        if (progress && (fraction - lastReported >= 0.001 || end == 0)) {
            lastReported = fraction;
            progress(fraction);
        }
    }
    if (sox_close(out.release()) != SOX_SUCCESS)
        return failed(target, withReason(QStringLiteral("reversing “%1” failed").arg(source)));
    if (!target.commit(error))
        return {AudioJobStatus::Failed, error};
    return {AudioJobStatus::Finished, {}};
}

} // namespace

AudioJobResult reverseAudioFile(const QString &source, const QString &output,
                                const std::atomic<bool> &cancelled,
                                std::function<void(double fraction)> progress)
{
    return reverse(source, output, cancelled, progress, nullptr);
}

AudioJobResult reverseAudioFile(const QString &source, const QString &output,
                                const std::atomic<bool> &cancelled,
                                std::function<void(double fraction)> progress,
                                std::optional<WaveformEnvelope> &envelope)
{
    envelope.reset();
    std::optional<WaveformEnvelope> measured;
    const AudioJobResult result = reverse(source, output, cancelled, progress, &measured);
    if (result.status == AudioJobStatus::Finished)
        envelope = std::move(measured);
    return result;
}

} // namespace murmelo
