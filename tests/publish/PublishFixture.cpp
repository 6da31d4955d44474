#include "PublishFixture.h"

#include "audio/SoxReversal.h"
#include "audio/WavFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QtEndian>
#include <cmath>
#include <random>

namespace murmelo::test {

std::vector<float> speechLike(double seconds, int rate, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const qint64 frames = qint64(seconds * rate);
    std::vector<float> samples(size_t(frames), 0.0f);
    double phase = 0;
    qint64 at = 0;
    while (at < frames) {
        const qint64 syllable = qint64((0.12 + 0.2 * uniform(random)) * rate);
        const qint64 pause = qint64((0.02 + 0.06 * uniform(random)) * rate);
        const double pitch = 110 + 160 * uniform(random);
        const double glide = (uniform(random) - 0.5) * 120;
        const double bright = 0.2 + 0.6 * uniform(random);
        for (qint64 i = 0; i < syllable && at + i < frames; ++i) {
            const double t = double(i) / syllable;
            phase += 2 * M_PI * (pitch + glide * t) / rate;
            const double envelope = std::sin(M_PI * t);
            const double voice = std::sin(phase) + bright * std::sin(2 * phase + 0.3) +
                                 0.5 * bright * std::sin(3 * phase + 1.1) +
                                 0.25 * std::sin(7 * phase);
            samples[size_t(at + i)] = float(0.3 * envelope * voice);
        }
        at += syllable + pause;
    }
    // A quiet noise floor, as a microphone has.
    std::normal_distribution<double> noise(0.0, 0.002);
    for (float &sample : samples)
        sample += float(noise(random));
    return samples;
}

bool writeWav(const QString &path, const std::vector<float> &interleaved, const WavFormat &format)
{
    const int width = format.bits / 8;
    QByteArray fmt(16, '\0');
    qToLittleEndian<quint16>(format.isFloat ? 3 : 1, fmt.data());
    qToLittleEndian<quint16>(format.channels, fmt.data() + 2);
    qToLittleEndian<quint32>(format.rate, fmt.data() + 4);
    qToLittleEndian<quint32>(format.rate * format.channels * width, fmt.data() + 8);
    qToLittleEndian<quint16>(format.channels * width, fmt.data() + 12);
    qToLittleEndian<quint16>(format.bits, fmt.data() + 14);
    QByteArray data(qsizetype(interleaved.size()) * width, '\0');
    for (size_t i = 0; i < interleaved.size(); ++i) {
        const double v = std::clamp(double(interleaved[i]), -1.0, 1.0);
        char *p = data.data() + i * width;
        if (format.isFloat) {
            const float f = float(v);
            std::memcpy(p, &f, 4);
        } else if (width == 1) {
            *reinterpret_cast<quint8 *>(p) = quint8(std::lround(v * 127) + 128);
        } else if (width == 2) {
            qToLittleEndian<qint16>(qint16(std::lround(v * 32767)), p);
        } else if (width == 3) {
            const qint32 s = qint32(std::lround(v * 8388607));
            p[0] = char(s & 0xff);
            p[1] = char((s >> 8) & 0xff);
            p[2] = char((s >> 16) & 0xff);
        } else {
            qToLittleEndian<qint32>(qint32(std::llround(v * 2147483647.0)), p);
        }
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && WavFile::writeHeader(file, fmt, data.size()) &&
           file.write(data) == data.size();
}

AudioPair makePair(const QString &folder, double seconds, int rate)
{
    QDir().mkpath(folder);
    AudioPair pair;
    pair.forward = folder + QStringLiteral("/forward.wav");
    pair.reversal = folder + QStringLiteral("/reversal.wav");
    pair.rate = rate;
    const std::vector<float> samples = speechLike(seconds, rate, 7);
    pair.frames = qint64(samples.size());
    writeWav(pair.forward, samples, {rate, 1, 16, false});
    const std::atomic<bool> never{false};
    reverseAudioFile(pair.forward, pair.reversal, never);
    return pair;
}

QString hostileText()
{
    return QStringLiteral("</script><img src=x onerror=alert(1)>");
}

PublishSource threeMarkers(const AudioPair &pair)
{
    PublishSource source;
    source.title = QStringLiteral("Title ") + hostileText() + QStringLiteral(" & “quotes” 'too'");
    source.message = QStringLiteral("the whole of it\n<b>not bold</b>");
    source.date = QDateTime(QDate(2026, 12, 8), QTime(21, 15), Qt::UTC);
    source.forwardPath = pair.forward;
    source.reversePath = pair.reversal;
    const auto at = [&](double s) { return qint64(s * pair.rate); };
    // Out of order on purpose: the page lists them by where they start.
    source.markers = {{0, {at(4.1), at(5.3)}, QStringLiteral("we are the third")},
                      {0, {at(0.4), at(1.5)}, QStringLiteral("first one")},
                      {0, {at(2.2), at(3.05)}, hostileText()}};
    return source;
}

QJsonObject expectations(const PublishSource &source, const AudioPair &pair, bool withWhole,
                         bool folder, const QString &slow)
{
    QJsonArray clips;
    QJsonArray heard;
    const auto add = [&](const QString &id, FrameRange onReversal) {
        const FrameRange onForward = mirrored(onReversal, pair.frames);
        clips.append(QJsonObject{{"id", id + "-f"},
                                 {"file", "forward"},
                                 {"start", onForward.start},
                                 {"end", onForward.end}});
        clips.append(QJsonObject{{"id", id + "-r"},
                                 {"file", "reversal"},
                                 {"start", onReversal.start},
                                 {"end", onReversal.end}});
    };
    if (withWhole)
        add(QStringLiteral("whole"), {0, pair.frames});
    if (!source.message.isEmpty())
        heard.append(source.message);
    QList<PhraseMarker> markers = source.markers;
    std::sort(markers.begin(), markers.end(),
              [](const auto &a, const auto &b) { return a.frames.start < b.frames.start; });
    for (int i = 0; i < markers.size(); ++i) {
        add(QStringLiteral("phrase-%1").arg(i + 1, 2, 10, QLatin1Char('0')), markers[i].frames);
        heard.append(markers[i].text);
    }
    return {{"forward", pair.forward},
            {"reversal", pair.reversal},
            {"title", source.title},
            {"heard", heard},
            {"clips", clips},
            {"folder", folder},
            {"slow", slow},
            {"rate", pair.rate}};
}

int checkPage(const QString &page, const QJsonObject &expect, QString &output)
{
    const QString expectPath = page + QStringLiteral(".expect.json");
    QFile file(expectPath);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    file.write(QJsonDocument(expect).toJson());
    file.close();
    QProcess checker;
    checker.setProcessChannelMode(QProcess::MergedChannels);
    checker.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral(MURMELO_PUBLISH_TEST_DIR "/page_check.py"), page, expectPath});
    checker.waitForFinished(120000);
    output = QString::fromUtf8(checker.readAll());
    return checker.exitStatus() == QProcess::NormalExit ? checker.exitCode() : -1;
}

} // namespace murmelo::test
