#include "publish/PagePublisher.h"

#include "audio/OutputPath.h"
#include "library/Recording.h"
#include "publish/Mp3Encoder.h"
#include "publish/PageHtml.h"
#include "publish/WavStretch.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>
#include <thread>

namespace murmelo {

namespace {

constexpr int waveColumns = 400;

PublishResult failed(const QString &error)
{
    PublishResult result;
    result.error = error;
    return result;
}

PublishResult cancelledResult()
{
    PublishResult result;
    result.status = PublishResult::Status::Cancelled;
    return result;
}

// One clip to encode: a stretch of one of the two files.
struct ClipJob {
    QString path;
    FrameRange range;
    QString fileName; // beside the page, in a folder
    std::optional<QByteArray> mp3;
    QString error;
};

QString clock(qint64 frames, int rate)
{
    const int tenths = int(std::lround(secondsFromFrames(frames, rate) * 10));
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600)
        .arg((tenths / 10) % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}

// The loudest sample of each column of the reversal, for the page's waveform.
std::optional<std::vector<float>> peaksOf(const QString &path, const std::atomic<bool> &cancelled,
                                          QString &error)
{
    WavStretch stretch;
    if (!stretch.open(path, {0, std::numeric_limits<qint64>::max()}, error))
        return std::nullopt;
    const qint64 total = stretch.frames();
    const int channels = stretch.layout().channels;
    std::vector<float> peaks(size_t(std::clamp<qint64>(total, 1, waveColumns)), 0.0f);
    std::vector<float> samples;
    qint64 frame = 0;
    while (!cancelled) {
        if (!stretch.read(64 * 1024, samples, error))
            return std::nullopt;
        if (samples.empty())
            break;
        const qint64 frames = qint64(samples.size()) / channels;
        for (qint64 i = 0; i < frames; ++i, ++frame) {
            float &peak = peaks[size_t(frame * qint64(peaks.size()) / std::max<qint64>(total, 1))];
            for (int c = 0; c < channels; ++c)
                peak = std::max(peak, std::abs(samples[size_t(i * channels + c)]));
        }
    }
    return peaks;
}

std::optional<QString> sha256Of(const QString &path, QString &error)
{
    QFile file;
    if (!openRegularFile(file, path, error))
        return std::nullopt;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) {
        error = QStringLiteral("“%1” cannot be read").arg(path);
        return std::nullopt;
    }
    return QString::fromLatin1(hash.result().toHex());
}

// Encodes every clip, a few at once (they are independent); the first failure is kept.
bool encodeAll(std::vector<ClipJob> &jobs, const std::atomic<bool> &cancelled,
               const std::function<void(double)> &progress, QString &error)
{
    qint64 totalFrames = 0;
    for (const ClipJob &job : jobs)
        totalFrames += std::max<qint64>(job.range.length(), 1);
    std::atomic<qint64> done{0};
    std::atomic<size_t> next{0};
    std::atomic<bool> failedAlready{false};
    std::mutex reporting;
    const auto report = [&](qint64 frames) {
        const qint64 now = done += frames;
        if (progress) {
            const std::lock_guard lock(reporting);
            progress(std::min(1.0, double(now) / double(totalFrames)));
        }
    };
    const auto work = [&] {
        for (size_t i = next++; i < jobs.size() && !cancelled && !failedAlready; i = next++) {
            jobs[i].mp3 =
                Mp3Encoder::encode(jobs[i].path, jobs[i].range, cancelled, report, jobs[i].error);
            if (!jobs[i].mp3 && !cancelled)
                failedAlready = true;
        }
    };
    const int threads = std::clamp(QThread::idealThreadCount(), 1, int(jobs.size()));
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread &helper : helpers)
        helper.join();
    for (const ClipJob &job : jobs) {
        if (!job.mp3 && !job.error.isEmpty()) {
            error = job.error;
            return false;
        }
    }
    return !cancelled;
}

