#pragma once

#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace murmelo {

// One word the recogniser heard, with where it lies in seconds from the start of the audio it
// was given.
struct SpokenWord {
    QString text;
    double start = 0;
    double end = 0;

    bool operator==(const SpokenWord &) const = default;
};

// Offline speech recognition of US English, for the forward audio under a phrase marker: what
// was said there, to read beside what was heard backwards. Never given a reversal: played
// backwards, speech comes out as word salad. One recogniser is used by one thread at a time;
// making one loads its model, so a recogniser is kept for many stretches.
class SpeechRecogniser {
public:
    static constexpr int kSampleRate = 16000;

    virtual ~SpeechRecogniser() = default;

    // The words in 16 kHz mono samples, in order; none with the reason in `error` when the
    // decoder fails, and none with `error` empty when `cancel` was set on the way.
    virtual std::optional<QList<SpokenWord>> recognise(const std::vector<qint16> &samples,
                                                       const std::atomic<bool> &cancel,
                                                       QString &error) = 0;
};

// Makes a recogniser, or none with the reason in `why`: Murmelo was built without PocketSphinx,
// or its US English model is not installed (the Debian package pocketsphinx-en-us).
using SpeechRecogniserFactory = std::function<std::unique_ptr<SpeechRecogniser>(QString &why)>;
SpeechRecogniserFactory defaultSpeechRecogniserFactory();

// Where the model is looked for: $MURMELO_SPEECH_MODEL, else PocketSphinx's own folder.
QString speechModelFolder();

// Reads frames [first, first + count) of a WAV file, mixed to mono and resampled to 16 kHz
// 16-bit, as the recogniser takes them; none with the reason in `error`. `sampleRate`, when
// given, gets the file's own rate.
std::optional<std::vector<qint16>> speechSamples(const QString &path, qint64 first, qint64 count,
                                                 QString &error, int *sampleRate = nullptr);

} // namespace murmelo
