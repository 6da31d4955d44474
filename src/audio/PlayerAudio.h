#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

namespace murmelo {

// The frames a player plays, as interleaved float in [-1, 1], read on demand so that an hour of
// audio never has to sit in memory. Reads may come from any thread.
class PlayerAudio {
public:
    virtual ~PlayerAudio() = default;

    int sampleRate() const { return sampleRate_; }
    int channels() const { return channels_; }
    qint64 frames() const { return frames_; }

    // Copies frames [first, first + count) into `out`. Fewer come back only when the audio can
    // no longer be read (the file was cut short, the disk went away); failure() then says why.
    virtual qint64 read(qint64 first, qint64 count, float *out) = 0;
    virtual QString failure() const { return {}; }

    // Streams a WAV file. Null, with the reason in `error`, when the file is missing, not WAV,
    // damaged or in an encoding we do not play.
    static std::shared_ptr<PlayerAudio> open(const QString &path, QString &error);

protected:
    PlayerAudio(int sampleRate, int channels, qint64 frames)
        : sampleRate_(sampleRate), channels_(channels), frames_(frames)
    {
    }

private:
    int sampleRate_;
    int channels_;
    qint64 frames_;
};

} // namespace murmelo
