#include "audio/AudioInput.h"

#include "audio/AudioInputDevice.h"
#include "audio/AudioInputFile.h"
#include "platform/Defaults.h"

namespace murmelo {

std::unique_ptr<AudioInput> AudioInput::createDefault()
{
    QString file = qEnvironmentVariable("MURMELO_AUDIO_INPUT_FILE");
    if (file.isEmpty())
        file = Defaults::standard().stringForKey(QStringLiteral("audioInputFile"));
    if (!file.isEmpty())
        return std::make_unique<AudioInputFile>(file);
    return std::make_unique<AudioInputDevice>();
}

} // namespace murmelo
