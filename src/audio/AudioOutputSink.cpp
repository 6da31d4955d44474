#include "audio/AudioOutputSink.h"

#include <QAudioSink>
#include <algorithm>
#include <cstring>

namespace murmelo {

AudioSinkFeed::AudioSinkFeed(AudioFrameSource *source, const QAudioFormat &format)
    : source_(source), format_(format)
{
}

qint64 AudioSinkFeed::readData(char *data, qint64 maxSize)
{
    const int channels = format_.channelCount();
    const qint64 frames = maxSize / format_.bytesPerFrame();
    if (ended_ || frames <= 0)
        return 0;
    qint64 got = 0;
    qint64 silent = 0;
    if (padding_ < 0) {
        if (format_.sampleFormat() == QAudioFormat::Float) {
            got = source_->renderFrames(reinterpret_cast<float *>(data), frames);
        } else {
            scratch_.resize(size_t(frames * channels));
            got = source_->renderFrames(scratch_.data(), frames);
            auto *out = reinterpret_cast<qint16 *>(data);
            for (qint64 i = 0; i < got * channels; ++i)
                out[i] = qint16(std::clamp(scratch_[i] * 32768.0f, -32768.0f, 32767.0f));
        }
        if (got < frames)
            padding_ = qint64(format_.sampleRate()) * kTailPaddingMilliseconds / 1000;
    }
    if (padding_ >= 0) {
        silent = std::min(padding_, frames - got);
        std::memset(data + got * format_.bytesPerFrame(), 0,
                    size_t(silent * format_.bytesPerFrame()));
        padding_ -= silent;
        paddingHanded_ += silent;
        ended_ = got + silent < frames;
    }
    framesRead_ += got;
    return (got + silent) * format_.bytesPerFrame();
}

SinkAudioOutput::SinkAudioOutput(QAudioDevice device) : device_(std::move(device))
{
    drainWatch_.setInterval(10);
    QObject::connect(&drainWatch_, &QTimer::timeout, [this] { watchForDrain(); });
}

SinkAudioOutput::~SinkAudioOutput()
{
    stop();
}

bool SinkAudioOutput::start(int sampleRate, int channels, AudioFrameSource *source)
{
    stop();
    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(channels);
    format.setSampleFormat(QAudioFormat::Float);
    if (!device_.isFormatSupported(format))
        format.setSampleFormat(QAudioFormat::Int16);
    if (!device_.isFormatSupported(format)) {
        reportFailure(QStringLiteral("the sound device cannot play %1 Hz audio with %2 channels")
                          .arg(sampleRate)
                          .arg(channels));
        return false;
    }
    sampleRate_ = sampleRate;
    tailPending_ = -1;
    feed_ = std::make_unique<AudioSinkFeed>(source, format);
    feed_->open(QIODevice::ReadOnly);
    sink_ = std::make_unique<QAudioSink>(device_, format);
    sink_->setBufferSize(int(format.bytesForDuration(kBufferMilliseconds * 1000)));
    QObject::connect(sink_.get(), &QAudioSink::stateChanged, [this](QAudio::State state) {
        if (state == QAudio::StoppedState && sink_ && sink_->error() != QAudio::NoError) {
            const QString reason = sink_->error() == QAudio::FatalError
                                       ? QStringLiteral("the sound server went away")
                                       : QStringLiteral("the sound device stopped playing");
            stop();
            reportFailure(reason);
        }
    });
    sink_->start(feed_.get());
    if (sink_->error() != QAudio::NoError || sink_->state() == QAudio::StoppedState) {
        stop();
        reportFailure(QStringLiteral("the sound device could not be opened"));
        return false;
    }
    drainWatch_.start();
    return true;
}

void SinkAudioOutput::stop()
{
    drainWatch_.stop();
    if (sink_) {
        sink_->disconnect();
        sink_->stop();
    }
    sink_.reset();
    feed_.reset();
}

qint64 SinkAudioOutput::framesPending() const
{
    if (!sink_)
        return 0;
    const qint64 handed = feed_->framesRead();
    const qint64 played = sink_->processedUSecs() * sampleRate_ / 1000000;
    return std::clamp<qint64>(handed - played, 0, handed);
}

qint64 SinkAudioOutput::framesUnplayed() const
{
    if (!sink_)
        return 0;
    const qint64 handed = feed_->framesHanded();
    const qint64 played = sink_->processedUSecs() * sampleRate_ / 1000000;
    return std::clamp<qint64>(handed - played, 0, handed);
}

qint64 SinkAudioOutput::processedMicroseconds() const
{
    return sink_ ? sink_->processedUSecs() : 0;
}

void SinkAudioOutput::watchForDrain()
{
    if (!feed_ || !feed_->sourceEnded())
        return;
    // The sink turns idle as soon as the source runs dry, while the server still plays the last
    // tenth of a second or so it holds; stopping then would cut that off. Only a clock that no
    // longer moves ends the wait early.
    const qint64 pending = framesUnplayed();
    if (pending > 0) {
        if (pending < tailPending_ || tailPending_ < 0) {
            tailPending_ = pending;
            tailProgress_.start();
            return;
        }
        if (tailProgress_.elapsed() < kTailStallMilliseconds)
            return;
    }
    stop();
    if (drained)
        drained();
}

} // namespace murmelo
