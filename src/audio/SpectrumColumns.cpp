#include "audio/SpectrumColumns.h"

#include "audio/PlayerAudio.h"

#include <algorithm>

namespace murmelo {

SpectrumColumns::SpectrumColumns(std::shared_ptr<PlayerAudio> audio, int framesPerColumn,
                                 int frameSize)
    : audio_(std::move(audio)), framesPerColumn_(std::max(1, framesPerColumn)),
      spectrum_(frameSize), pitch_(audio_->sampleRate(), frameSize),
      interleaved_(size_t(frameSize) * size_t(audio_->channels())), frame_(size_t(frameSize)),
      power_(size_t(spectrum_.binCount()))
{
}

void SpectrumColumns::readFrame(qint64 centre)
{
    const int size = frameSize();
    const int channels = audio_->channels();
    const qint64 start = centre - size / 2;
    const qint64 first = std::max<qint64>(0, start);
    const qint64 end = std::min(audio_->frames(), start + size);
    std::fill(frame_.begin(), frame_.end(), 0.0f);
    if (end <= first)
        return;
    const qint64 got = audio_->read(first, end - first, interleaved_.data());
    if (got < end - first)
        readFailed_ = true;
    float *out = frame_.data() + (first - start);
    const float *in = interleaved_.data();
    const float share = 1.0f / float(channels);
    for (qint64 i = 0; i < got; ++i) {
        float sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += *in++;
        out[i] = sum * share;
    }
}

void SpectrumColumns::column(qint64 first, qint64 end, float *decibels, float &pitch)
{
    const int size = frameSize();
    end = std::max(end, first + 1);
    // Frames half a frame apart cover the column whole (the window's halves overlap to a
    // constant); a wider column gets at most framesPerColumn_ of them, spread evenly.
    const qint64 length = end - first;
    const int count = int(std::clamp<qint64>((2 * length + size - 1) / size, 1, framesPerColumn_));
    std::fill(power_.begin(), power_.end(), 0.0f);
    bool middleRead = false;
    for (int i = 0; i < count; ++i) {
        readFrame(first + (2 * i + 1) * length / (2 * count));
        spectrum_.addPower(frame_.data(), power_.data());
        // With an odd count one frame sits on the middle: its pitch needs no second read.
        if (pitchWanted_ && 2 * i + 1 == count) {
            pitch = pitch_.pitch(frame_.data());
            middleRead = true;
        }
    }
    for (int bin = 0; bin < binCount(); ++bin)
        decibels[bin] = ShortTimeSpectrum::decibels(power_[size_t(bin)] / float(count));
    if (!pitchWanted_)
        pitch = 0;
    else if (!middleRead)
        pitch = pitchAt(first + length / 2);
}

float SpectrumColumns::pitchAt(qint64 frame)
{
    readFrame(frame);
    return pitch_.pitch(frame_.data());
}

} // namespace murmelo
