#include "audio/FrequencyAxis.h"

#include <algorithm>
#include <cmath>

namespace murmelo {

namespace {
constexpr double kLogLowest = 20.0;
} // namespace

FrequencyAxis::FrequencyAxis(Scale scale, int sampleRate, int frameSize)
    : scale_(scale), highest_(sampleRate / 2.0), binWidth_(double(sampleRate) / frameSize),
      binCount_(frameSize / 2 + 1)
{
    lowest_ =
        scale_ == Scale::Linear ? 0.0 : std::min(std::max(kLogLowest, binWidth_), highest_ / 2);
}

double FrequencyAxis::frequencyAt(double fraction) const
{
    if (scale_ == Scale::Linear)
        return lowest_ + fraction * (highest_ - lowest_);
    return lowest_ * std::pow(highest_ / lowest_, fraction);
}

double FrequencyAxis::fractionOf(double hertz) const
{
    if (scale_ == Scale::Linear)
        return (hertz - lowest_) / (highest_ - lowest_);
    return std::log(std::max(hertz, 1e-9) / lowest_) / std::log(highest_ / lowest_);
}

double FrequencyAxis::yOf(double hertz, int height) const
{
    return (1.0 - fractionOf(hertz)) * std::max(1, height - 1);
}

double FrequencyAxis::frequencyAtY(double y, int height) const
{
    return frequencyAt(1.0 - y / std::max(1, height - 1));
}

std::vector<std::pair<int, int>> FrequencyAxis::rowBins(int height) const
{
    std::vector<std::pair<int, int>> rows(size_t(std::max(0, height)));
    const int last = binCount_ - 1;
    for (int row = 0; row < height; ++row) {
        const double lower = frequencyAtY(row + 0.5, height);
        const double upper = frequencyAtY(row - 0.5, height);
        int first = int(std::ceil(lower / binWidth_));
        int end = int(std::floor(upper / binWidth_));
        if (end < first)
            first = end = int(std::lround(frequencyAtY(row, height) / binWidth_));
        rows[size_t(row)] = {std::clamp(first, 0, last), std::clamp(end, 0, last)};
    }
    return rows;
}

QList<double> FrequencyAxis::ticks(int height, int leastGap) const
{
    QList<double> candidates;
    if (scale_ == Scale::Linear) {
        // The smallest step of 1, 2 or 5 times a power of ten that keeps labels apart.
        const double perRow = (highest_ - lowest_) / std::max(1, height - 1);
        const double least = perRow * leastGap;
        double step = std::pow(10.0, std::floor(std::log10(std::max(least, 1.0))));
        for (double factor : {1.0, 2.0, 5.0, 10.0}) {
            if (step * factor >= least) {
                step *= factor;
                break;
            }
        }
        for (double f = step; f < highest_; f += step)
            candidates << f;
    } else {
        for (double decade = 10; decade < highest_; decade *= 10)
            for (double factor : {1.0, 2.0, 5.0})
                if (decade * factor > lowest_ && decade * factor < highest_)
                    candidates << decade * factor;
    }
    QList<double> kept;
    double lastY = 1e9;
    for (double f : candidates) {
        const double y = yOf(f, height);
        if (lastY - y >= leastGap && y >= leastGap / 2.0) {
            kept << f;
            lastY = y;
        }
    }
    return kept;
}

QString FrequencyAxis::tickText(double hertz)
{
    if (hertz < 1000)
        return QString::number(int(std::lround(hertz)));
    return QString::number(hertz / 1000, 'g', 3) + QLatin1Char('k');
}

QString noteName(double hertz)
{
    if (!(hertz > 0))
        return {};
    const long midi = std::lround(69 + 12 * std::log2(hertz / 440.0));
    if (midi < 12 || midi > 131)
        return {};
    static const char *const kNames[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                         "F#", "G",  "G#", "A",  "A#", "B"};
    return QLatin1String(kNames[midi % 12]) + QString::number(midi / 12 - 1);
}

} // namespace murmelo
