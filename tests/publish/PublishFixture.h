#pragma once

#include "publish/PagePublisher.h"

#include <QJsonObject>
#include <QString>
#include <vector>

namespace murmelo::test {

// How a test WAV file is stored.
struct WavFormat {
    int rate = 44100;
    int channels = 1;
    int bits = 16;
    bool isFloat = false;
};

// Something like speech: voiced syllables of changing pitch with short pauses, band-limited so an
// MP3 keeps it, different everywhere so a stretch taken from the wrong place does not match.
std::vector<float> speechLike(double seconds, int rate, unsigned seed);

bool writeWav(const QString &path, const std::vector<float> &interleaved, const WavFormat &format);

// A forward recording and its reversal made by the application's own reversal job.
struct AudioPair {
    QString forward;
    QString reversal;
    qint64 frames = 0;
    int rate = 44100;
};
AudioPair makePair(const QString &folder, double seconds, int rate = 44100);

// The title, message and marker texts used to try to break out of the page.
QString hostileText();

// A recording of `pair` with three markers, one of them with hostile text, and a hostile title.
PublishSource threeMarkers(const AudioPair &pair);

// What page_check.py must find in the page of `source`: every clip with its file and frames,
// the texts as typed.
QJsonObject expectations(const PublishSource &source, const AudioPair &pair, bool withWhole,
                         bool folder, const QString &slow = QStringLiteral("0.7"));

// Runs page_check.py on a page; returns its exit code and puts its output in `output`.
int checkPage(const QString &page, const QJsonObject &expect, QString &output);

} // namespace murmelo::test
