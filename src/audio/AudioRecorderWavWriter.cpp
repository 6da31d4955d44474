#include "audio/AudioRecorderWavWriter.h"

#include "audio/WavFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace murmelo {

namespace {
constexpr qint64 bufferLimit = 256 * 1024;
} // namespace

AudioRecorderWavWriter::AudioRecorderWavWriter(int channels, int sampleRate)
    : fmtChunk_(WavFile::pcmFmtChunk(channels, sampleRate, 16)), bytesPerFrame_(channels * 2),
      sampleRate_(sampleRate)
{
}

AudioRecorderWavWriter::~AudioRecorderWavWriter()
{
    close();
}

bool AudioRecorderWavWriter::open(const QString &path)
{
    close();
    error_.clear();
    written_ = 0;
    buffer_.clear();
    file_.setFileName(path);
    // Never written through a symbolic link at the name; a new file is the user's alone.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    // Unbuffered: our own buffer decides when bytes go out, so a full disk shows up at flush().
    if (!file_.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                    QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(file_.errorString());
    }
    if (!WavFile::writeHeader(file_, fmtChunk_, 0)) {
        fail(file_.errorString());
        file_.close();
        return false;
    }
    return true;
}

bool AudioRecorderWavWriter::append(const char *pcm, qint64 bytes)
{
    if (!file_.isOpen())
        return fail(QStringLiteral("the WAV file is not open"));
    if (written_ + buffer_.size() + bytes > WavFile::maximumDataBytes)
        return fail(QStringLiteral("the audio is too long for a WAV file"));
    buffer_.append(pcm, bytes);
    return buffer_.size() < bufferLimit || writeBuffer();
}

bool AudioRecorderWavWriter::writeBuffer()
{
    if (buffer_.isEmpty())
        return true;
    if (file_.write(buffer_) != buffer_.size())
        return fail(file_.errorString());
    written_ += buffer_.size();
    // Emptied, not freed: giving the memory back and taking it again for every buffer costs the
    // kernel a page fault per page.
    buffer_.resize(0);
    return true;
}

bool AudioRecorderWavWriter::flush()
{
    if (!file_.isOpen())
        return fail(QStringLiteral("the WAV file is not open"));
    if (!writeBuffer())
        return false;
    const qint64 end = file_.pos();
    if (!WavFile::writeHeader(file_, fmtChunk_, written_) || !file_.seek(end))
        return fail(file_.errorString());
    return true;
}

bool AudioRecorderWavWriter::close()
{
    if (!file_.isOpen())
        return error_.isEmpty();
    const bool ok = flush();
    file_.close();
    return ok;
}

void AudioRecorderWavWriter::discard()
{
    buffer_.clear();
    file_.close();
    if (!file_.fileName().isEmpty())
        QFile::remove(file_.fileName());
}

bool AudioRecorderWavWriter::fail(const QString &why)
{
    error_ = why;
    return false;
}

} // namespace murmelo
