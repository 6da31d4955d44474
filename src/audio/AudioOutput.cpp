#include "audio/AudioOutput.h"

#include "audio/AudioOutputNull.h"
#include "audio/AudioOutputSink.h"
#include "platform/SystemLog.h"

#include <QMediaDevices>
#include <cstdio>

namespace murmelo {

std::unique_ptr<AudioOutput> createDefaultAudioOutput()
{
    if (!QMediaDevices::audioOutputs().isEmpty())
        return std::make_unique<SinkAudioOutput>(QMediaDevices::defaultAudioOutput());
    static bool told = false;
    if (!told) {
        told = true;
        const QString line = QStringLiteral("No sound output device: playback is silent");
        systemLog(line);
        std::fprintf(stderr, "murmelo: %s\n", qPrintable(line));
    }
    auto output = std::make_unique<NullAudioOutput>();
    output->followWallClock();
    return output;
}

} // namespace murmelo
