#pragma once

#include "audio/AudioInput.h"

#include <QAudioDevice>
#include <QIODevice>
#include <QPointer>
#include <QTimer>
#include <memory>

class QAudioSource;

namespace murmelo {

// The default microphone through QAudioSource (PulseAudio or PipeWire). Qt 6.4 does not signal
// device changes on Linux, so the device list is polled; a fatal stream error, the device
// leaving the list or a suspension we did not ask for is an interruption, and the interruption
// ends when the default input opens again.
class AudioInputDevice : public AudioInput {
    Q_OBJECT
public:
    explicit AudioInputDevice(QObject *parent = nullptr);
    ~AudioInputDevice() override;

    AudioInputError open() override;
    bool start(AudioInputError &error) override;
    void pause() override;
    void close() override;

    // How often the device list is looked at.
    static constexpr int pollMilliseconds = 1000;

private:
    AudioInputError openSource();
    void dropSource();
    void readAvailable();
    void sourceStateChanged();
    void pollDevices();
    void beginInterruption();

    QAudioDevice device_;
    std::unique_ptr<QAudioSource> source_;
    // Owned by source_, which deletes it when the sound server goes away, before telling us.
    QPointer<QIODevice> stream_;
    QTimer poll_;
    bool capturing_ = false;
    bool interrupted_ = false;
};

} // namespace murmelo
