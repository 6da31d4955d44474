#include "audio/AudioInputFile.h"

#include <cstring>

namespace murmelo {

namespace {
// Small enough that the recorder's clock advances smoothly, large enough to be cheap.
constexpr int tickMilliseconds = 20;
} // namespace

AudioInputFile::AudioInputFile(const QString &path, QObject *parent)
    : AudioInput(parent), path_(path)
{
    tick_.setInterval(tickMilliseconds);
    tick_.setTimerType(Qt::PreciseTimer);
    connect(&tick_, &QTimer::timeout, this, &AudioInputFile::deliverDue);
}

AudioInputError AudioInputFile::open()
{
    const MediaImportError error = decoder_.open(path_, channels, sampleRate);
    if (!error.ok())
        return {AudioInputError::Kind::SourceUnreadable,
                QStringLiteral("%1: %2").arg(path_, error.description)};
    opened_ = true;
    ended_ = false;
    pending_.clear();
    pendingOffset_ = 0;
    delivered_ = 0;
    runBeforeMs_ = 0;
    return {};
}

bool AudioInputFile::start(AudioInputError &error)
{
    if (!opened_) {
        error = {AudioInputError::Kind::Refused, QStringLiteral("The input file is not open")};
        return false;
    }
    if (!tick_.isActive()) {
        clock_.start();
        tick_.start();
    }
    return true;
}

void AudioInputFile::pause()
{
    if (!tick_.isActive())
        return;
    deliverDue();
    runBeforeMs_ += clock_.elapsed();
    tick_.stop();
}

void AudioInputFile::close()
{
    pause();
    opened_ = false;
}

void AudioInputFile::deliverDue()
{
    const qint64 due = (runBeforeMs_ + clock_.elapsed()) * sampleRate / 1000 - delivered_;
    if (due <= 0)
        return;
    QByteArray pcm;
    fill(due, pcm);
    delivered_ += due;
    emit audioAvailable(pcm);
}

void AudioInputFile::fill(qint64 frames, QByteArray &out)
{
    out.resize(frames * bytesPerFrame);
    char *at = out.data();
    qint64 left = frames;
    while (left > 0) {
        if (pendingOffset_ == pending_.size()) {
            pendingOffset_ = 0;
            pending_.clear();
            bool finished = false;
            // A file that fails part-way goes quiet, like a microphone whose speaker stopped.
            if (!ended_ && (!decoder_.read(pending_, finished).ok() || finished))
                ended_ = true;
            if (pending_.empty()) {
                if (!ended_)
                    continue;
                std::memset(at, 0, size_t(left) * bytesPerFrame);
                return;
            }
        }
        const qint64 take = std::min<qint64>(left, qint64(pending_.size() - pendingOffset_));
        std::memcpy(at, pending_.data() + pendingOffset_, size_t(take) * bytesPerFrame);
        pendingOffset_ += size_t(take);
        at += take * bytesPerFrame;
        left -= take;
    }
}

} // namespace murmelo
