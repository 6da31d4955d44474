#include "playback/PhraseSegmenter.h"

#include "audio/PlayerAudio.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace murmelo {

namespace {
// Quieter than this is the same as silence; it keeps log10 finite.
constexpr float kSilenceDb = -120.0f;
// Hops smoothed on either side before the floor is taken, so one quiet hop of noise does
// not pull the floor below where the noise really lies.
constexpr int kSmoothHops = 2;
// How far back from the hop that started a phrase its real beginning is looked for.
constexpr double kOnsetLookBack = 0.3;

std::vector<float> smoothed(const std::vector<float> &level)
{
    const qsizetype n = qsizetype(level.size());
    std::vector<float> out(level.size());
    for (qsizetype i = 0; i < n; ++i) {
        double power = 0;
        int count = 0;
        for (qsizetype j = std::max<qsizetype>(0, i - kSmoothHops);
             j <= std::min(n - 1, i + kSmoothHops); ++j, ++count)
            power += std::pow(10.0, level[size_t(j)] / 10.0);
        out[size_t(i)] = float(10.0 * std::log10(std::max(power / count, 1e-12)));
    }
    return out;
}

// The least value within `half` hops on either side of each hop (a sliding minimum).
std::vector<float> floorOf(const std::vector<float> &level, qsizetype half)
{
    const qsizetype n = qsizetype(level.size());
    std::vector<float> out(level.size());
    std::deque<qsizetype> window; // indices of rising values: the front is the least
    qsizetype added = 0;
    for (qsizetype i = 0; i < n; ++i) {
        for (; added < n && added <= i + half; ++added) {
            while (!window.empty() && level[size_t(window.back())] >= level[size_t(added)])
                window.pop_back();
            window.push_back(added);
        }
        while (window.front() < i - half)
            window.pop_front();
        out[size_t(i)] = level[size_t(window.front())];
    }
    return out;
}
} // namespace

PhraseSegmenter::PhraseSegmenter(int sampleRate, Settings settings)
    : settings_(settings), hop_(std::max(1, int(std::lround(sampleRate * settings.hopSeconds))))
{
    const double rc = 1.0 / (2 * M_PI * settings.highPassHz);
    highPass_ = float(rc / (rc + 1.0 / std::max(sampleRate, 1)));
}

void PhraseSegmenter::feed(const float *samples, qint64 count)
{
    for (qint64 i = 0; i < count;) {
        const qint64 take = std::min<qint64>(count - i, hop_ - filled_);
        double sum = 0;
        int crossed = 0;
        bool negative = lastNegative_;
        float in1 = in1_, out1 = out1_, in2 = in2_, out2 = out2_;
        for (qint64 k = i; k < i + take; ++k) {
            // Two first-order high passes: rumble and hum below the voice do not count.
            const float x = samples[k];
            out1 = highPass_ * (out1 + x - in1);
            in1 = x;
            out2 = highPass_ * (out2 + out1 - in2);
            in2 = out1;
            const float s = out2;
            sum += double(s) * s;
            const bool isNegative = s < 0;
            crossed += isNegative != negative;
            negative = isNegative;
        }
        lastNegative_ = negative;
        in1_ = in1;
        out1_ = out1;
        in2_ = in2;
        out2_ = out2;
        sum_ += sum;
        crossed_ += crossed;
        filled_ += int(take);
        fed_ += take;
        i += take;
        if (filled_ == hop_)
            closeHop();
    }
}

void PhraseSegmenter::closeHop()
{
    const double mean = sum_ / std::max(filled_, 1);
    level_.push_back(mean > 0 ? std::max(kSilenceDb, float(10.0 * std::log10(mean))) : kSilenceDb);
    crossings_.push_back(float(crossed_) / std::max(filled_, 1));
    sum_ = 0;
    crossed_ = 0;
    filled_ = 0;
}

