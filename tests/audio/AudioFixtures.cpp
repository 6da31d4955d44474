#include "AudioFixtures.h"

#include "audio/WavFile.h"
#include "platform/StandardPaths.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace murmelo::test {

std::vector<qint32> PcmAudio::frame(qint64 index) const
{
    const auto begin = samples.begin() + index * channels;
    return {begin, begin + channels};
}

QString fixturePath(const QString &name)
{
    const QString folder = scratchRoot() + QStringLiteral("/fixtures");
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + name;
}

QString writeBytes(const QString &name, const QByteArray &bytes)
{
    return writeFileBytes(fixturePath(name), bytes);
}

QByteArray pcmBytes(const PcmAudio &audio)
{
    const int bytes = audio.bits / 8;
    QByteArray data(qsizetype(audio.samples.size()) * bytes, '\0');
    char *p = data.data();
    for (qint32 s : audio.samples) {
        const quint32 u = bytes == 1 ? quint32(s + 128) : quint32(s);
        for (int b = 0; b < bytes; ++b)
            *p++ = char(u >> (8 * b));
    }
    return data;
}

QString writeWav(const QString &name, const PcmAudio &audio)
{
    const QByteArray data = pcmBytes(audio);
    return writeBytes(
        name, wavHeader(audio.channels, audio.sampleRate, audio.bits, quint32(data.size())) + data);
}

PcmAudio readWav(const QString &path)
{
    WavLayout layout;
    QString error;
    PcmAudio audio;
    if (WavFile::inspect(path, layout, error) != WavFile::Kind::Valid) {
        ADD_FAILURE() << "not a readable WAV: " << path.toStdString() << " " << error.toStdString();
        return audio;
    }
    EXPECT_TRUE(layout.isIntegerPcm());
    audio.sampleRate = layout.sampleRate;
    audio.channels = layout.channels;
    audio.bits = layout.bitsPerSample;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly) && file.seek(layout.dataOffset));
    const QByteArray data = file.read(layout.frames * layout.blockAlign);
    const int bytes = audio.bits / 8;
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    for (qsizetype i = 0; i + bytes <= data.size(); i += bytes) {
        quint32 u = 0;
        for (int b = 0; b < bytes; ++b)
            u |= quint32(p[i + b]) << (8 * b);
        if (bytes == 1)
            audio.samples.push_back(qint32(u) - 128);
        else
            audio.samples.push_back(qint32(u << (32 - 8 * bytes)) >> (32 - 8 * bytes));
    }
    return audio;
}

PcmAudio rampAudio(qint64 frames, int channels, int bits, int rate)
{
    PcmAudio audio{rate, channels, bits, {}};
    const qint32 span = bits == 24 ? 8000000 : 30000;
    for (qint64 f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            audio.samples.push_back(qint32((f * 7 + c * 1001) % (2 * span)) - span);
    return audio;
}

QStringList temporaryFolderEntries()
{
    return QDir(StandardPaths::temporaryDirectory())
        .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

QString speechSample()
{
    const QString path = fixturePath(QStringLiteral("speech.wav"));
    if (!QFile::exists(path)) {
        EXPECT_EQ(runShell(QStringLiteral("espeak-ng -w '%1' 'Play it backwards and listen "
                                          "closely for the hidden message'")
                               .arg(path)),
                  0);
    }
    return path;
}

} // namespace murmelo::test
