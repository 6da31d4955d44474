#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>
#include <vector>

namespace murmelo {

// A WAV file decoded once into memory as interleaved float frames in [-1, 1], so that playing,
// seeking and changing rate never touch the file again.
struct PlayerAudio {
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;

    qint64 frames() const { return channels ? qint64(samples.size()) / channels : 0; }
    const float *frame(qint64 index) const { return samples.data() + index * channels; }

    // Null, with the reason in `error`, when the file is missing, not WAV, damaged or in an
    // encoding we do not play.
    static std::shared_ptr<const PlayerAudio> decode(const QString &path, QString &error);
};

} // namespace murmelo