QList<FrameRange> PhraseSegmenter::finish()
{
    if (filled_ > 0)
        closeHop();
    const qsizetype n = qsizetype(level_.size());
    const std::vector<float> level = smoothed(level_);
    const std::vector<float> floor =
        floorOf(level, qsizetype(settings_.floorWindow / 2 / settings_.hopSeconds));
    const auto start = [&](qsizetype i) {
        return level[size_t(i)] >=
               std::max(floor[size_t(i)] + settings_.startAbove, settings_.absoluteStart);
    };
    const auto sounding = [&](qsizetype i) {
        const double l = level[size_t(i)];
        if (l >= std::max(floor[size_t(i)] + settings_.stayAbove, settings_.absoluteStay))
            return true;
        return crossings_[size_t(i)] >= settings_.fricativeCrossings &&
               l >= std::max(floor[size_t(i)] + settings_.fricativeAbove, settings_.absoluteStay);
    };
    const auto hops = [&](double seconds) {
        return qsizetype(std::ceil(seconds / settings_.hopSeconds));
    };
    const qsizetype pauseHops = hops(settings_.minimumPause);
    const qsizetype phraseHops = hops(settings_.minimumPhrase);
    const qsizetype lookBack = hops(kOnsetLookBack);

    QList<FrameRange> phrases;
    const auto keep = [&](qsizetype from, qsizetype to) {
        if (to - from >= phraseHops)
            phrases << FrameRange{qint64(from) * hop_, qint64(to) * hop_};
    };
    qsizetype phraseStart = -1;
    qsizetype quiet = 0;
    qsizetype lastEnd = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (phraseStart < 0) {
            if (!start(i))
                continue;
            // The rise was heard a little after the word began: go back over what still sounds.
            phraseStart = i;
            while (phraseStart > lastEnd && i - phraseStart < lookBack && sounding(phraseStart - 1))
                --phraseStart;
            quiet = 0;
            continue;
        }
        quiet = sounding(i) ? 0 : quiet + 1;
        if (quiet >= pauseHops) {
            lastEnd = i - quiet + 1;
            keep(phraseStart, lastEnd);
            phraseStart = -1;
        }
    }
    if (phraseStart >= 0)
        keep(phraseStart, n - quiet);
    // The last hop may be short: no phrase reaches past the audio.
    for (FrameRange &phrase : phrases)
        phrase.end = std::min(phrase.end, fed_);
    return phrases;
}

std::optional<QList<FrameRange>> suggestPhrases(const QString &path,
                                                std::optional<FrameRange> range,
                                                const std::function<bool(double)> &progress,
                                                QString &error)
{
    error.clear();
    const std::shared_ptr<PlayerAudio> audio = PlayerAudio::open(path, error);
    if (!audio)
        return std::nullopt;
    FrameRange wanted = range.value_or(FrameRange{0, audio->frames()});
    wanted.start = std::clamp<qint64>(wanted.start, 0, audio->frames());
    wanted.end = std::clamp<qint64>(wanted.end, wanted.start, audio->frames());

    constexpr qint64 kBlock = 65536;
    const int channels = audio->channels();
    std::vector<float> interleaved(size_t(kBlock * channels));
    std::vector<float> mono(static_cast<size_t>(kBlock));
    PhraseSegmenter segmenter(audio->sampleRate());
    for (qint64 at = wanted.start; at < wanted.end;) {
        const qint64 want = std::min(kBlock, wanted.end - at);
        const qint64 got = audio->read(at, want, interleaved.data());
        if (got < want) {
            error =
                QStringLiteral("%1 could not be read to its end: %2").arg(path, audio->failure());
            return std::nullopt;
        }
        const float *in = interleaved.data();
        if (channels == 1) {
            segmenter.feed(in, got);
        } else {
            for (qint64 f = 0; f < got; ++f) {
                float sum = 0;
                for (int c = 0; c < channels; ++c)
                    sum += in[f * channels + c];
                mono[size_t(f)] = sum / channels;
            }
            segmenter.feed(mono.data(), got);
        }
        at += got;
        if (progress && !progress(double(at - wanted.start) / std::max<qint64>(1, wanted.length())))
            return std::nullopt;
    }
    QList<FrameRange> phrases = segmenter.finish();
    for (FrameRange &phrase : phrases) {
        phrase.start += wanted.start;
        phrase.end += wanted.start;
    }
    return phrases;
}

} // namespace murmelo
