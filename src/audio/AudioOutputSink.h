#pragma once

#include "audio/AudioOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QElapsedTimer>
#include <QIODevice>
#include <QTimer>
#include <memory>
#include <vector>

class QAudioSink;

namespace murmelo {

// Hands the sink whatever it asks for, rendered on demand by the source.
class AudioSinkFeed : public QIODevice {
    Q_OBJECT
public:
    AudioSinkFeed(AudioFrameSource *source, const QAudioFormat &format);
    bool isSequential() const override { return true; }
    bool sourceEnded() const { return ended_; }

    // Silence handed over after the source's end. The sound server's clock can run some tens of
    // milliseconds ahead of what is heard (seen after long runs with silences in them); waiting
    // for this silence too lets the audio's last frames be heard before the sink stops.
    static constexpr int kTailPaddingMilliseconds = 150;
    // Frames of the source handed over, and those with the tail's silence.
    qint64 framesRead() const { return framesRead_; }
    qint64 framesHanded() const { return framesRead_ + paddingHanded_; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    AudioFrameSource *source_;
    QAudioFormat format_;
    std::vector<float> scratch_;
    bool ended_ = false;
    qint64 padding_ = -1; // frames of the tail's silence still to hand over; -1 before the end
    qint64 framesRead_ = 0;
    qint64 paddingHanded_ = 0;
};

// Plays through a QAudioSink in pull mode. What the listener has not heard yet is what the sink
// took minus what the device has played by its own clock. (Qt 6.4's PulseAudio sink only updates
// bytesFree() when it feeds, so buffer size minus bytes free sits still for ~140 ms at a time and
// the position would stagger by that much.)
class SinkAudioOutput : public AudioOutput {
public:
    explicit SinkAudioOutput(QAudioDevice device);
    ~SinkAudioOutput() override;

    // How much audio the sink holds ahead of the listener. Generous, so that a busy machine
    // rendering at twice the speed never lets it run dry.
    static constexpr int kBufferMilliseconds = 250;

    bool start(int sampleRate, int channels, AudioFrameSource *source) override;
    void stop() override;
    qint64 framesPending() const override;

    // Microseconds of audio the device has played since start(), as the sink counts them.
    qint64 processedMicroseconds() const;

private:
    void watchForDrain();
    qint64 framesUnplayed() const;

    QAudioDevice device_;
    std::unique_ptr<QAudioSink> sink_;
    std::unique_ptr<AudioSinkFeed> feed_;
    QTimer drainWatch_;
    int sampleRate_ = 0;
    // The unheard tail after the source ended, and when it last shrank.
    static constexpr int kTailStallMilliseconds = 500;
    qint64 tailPending_ = -1;
    QElapsedTimer tailProgress_;
};

} // namespace murmelo
