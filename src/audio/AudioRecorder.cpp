#include "audio/AudioRecorder.h"

#include "audio/OutputPath.h"

namespace murmelo {

std::unique_ptr<AudioRecorder> AudioRecorder::create(const QString &path, AudioInputError &error,
                                                     std::unique_ptr<AudioInput> input)
{
    if (!input)
        input = AudioInput::createDefault();
    error = input->open();
    if (!error.ok())
        return nullptr;
    // The name must be new: the microphone's audio never goes into a file someone placed there.
    QString reason;
    if (!createExclusively(path, reason)) {
        error = {AudioInputError::Kind::FileFailed, reason};
        return nullptr;
    }
    std::unique_ptr<AudioRecorder> recorder(new AudioRecorder(path, std::move(input)));
    if (!recorder->writer_.open(path)) {
        error = {AudioInputError::Kind::FileFailed, recorder->writer_.errorString()};
        recorder->writer_.discard();
        return nullptr;
    }
    return recorder;
}

AudioRecorder::AudioRecorder(const QString &path, std::unique_ptr<AudioInput> input)
    : path_(path), input_(std::move(input)), writer_(channels, sampleRate)
{
    connect(input_.get(), &AudioInput::audioAvailable, this, &AudioRecorder::take);
    connect(input_.get(), &AudioInput::interruptionBegan, this, &AudioRecorder::inputInterrupted);
    connect(input_.get(), &AudioInput::interruptionEnded, this, &AudioRecorder::inputBack);
}

AudioRecorder::~AudioRecorder()
{
    input_->disconnect(this);
    input_->close();
    writer_.close();
}

bool AudioRecorder::record()
{
    if (ended_) {
        lastError_ = {AudioInputError::Kind::FileFailed,
                      QStringLiteral("The recording has already ended")};
        return false;
    }
    if (recording_)
        return true;
    if (!input_->start(lastError_))
        return false;
    lastError_ = {};
    interrupted_ = false;
    recording_ = true;
    return true;
}

void AudioRecorder::pause()
{
    if (!recording_)
        return;
    input_->pause(); // hands over what was captured up to now
    recording_ = false;
    if (!ended_ && !writer_.flush())
        encodeFailed();
}

void AudioRecorder::stop()
{
    if (ended_)
        return;
    input_->pause();
    input_->close();
    recording_ = false;
    ended_ = true;
    const bool written = writer_.close();
    emit audioRecorderDidFinishRecording(this, written);
}

double AudioRecorder::currentTime() const
{
    return double(writer_.frames()) / sampleRate;
}

void AudioRecorder::take(const QByteArray &pcm)
{
    if (!recording_ || ended_)
        return;
    if (!writer_.append(pcm.constData(), pcm.size())) {
        encodeFailed();
        return;
    }
    if (writer_.frames() - framesAtLastPatch_ >= qint64(headerPatchSeconds * sampleRate)) {
        framesAtLastPatch_ = writer_.frames();
        if (!writer_.flush())
            encodeFailed();
    }
}

void AudioRecorder::encodeFailed()
{
    const QString why = writer_.errorString();
    recording_ = false;
    ended_ = true;
    input_->close();
    writer_.close();
    emit audioRecorderEncodeErrorDidOccur(this, why);
}

void AudioRecorder::inputInterrupted()
{
    if (!recording_)
        return;
    recording_ = false;
    interrupted_ = true;
    // What was captured before the interruption is on disk and counted in the header.
    if (!writer_.flush()) {
        encodeFailed();
        return;
    }
    emit audioRecorderBeginInterruption(this);
}

void AudioRecorder::inputBack(bool shouldResume)
{
    if (!interrupted_ || ended_)
        return;
    emit audioRecorderEndInterruption(this, shouldResume ? InterruptionOptionShouldResume : 0);
}

} // namespace murmelo