bool writeFile(const QString &path, const QByteArray &bytes, QString &error)
{
    OutputFile file(path);
    if (!file.create(error))
        return false;
    QFile out(file.path());
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size() ||
        !out.flush()) {
        error = QStringLiteral("“%1” cannot be written: %2").arg(path, out.errorString());
        return false;
    }
    out.close();
    return file.commit(error);
}

} // namespace

PublishSource PublishSource::of(const Recording &recording, const QList<PhraseMarker> &markers)
{
    PublishSource source;
    source.title = recording.name();
    source.message = recording.message();
    source.date = recording.date();
    source.forwardPath = recording.currentAudioPath();
    source.reversePath = recording.reverseAudioPath();
    source.markers = markers;
    return source;
}

PublishResult PagePublisher::publish(const PublishSource &source, const PublishOptions &options,
                                     const QString &target, const std::atomic<bool> &cancelled,
                                     const std::function<void(double)> &progress)
{
    if (!(options.slowFactor >= minimumSlowFactor && options.slowFactor < 1.0))
        return failed(QStringLiteral("The slowed speed must be at least %1 and below 1.")
                          .arg(minimumSlowFactor));
    WavLayout reversal;
    WavLayout forward;
    QString error;
    if (WavFile::checkInput(source.reversePath, reversal, error) != WavFile::Kind::Valid ||
        WavFile::checkInput(source.forwardPath, forward, error) != WavFile::Kind::Valid)
        return failed(error.isEmpty() ? QStringLiteral("The recording's audio is not WAV.")
                                      : error);
    const qint64 total = reversal.frames;
    const int rate = reversal.sampleRate;
    if (forward.frames != total || forward.sampleRate != rate)
        return failed(QStringLiteral("The forward audio “%1” and the reversal “%2” are not the "
                                     "same length: the recording's files do not belong together.")
                          .arg(source.forwardPath, source.reversePath));
    if (!WavStretch::readable(reversal) || !WavStretch::readable(forward))
        return failed(QStringLiteral("The recording's audio is in an encoding that cannot be "
                                     "published."));

    // Phrases on the reversal, in order; a marker that is a point (or lies past the end) holds
    // no audio and is left out.
    QList<PhraseMarker> phrases;
    for (PhraseMarker marker : source.markers) {
        marker.frames.start = std::clamp<qint64>(marker.frames.start, 0, total);
        marker.frames.end = std::clamp<qint64>(marker.frames.end, marker.frames.start, total);
        if (marker.frames.length() > 0)
            phrases << marker;
    }
    std::stable_sort(phrases.begin(), phrases.end(),
                     [](const auto &a, const auto &b) { return a.frames.start < b.frames.start; });

    qint64 phraseFrames = 0;
    for (const PhraseMarker &marker : phrases)
        phraseFrames += 2 * marker.frames.length();
    const double wholeSeconds = 2 * secondsFromFrames(total, rate);
    const double phraseSeconds = secondsFromFrames(phraseFrames, rate);
    bool withWhole = true;
    QString note;
    if (!options.folder && wholeSeconds + phraseSeconds > maximumEmbeddedSeconds) {
        const int minutes = int(std::ceil((wholeSeconds + phraseSeconds) / 60));
        if (phrases.isEmpty() || phraseSeconds > maximumEmbeddedSeconds)
            return failed(
                QStringLiteral("This page would hold %1 minutes of audio, more than the %2 a "
                               "single page can carry. Publish it as a folder (the clips as "
                               "files beside the page, --folder), or mark the phrases worth "
                               "sharing%3 and publish those.")
                    .arg(minutes)
                    .arg(int(maximumEmbeddedSeconds / 60))
                    .arg(phrases.isEmpty() ? QString() : QStringLiteral(" (fewer or shorter)")));
        withWhole = false;
        note = QStringLiteral("The whole recording is too long for one page: only the marked "
                              "phrases are here.");
    }

    // The clips, in page order: the whole recording, then each phrase; forward twin first.
    const double scale = double(PageHtml::waveWidth) / double(std::max<qint64>(total, 1));
    std::vector<ClipJob> jobs;
    PageContent content;
    const auto addPhrase = [&](FrameRange onReversal, const QString &id, const QString &heading,
                               const QString &where, const QString &heard) {
        const FrameRange onForward = mirrored(onReversal, total);
        jobs.push_back(
            {source.forwardPath, onForward, id + QStringLiteral("-forward.mp3"), {}, {}});
        jobs.push_back(
            {source.reversePath, onReversal, id + QStringLiteral("-reversed.mp3"), {}, {}});
        PagePhrase phrase;
        phrase.heading = heading;
        phrase.where = where;
        phrase.heard = heard;
        const double seconds = secondsFromFrames(onReversal.length(), rate);
        phrase.forward = {id + QStringLiteral("-f"),
                          {},
                          seconds,
                          onReversal.end * scale,
                          onReversal.start * scale};
        phrase.reversed = {id + QStringLiteral("-r"),
                           {},
                           seconds,
                           onReversal.start * scale,
                           onReversal.end * scale};
        content.phrases.push_back(phrase);
    };
    if (withWhole)
        addPhrase({0, total}, QStringLiteral("whole"), QStringLiteral("The whole recording"), {},
                  source.message);
    else
        content.message = source.message;
    for (int i = 0; i < phrases.size(); ++i) {
        const FrameRange frames = phrases[i].frames;
        addPhrase(frames, QStringLiteral("phrase-%1").arg(i + 1, 2, 10, QLatin1Char('0')),
                  QStringLiteral("Phrase %1").arg(i + 1),
                  QStringLiteral("%1 – %2 of the reversal")
                      .arg(clock(frames.start, rate), clock(frames.end, rate)),
                  phrases[i].text);
    }

    const std::optional<QString> sha = sha256Of(source.forwardPath, error);
    if (!sha)
        return failed(error);
    std::optional<std::vector<float>> peaks = peaksOf(source.reversePath, cancelled, error);
    if (cancelled)
        return cancelledResult();
    if (!peaks)
        return failed(error);
    if (!encodeAll(jobs, cancelled, progress, error))
        return cancelled ? cancelledResult() : failed(error);

    content.title = source.title;
    content.date = source.date;
    content.version = QStringLiteral(MURMELO_VERSION);
    content.audioSha256 = *sha;
    content.peaks = std::move(*peaks);
    content.slowFactor = options.slowFactor;
    content.clipsBeside = options.folder;
    content.note = note;
    for (size_t i = 0; i < content.phrases.size(); ++i) {
        PagePhrase &phrase = content.phrases[i];
        for (PageClip *clip : {&phrase.forward, &phrase.reversed}) {
            ClipJob &job = jobs[2 * i + (clip == &phrase.reversed ? 1 : 0)];
            clip->source = options.folder
                               ? job.fileName.toUtf8()
                               : QByteArray("data:audio/mpeg;base64,") + job.mp3->toBase64();
        }
    }

    PublishResult result;
    result.page = options.folder ? QDir(target).filePath(QStringLiteral("index.html")) : target;
    if (options.folder) {
        if (!QDir().mkpath(target))
            return failed(QStringLiteral("The folder “%1” cannot be made.").arg(target));
        for (const ClipJob &job : jobs) {
            if (!writeFile(QDir(target).filePath(job.fileName), *job.mp3, error))
                return failed(error);
            result.bytes += job.mp3->size();
        }
    }
    const QByteArray page = PageHtml::render(content);
    if (cancelled)
        return cancelledResult();
    if (!writeFile(result.page, page, error))
        return failed(error);
    result.bytes += page.size();
    result.status = PublishResult::Status::Published;
    result.note = note;
    return result;
}

} // namespace murmelo
