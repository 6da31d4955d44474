#pragma once

#include "library/PhraseMarker.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace murmelo {

// Finds the stretches of a recording where someone speaks, so that phrase markers can be
// proposed instead of made by hand. Each hop of 10 ms gets its energy and its zero-crossing
// rate, after rumble below the voice is filtered out. The floor is the quietest the audio gets
// within a few seconds around each hop, so a steady hum or the bed of a song raises it, and
// loudness is judged against it: a phrase starts where the audio rises well above the floor and
// lasts until it has stayed near the floor for a whole pause (hysteresis keeps a word's quiet
// middle from ending it). Hiss that stands a little above the floor with many zero crossings is a
// fricative and keeps a phrase going. Stretches shorter than a phrase are clicks and are dropped.
class PhraseSegmenter {
public:
    struct Settings {
        double hopSeconds = 0.010;
        double highPassHz = 150.0;
        double minimumPhrase = 0.20;
        double minimumPause = 0.25;
        double floorWindow = 6.0; // seconds around a hop whose quietest moment is the floor
        double startAbove = 12.0; // dB above the floor that begin a phrase
        double stayAbove = 6.0;   // dB above the floor that keep it going
        double fricativeAbove = 3.0;
        double fricativeCrossings = 0.3; // sign changes per sample
        // Digital silence has no floor to measure: below these levels (dBFS) nothing is speech.
        double absoluteStart = -45.0;
        double absoluteStay = -55.0;
    };

    explicit PhraseSegmenter(int sampleRate) : PhraseSegmenter(sampleRate, Settings{}) {}
    PhraseSegmenter(int sampleRate, Settings settings);

    // Mono samples in [-1, 1], in order; any number at a time.
    void feed(const float *samples, qint64 count);
    // The phrases, in frames counted from the first sample fed.
    QList<FrameRange> finish();

private:
    void closeHop();

    Settings settings_;
    int hop_;
    std::vector<float> level_;     // dB of each hop
    std::vector<float> crossings_; // zero crossings per sample of each hop
    double sum_ = 0;
    int crossed_ = 0;
    int filled_ = 0;
    qint64 fed_ = 0;
    bool lastNegative_ = false;
    float highPass_ = 0;
    float in1_ = 0, out1_ = 0, in2_ = 0, out2_ = 0;
};

// Reads `range` of a WAV file (all of it when none), mixes it to mono and finds its phrases,
// in frames of the file. `progress` gets the part done (0 to 1) now and then and returns false
// to stop: the result is then none, with `error` empty. A file that cannot be read gives none
// with the reason in `error`.
std::optional<QList<FrameRange>> suggestPhrases(const QString &path,
                                                std::optional<FrameRange> range,
                                                const std::function<bool(double)> &progress,
                                                QString &error);

} // namespace murmelo
