#include "audio/Reversal.h"

#include "audio/WaveformImage.h"

namespace murmelo {

QImage Reversal::pictureOf(const WaveformEnvelope &envelope)
{
    return audioImageGraph(envelope.values(), envelope.normalizeMax(), envelope.bucketCount(),
                           envelope.channelCount(), kWaveformPictureSize, kWaveformPictureBarWidth);
}

} // namespace murmelo
