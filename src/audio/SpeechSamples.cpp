#include "audio/PlayerAudio.h"
#include "audio/SpeechRecogniser.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>

namespace murmelo {

std::optional<std::vector<qint16>> speechSamples(const QString &path, qint64 first, qint64 count,
                                                 QString &error, int *sampleRate)
{
    error.clear();
    const std::shared_ptr<PlayerAudio> audio = PlayerAudio::open(path, error);
    if (!audio)
        return std::nullopt;
    if (sampleRate)
        *sampleRate = audio->sampleRate();
    first = std::clamp<qint64>(first, 0, audio->frames());
    count = std::clamp<qint64>(count, 0, audio->frames() - first);
    const int channels = audio->channels();

    // Mixed down by averaging the channels first, so the resampler works on one channel.
    SwrContext *swr = nullptr;
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    if (swr_alloc_set_opts2(&swr, &mono, AV_SAMPLE_FMT_S16, SpeechRecogniser::kSampleRate, &mono,
                            AV_SAMPLE_FMT_FLT, audio->sampleRate(), 0, nullptr) < 0 ||
        swr_init(swr) < 0) {
        swr_free(&swr);
        error = QStringLiteral("the audio of %1 cannot be resampled for recognition").arg(path);
        return std::nullopt;
    }
    constexpr qint64 kBlock = 16384;
    std::vector<float> interleaved(size_t(kBlock * channels));
    std::vector<float> mixed(static_cast<size_t>(kBlock));
    std::vector<qint16> out;
    out.reserve(
        size_t(count * SpeechRecogniser::kSampleRate / std::max(1, audio->sampleRate()) + 64));
    std::vector<qint16> converted;
    const auto convert = [&](const float *in, int frames) {
        const int room = swr_get_out_samples(swr, frames);
        converted.resize(size_t(std::max(room, 0)));
        const auto *source = reinterpret_cast<const uint8_t *>(in);
        auto *target = reinterpret_cast<uint8_t *>(converted.data());
        const int made = swr_convert(swr, &target, room, in ? &source : nullptr, frames);
        if (made > 0)
            out.insert(out.end(), converted.begin(), converted.begin() + made);
        return made >= 0;
    };
    bool ok = true;
    for (qint64 at = first; ok && at < first + count;) {
        const qint64 want = std::min(kBlock, first + count - at);
        const qint64 got = audio->read(at, want, interleaved.data());
        if (got < want) {
            error =
                QStringLiteral("%1 could not be read to its end: %2").arg(path, audio->failure());
            ok = false;
            break;
        }
        for (qint64 f = 0; f < got; ++f) {
            float sum = 0;
            for (int c = 0; c < channels; ++c)
                sum += interleaved[size_t(f * channels + c)];
            mixed[size_t(f)] = sum / float(channels);
        }
        ok = convert(mixed.data(), int(got));
        at += got;
    }
    ok = ok && convert(nullptr, 0); // what the resampler still holds
    swr_free(&swr);
    if (!ok) {
        if (error.isEmpty())
            error = QStringLiteral("the audio of %1 cannot be resampled for recognition").arg(path);
        return std::nullopt;
    }
    return out;
}

} // namespace murmelo
