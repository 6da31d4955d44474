#pragma once

#include <QList>
#include <QString>
#include <utility>
#include <vector>

namespace murmelo {

// The frequency axis of a spectrogram picture: from the bottom row to the top one, linear from
// 0 Hz or logarithmic from 20 Hz (or the lowest bin above 0 where that is higher), up to half
// the sample rate.
class FrequencyAxis {
public:
    enum class Scale { Linear, Logarithmic };

    FrequencyAxis(Scale scale, int sampleRate, int frameSize);

    Scale scale() const { return scale_; }
    double lowest() const { return lowest_; }
    double highest() const { return highest_; }
    double binWidth() const { return binWidth_; }

    // `fraction` 0 is the bottom row, 1 the top one.
    double frequencyAt(double fraction) const;
    double fractionOf(double hertz) const;
    // For a picture `height` rows high, the bins each row shows, from the top row down: every bin
    // between the row's edges, or the one nearest its middle where a row is narrower than a bin.
    std::vector<std::pair<int, int>> rowBins(int height) const;
    // The y of a frequency's row in a picture `height` rows high (0 is the top row's middle).
    double yOf(double hertz, int height) const;
    double frequencyAtY(double y, int height) const;

    // Round frequencies to label, at least `leastGap` rows apart in a picture `height` high.
    QList<double> ticks(int height, int leastGap) const;
    // "500", "2k", "12.5k".
    static QString tickText(double hertz);

private:
    Scale scale_;
    double lowest_;
    double highest_;
    double binWidth_;
    int binCount_;
};

// The note nearest a frequency in equal temperament on A4 = 440 Hz ("A4", "C#3"); empty for a
// frequency outside C0 to B9.
QString noteName(double hertz);

} // namespace murmelo
