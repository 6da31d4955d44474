#include "audio/MergeAndClip.h"

#include "audio/OutputPath.h"
#include "audio/SoxLibrary.h"
#include "audio/WavFile.h"
#include "audio/WavSplice.h"
#include "platform/SystemLog.h"
#include "platform/TemporaryFiles.h"

#include <QFile>
#include <cmath>
#include <optional>
#include <vector>

namespace murmelo {

namespace {

// Far beyond any playback speed (the player goes from 0.5 to 2); a tiny factor would blow a
// short recording up into gigabytes.
constexpr float minimumFactor = 0.1f;
constexpr float maximumFactor = 10.0f;

AudioJobResult failure(OutputFile &output, const QString &error)
{
    output.discard();
    return {AudioJobStatus::Failed, error};
}

QString withReason(const QString &text)
{
    const QString reason = SoxLibrary::lastError();
    return reason.isEmpty() ? text : text + QStringLiteral(": ") + reason;
}

QString resultPath(const AudioJobResult &result, const QString &output, const char *what)
{
    if (result.status == AudioJobStatus::Finished)
        return output;
    systemLog(QStringLiteral("%1: %2").arg(QLatin1String(what), result.error));
    return {};
}

// The two files' data, when at normal speed they join without decoding: both 16-bit PCM WAV
// files of the same rate and channels (what recordings, imports and their reversals are).
std::optional<std::vector<WavPiece>> joinableData(const QString &first, const QString &second,
                                                  WavLayout &layout)
{
    std::vector<WavPiece> pieces;
    for (const QString &path : {first, second}) {
        WavLayout each;
        QString error;
        if (WavFile::checkInput(path, each, error) != WavFile::Kind::Valid ||
            !each.isIntegerPcm() || each.bitsPerSample != 16 || each.channels > 2 ||
            (!pieces.empty() &&
             (each.channels != layout.channels || each.sampleRate != layout.sampleRate)))
            return std::nullopt;
        layout = each;
        pieces.push_back({path, each.dataOffset, each.frames * each.blockAlign});
    }
    return pieces;
}

} // namespace

QString speedFactorText(float factor)
{
    return QString::number(double(factor), 'g', 7);
}

AudioJobResult mergeAudioFiles(const QString &first, const QString &second, float factor,
                               const QString &output)
{
    if (!(factor >= minimumFactor && factor <= maximumFactor))
        return {AudioJobStatus::Failed, QStringLiteral("the speed factor must be between %1 and %2")
                                            .arg(double(minimumFactor))
                                            .arg(double(maximumFactor))};
    for (const QString &input : {first, second}) {
        if (const QString problem = inputProblem(input); !problem.isEmpty())
            return {AudioJobStatus::Failed, problem};
    }
    if (wouldOverwrite(first, output) || wouldOverwrite(second, output))
        return {AudioJobStatus::Failed, QStringLiteral("the merge would overwrite its input")};
    QString error;
    WavLayout layout;
    if (factor == 1.0f) {
        if (const auto pieces = joinableData(first, second, layout)) {
            OutputFile target(output);
            if (!target.create(error))
                return {AudioJobStatus::Failed, error};
            const std::atomic<bool> never{false};
            const AudioJobResult joined = spliceWav(
                target.path(),
                WavFile::pcmFmtChunk(layout.channels, layout.sampleRate, layout.bitsPerSample),
                *pieces, never);
            if (joined.status != AudioJobStatus::Finished)
                return failure(target, joined.error);
            if (!target.commit(error))
                return {AudioJobStatus::Failed, error};
            return joined;
        }
    }
    SoxFormat a = openAudioInput(first, error);
    SoxFormat b = a ? openAudioInput(second, error) : nullptr;
    if (!a || !b)
        return {AudioJobStatus::Failed, error};
    // libsox's second "input" simply continues the stream, so a file with another rate or
    // channel count would be read as if it had the first one's: noise at the wrong pitch.
    if (b->signal.rate != a->signal.rate || b->signal.channels != a->signal.channels)
        return {AudioJobStatus::Failed,
                QStringLiteral("the two files differ in sample rate or channels (%1 Hz × %2, "
                               "%3 Hz × %4)")
                    .arg(a->signal.rate)
                    .arg(a->signal.channels)
                    .arg(b->signal.rate)
                    .arg(b->signal.channels)};

    OutputFile target(output);
    if (!target.create(error))
        return {AudioJobStatus::Failed, error};
    SoxLibrary::clearLastError();
    // The output is longer than the first file: opened with that file's length, libsox would
    // keep it in the header and players would stop halfway through.
    sox_signalinfo_t outSignal = a->signal;
    outSignal.length = SOX_UNSPEC;
    SoxFormat out(sox_open_write(QFile::encodeName(target.path()).constData(), &outSignal, nullptr,
                                 "wav", nullptr, nullptr));
    if (!out)
        return failure(target, withReason(QStringLiteral("“%1” cannot be written").arg(output)));

    SoxChain chain(sox_create_effects_chain(&a->encoding, &out->encoding));
    sox_signalinfo_t signal = a->signal;
    char *firstArg[] = {reinterpret_cast<char *>(a.get())};
    char *secondArg[] = {reinterpret_cast<char *>(b.get())};
    char *outputArg[] = {reinterpret_cast<char *>(out.get())};
    QByteArray speed = speedFactorText(factor).toLatin1();
    char *speedArg[] = {speed.data()};
    // "speed" alone only relabels the rate; "rate" back to the first file's rate is what makes
    // the attachment actually play at the chosen speed, in a file every player takes.
    QByteArray rate = QByteArray::number(a->signal.rate, 'g', 10);
    char *rateArg[] = {rate.data()};
    if (!addSoxEffect(chain.get(), "input", 1, firstArg, &signal, &a->signal, error) ||
        !addSoxEffect(chain.get(), "input", 1, secondArg, &signal, &a->signal, error) ||
        !addSoxEffect(chain.get(), "speed", 1, speedArg, &signal, &a->signal, error) ||
        !addSoxEffect(chain.get(), "rate", 1, rateArg, &signal, &a->signal, error) ||
        !addSoxEffect(chain.get(), "output", 1, outputArg, &signal, &a->signal, error)) {
        chain.reset();
        out.reset();
        return failure(target, error);
    }
    SoxLibrary::clearLastError();
    sox_flow_effects(chain.get(), nullptr, nullptr);
    chain.reset();
    const bool streamsOk = out->sox_errno == 0 && a->sox_errno == 0 && b->sox_errno == 0;
    const QString reason = SoxLibrary::lastError();
    const bool closed = sox_close(out.release()) == SOX_SUCCESS;
    if (!streamsOk || !closed || !reason.isEmpty())
        return failure(target, withReason(QStringLiteral("merging the audio files failed")));
    if (!target.commit(error))
        return {AudioJobStatus::Failed, error};
    return {AudioJobStatus::Finished, {}};
}

ClipFrames clipFrames(float start, float end, qint64 frames)
{
    // Frame positions are computed in single precision, as the crop range has always been, so
    // the mirrored range on the reversal lands on the same frames.
    start = std::clamp(start, 0.0f, 1.0f);
    end = std::clamp(end, 0.0f, 1.0f);
    const float length = float(frames);
    const qint64 first = std::min(qint64(start * length), frames);
    const qint64 count = std::clamp<qint64>(qint64((end - start) * length), 0, frames - first);
    return {first, count};
}

AudioJobResult clipAudioFile(const QString &path, float start, float end, const QString &output)
{
    if (!std::isfinite(start) || !std::isfinite(end))
        return {AudioJobStatus::Failed, QStringLiteral("the clip range is not a number")};
    if (const QString problem = inputProblem(path); !problem.isEmpty())
        return {AudioJobStatus::Failed, problem};
    if (wouldOverwrite(path, output))
        return {AudioJobStatus::Failed, QStringLiteral("the clip would overwrite its input")};
    WavLayout layout;
    QString error;
    if (WavFile::checkInput(path, layout, error) != WavFile::Kind::Valid)
        return {AudioJobStatus::Failed, error};
    const auto [first, count] = clipFrames(start, end, layout.frames);
    const qint64 frameBytes = layout.blockAlign;

    // The frames are copied as they are, by the kernel where it can, under a header of the
    // input's own format.
    OutputFile target(output);
    if (!target.create(error))
        return {AudioJobStatus::Failed, error};
    const std::atomic<bool> notCancelled{false};
    const WavSpliceResult copied = spliceWav(
        target.path(), layout.fmtChunk,
        {{path, layout.dataOffset + first * frameBytes, count * frameBytes}}, notCancelled);
    if (copied.status != AudioJobStatus::Finished)
        return failure(target, QStringLiteral("clipping “%1” failed: %2").arg(path, copied.error));
    if (!target.commit(error))
        return {AudioJobStatus::Failed, error};
    return {AudioJobStatus::Finished, {}};
}

QString slowAndMergeAudio(const QString &first, const QString &second, float factor)
{
    const QString output = TemporaryFiles::newPath(QStringLiteral(".wav"));
    return resultPath(mergeAudioFiles(first, second, factor, output), output, "merge");
}

QString clipAudio(const QString &path, float start, float end)
{
    const QString output = TemporaryFiles::newPath(QStringLiteral(".wav"));
    return resultPath(clipAudioFile(path, start, end, output), output, "clip");
}

} // namespace murmelo
