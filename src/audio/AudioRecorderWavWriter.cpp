#include "audio/AudioRecorderWavWriter.h"

#include "audio/WavFile.h"

#include <QtEndian>

namespace murmelo {

namespace {
constexpr qint64 bufferLimit = 256 * 1024;

QByteArray pcm16FmtChunk(int channels, int sampleRate)
{
    QByteArray fmt(16, '\0');
    char *p = fmt.data();
    const int blockAlign = channels * 2;
    qToLittleEndian<quint16>(1, p); // linear PCM
    qToLittleEndian<quint16>(quint16(channels), p + 2);
    qToLittleEndian<quint32>(quint32(sampleRate), p + 4);
    qToLittleEndian<quint32>(quint32(sampleRate * blockAlign), p + 8);
    qToLittleEndian<quint16>(quint16(blockAlign), p + 12);
    qToLittleEndian<quint16>(16, p + 14);
    return fmt;
}
} // namespace

AudioRecorderWavWriter::AudioRecorderWavWriter(int channels, int sampleRate)
    : fmtChunk_(pcm16FmtChunk(channels, sampleRate)), bytesPerFrame_(channels * 2),
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
    // Unbuffered: our own buffer decides when bytes go out, so a full disk shows up at flush().
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return fail(file_.errorString());
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
    buffer_.clear();
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
