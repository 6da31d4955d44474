#pragma once

#include "support/TestWav.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace murmelo::test {

// Interleaved integer samples with the format they are stored in.
struct PcmAudio {
    int sampleRate = 44100;
    int channels = 1;
    int bits = 16;
    std::vector<qint32> samples;

    qint64 frames() const { return qint64(samples.size()) / channels; }
    std::vector<qint32> frame(qint64 index) const;
};

// A path under the scratch folder (not the application's temporary folder, which tests watch).
QString fixturePath(const QString &name);
// The samples as a WAV file's data chunk holds them (8-bit ones unsigned).
QByteArray pcmBytes(const PcmAudio &audio);
// Writes a plain PCM WAV file (8, 16, 24 or 32 bits).
QString writeWav(const QString &name, const PcmAudio &audio);
// Writes raw bytes, for headers no encoder would produce.
QString writeBytes(const QString &name, const QByteArray &bytes);
// Reads any integer PCM WAV file (extensible included) back; fails the test when it can't.
PcmAudio readWav(const QString &path);
// A ramp that makes every frame distinct, so order mistakes show.
PcmAudio rampAudio(qint64 frames, int channels, int bits, int rate = 44100);
// A few seconds of speech made with espeak-ng, made once per test process.
QString speechSample();
// What the application's temporary folder holds now.
QStringList temporaryFolderEntries();

} // namespace murmelo::test
