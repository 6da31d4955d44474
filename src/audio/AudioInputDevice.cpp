#include "audio/AudioInputDevice.h"

#include <QAudioSource>
#include <QMediaDevices>

namespace murmelo {

namespace {
QAudioFormat captureFormat()
{
    QAudioFormat format;
    format.setSampleRate(AudioInput::sampleRate);
    format.setChannelCount(AudioInput::channels);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

QString describe(QAudio::Error error)
{
    switch (error) {
    case QAudio::OpenError:
        return QStringLiteral("The audio input device could not be opened");
    case QAudio::IOError:
        return QStringLiteral("The audio input device could not be read");
    case QAudio::UnderrunError:
        return QStringLiteral("The audio input device delivered no data");
    case QAudio::FatalError:
        return QStringLiteral("The audio input device is no longer available");
    case QAudio::NoError:
        break;
    }
    return {};
}

bool listed(const QAudioDevice &device)
{
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    return std::any_of(inputs.begin(), inputs.end(),
                       [&](const QAudioDevice &d) { return d.id() == device.id(); });
}
} // namespace

AudioInputDevice::AudioInputDevice(QObject *parent) : AudioInput(parent)
{
    poll_.setInterval(pollMilliseconds);
    connect(&poll_, &QTimer::timeout, this, &AudioInputDevice::pollDevices);
}

AudioInputDevice::~AudioInputDevice()
{
    dropSource();
}

AudioInputError AudioInputDevice::open()
{
    AudioInputError error = openSource();
    if (error.ok()) {
        interrupted_ = false;
        poll_.start();
    }
    return error;
}

AudioInputError AudioInputDevice::openSource()
{
    dropSource();
    device_ = QMediaDevices::defaultAudioInput();
    if (device_.isNull())
        return {AudioInputError::Kind::NoDevice, QStringLiteral("There is no audio input device")};
    if (!device_.isFormatSupported(captureFormat()))
        return {
            AudioInputError::Kind::Refused,
            QStringLiteral("%1 cannot record 16-bit mono at 44.1 kHz").arg(device_.description())};
    source_ = std::make_unique<QAudioSource>(device_, captureFormat());
    connect(source_.get(), &QAudioSource::stateChanged, this,
            &AudioInputDevice::sourceStateChanged);
    // Opening at once, corked, is what tells a refusing device from a willing one before the
    // user starts talking.
    stream_ = source_->start();
    if (!stream_ || source_->error() != QAudio::NoError) {
        const QString why = describe(source_->error());
        dropSource();
        return {AudioInputError::Kind::Refused, why.isEmpty() ? describe(QAudio::OpenError) : why};
    }
    connect(stream_, &QIODevice::readyRead, this, &AudioInputDevice::readAvailable);
    source_->suspend();
    return {};
}

void AudioInputDevice::dropSource()
{
    capturing_ = false;
    if (source_) {
        source_->disconnect(this);
        if (stream_)
            stream_->disconnect(this);
        source_->stop();
    }
    stream_ = nullptr;
    source_.reset();
}

bool AudioInputDevice::start(AudioInputError &error)
{
    if (interrupted_) {
        error = {AudioInputError::Kind::NoDevice, describe(QAudio::FatalError)};
        return false;
    }
    if (!source_) {
        error = openSource();
        if (!error.ok())
            return false;
    }
    capturing_ = true;
    source_->resume();
    if (source_->error() != QAudio::NoError) {
        error = {AudioInputError::Kind::Refused, describe(source_->error())};
        dropSource();
        return false;
    }
    return true;
}

void AudioInputDevice::pause()
{
    if (!capturing_)
        return;
    readAvailable();
    capturing_ = false;
    if (source_)
        source_->suspend();
}

void AudioInputDevice::close()
{
    pause();
    poll_.stop();
    dropSource();
}

void AudioInputDevice::readAvailable()
{
    if (!stream_)
        return;
    const QByteArray pcm = stream_->readAll();
    // Sound arriving while paused (before the cork takes effect) was not asked for.
    if (capturing_ && !pcm.isEmpty())
        emit audioAvailable(pcm);
}

void AudioInputDevice::sourceStateChanged()
{
    if (!source_ || interrupted_)
        return;
    const bool suspendedBehindOurBack = capturing_ && source_->state() == QAudio::SuspendedState;
    if (source_->error() == QAudio::FatalError || source_->error() == QAudio::OpenError ||
        suspendedBehindOurBack)
        // Not from inside the source's own signal: the interruption destroys the source.
        QMetaObject::invokeMethod(this, &AudioInputDevice::beginInterruption, Qt::QueuedConnection);
}

void AudioInputDevice::pollDevices()
{
    if (interrupted_) {
        // Qt 6.4 goes on listing the devices of a PulseAudio server that has gone away, so the
        // list cannot tell us the server is back: only a source that really opens can.
        if (openSource().ok()) {
            interrupted_ = false;
            emit interruptionEnded(true);
        }
        return;
    }
    if (source_ && !listed(device_))
        beginInterruption();
}

void AudioInputDevice::beginInterruption()
{
    if (interrupted_ || !source_)
        return;
    const bool wasCapturing = capturing_;
    if (wasCapturing)
        readAvailable();
    dropSource();
    interrupted_ = true;
    emit interruptionBegan();
}

} // namespace murmelo
