#include "publish/Mp3Encoder.h"

#include "publish/WavStretch.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <memory>

namespace murmelo {

namespace {

// The muxer writes into a growing byte array it can seek in (FFmpeg 5 declares the write
// callback with a non-const buffer; it is only read), which it needs to fill in the
// Xing/LAME header (frame count, delay, padding) once the stream is done.
struct MemoryOutput {
    QByteArray bytes;
    qint64 position = 0;

    static int write(void *opaque, uint8_t *data, int size)
    {
        auto *out = static_cast<MemoryOutput *>(opaque);
        const qint64 end = out->position + size;
        if (end > out->bytes.size())
            out->bytes.resize(end);
        std::memcpy(out->bytes.data() + out->position, data, size_t(size));
        out->position = end;
        return size;
    }

    static int64_t seek(void *opaque, int64_t offset, int whence)
    {
        auto *out = static_cast<MemoryOutput *>(opaque);
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return out->bytes.size();
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += out->position;
            break;
        case SEEK_END:
            offset += out->bytes.size();
            break;
        default:
            return AVERROR(EINVAL);
        }
        if (offset < 0)
            return AVERROR(EINVAL);
        out->position = offset;
        return offset;
    }
};

struct FormatDeleter {
    void operator()(AVFormatContext *context) const
    {
        if (context->pb) {
            av_freep(&context->pb->buffer);
            avio_context_free(&context->pb);
        }
        avformat_free_context(context);
    }
};
struct CodecDeleter {
    void operator()(AVCodecContext *context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};
struct FifoDeleter {
    void operator()(AVAudioFifo *fifo) const { av_audio_fifo_free(fifo); }
};
struct ResamplerDeleter {
    void operator()(SwrContext *context) const { swr_free(&context); }
};

QString avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

// Rates below 16 kHz would make MPEG 2.5 files, an extension not every player takes: they are
// resampled to 16 kHz instead.
int lameRate(int rate)
{
    static const int rates[] = {16000, 22050, 24000, 32000, 44100, 48000};
    if (std::find(std::begin(rates), std::end(rates), rate) != std::end(rates))
        return rate;
    return rate < 16000 ? 16000 : rate > 44100 ? 48000 : 44100;
}

class Encoding {
public:
    Encoding(const std::atomic<bool> &cancelled, QString &error)
        : cancelled_(cancelled), error_(error)
    {
    }

    bool setUp(const WavLayout &layout)
    {
        const AVCodec *codec = avcodec_find_encoder_by_name("libmp3lame");
        if (!codec)
            return fail(QStringLiteral("this FFmpeg has no MP3 encoder (libmp3lame)"));
        AVFormatContext *format = nullptr;
        if (avformat_alloc_output_context2(&format, nullptr, "mp3", nullptr) < 0 || !format)
            return fail(QStringLiteral("this FFmpeg cannot write MP3 files"));
        format_.reset(format);
        const int bufferSize = 64 * 1024;
        auto *buffer = static_cast<unsigned char *>(av_malloc(bufferSize));
        format->pb = avio_alloc_context(buffer, bufferSize, 1, &output_, nullptr,
                                        &MemoryOutput::write, &MemoryOutput::seek);
        if (!format->pb) {
            av_free(buffer);
            return fail(QStringLiteral("out of memory"));
        }
        format->flags |= AVFMT_FLAG_CUSTOM_IO;

        codec_.reset(avcodec_alloc_context3(codec));
        AVCodecContext *c = codec_.get();
        const bool mono = layout.channels == 1;
        av_channel_layout_default(&c->ch_layout, mono ? 1 : 2);
        c->sample_rate = lameRate(layout.sampleRate);
        c->sample_fmt = AV_SAMPLE_FMT_FLTP;
        c->bit_rate = mono ? Mp3Encoder::monoBitRate : Mp3Encoder::stereoBitRate;
        c->time_base = {1, c->sample_rate};
        if (int code = avcodec_open2(c, codec, nullptr); code < 0)
            return fail(QStringLiteral("the MP3 encoder cannot start: %1").arg(avError(code)));

        AVStream *stream = avformat_new_stream(format, nullptr);
        if (!stream || avcodec_parameters_from_context(stream->codecpar, c) < 0)
            return fail(QStringLiteral("out of memory"));
        stream->time_base = c->time_base;
        stream_ = stream;

        AVChannelLayout in;
        av_channel_layout_default(&in, layout.channels);
        SwrContext *resampler = nullptr;
        const int code =
            swr_alloc_set_opts2(&resampler, &c->ch_layout, AV_SAMPLE_FMT_FLTP, c->sample_rate, &in,
                                AV_SAMPLE_FMT_FLT, layout.sampleRate, 0, nullptr);
        av_channel_layout_uninit(&in);
        resampler_.reset(resampler);
        if (code < 0 || swr_init(resampler) < 0)
            return fail(QStringLiteral("the audio cannot be converted for MP3"));
        inputChannels_ = layout.channels;

        // No ID3 tags: the page says what the clip is, and the bytes stay the audio's own.
        AVDictionary *options = nullptr;
        av_dict_set(&options, "id3v2_version", "0", 0);
        const int header = avformat_write_header(format, &options);
        av_dict_free(&options);
        if (header < 0)
            return fail(
                QStringLiteral("the MP3 header cannot be written: %1").arg(avError(header)));

        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        frame_->nb_samples = c->frame_size;
        frame_->format = c->sample_fmt;
        frame_->sample_rate = c->sample_rate;
        av_channel_layout_copy(&frame_->ch_layout, &c->ch_layout);
        fifo_.reset(av_audio_fifo_alloc(c->sample_fmt, c->ch_layout.nb_channels, c->frame_size));
        if (av_frame_get_buffer(frame_.get(), 0) < 0 || !fifo_)
            return fail(QStringLiteral("out of memory"));
        return true;
    }

    // Feeds interleaved samples (none at the end, to drain the resampler).
    bool feed(const std::vector<float> &samples)
    {
        const int frames = int(samples.size() / size_t(inputChannels_));
        const uint8_t *in[] = {reinterpret_cast<const uint8_t *>(samples.data())};
        const int room = swr_get_out_samples(resampler_.get(), frames);
        if (room < 0)
            return fail(QStringLiteral("the audio cannot be converted for MP3"));
        const int channels = codec_->ch_layout.nb_channels;
        for (int c = 0; c < channels; ++c)
            planes_[c].resize(size_t(std::max(room, 1)));
        uint8_t *out[] = {reinterpret_cast<uint8_t *>(planes_[0].data()),
                          reinterpret_cast<uint8_t *>(planes_[1].data())};
        const int got = swr_convert(resampler_.get(), out, room, frames > 0 ? in : nullptr, frames);
        if (got < 0 || av_audio_fifo_write(fifo_.get(), reinterpret_cast<void **>(out), got) < got)
            return fail(QStringLiteral("the audio cannot be converted for MP3"));
        return encodeBuffered(frames == 0);
    }

    std::optional<QByteArray> finish()
    {
        if (!encodeFrame(nullptr))
            return std::nullopt;
        if (int code = av_write_trailer(format_.get()); code < 0) {
            fail(QStringLiteral("the MP3 file cannot be finished: %1").arg(avError(code)));
            return std::nullopt;
        }
        avio_flush(format_->pb);
        return output_.bytes;
    }

    bool fail(const QString &reason)
    {
        if (!cancelled_)
            error_ = reason;
        return false;
    }

private:
    // Hands the encoder whole frames; only the very last may be short (the encoder pads it and
    // records how much it padded).
    bool encodeBuffered(bool last)
    {
        const int frameSize = codec_->frame_size;
        while (av_audio_fifo_size(fifo_.get()) >= frameSize ||
               (last && av_audio_fifo_size(fifo_.get()) > 0)) {
            if (av_frame_make_writable(frame_.get()) < 0)
                return fail(QStringLiteral("out of memory"));
            const int n = std::min(frameSize, av_audio_fifo_size(fifo_.get()));
            if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void **>(frame_->data), n) < n)
                return fail(QStringLiteral("the audio cannot be converted for MP3"));
            frame_->nb_samples = n;
            frame_->pts = samplesSent_;
            samplesSent_ += n;
            if (!encodeFrame(frame_.get()))
                return false;
            frame_->nb_samples = frameSize;
        }
        return true;
    }

    bool encodeFrame(AVFrame *frame)
    {
        if (cancelled_)
            return fail(QString());
        if (int code = avcodec_send_frame(codec_.get(), frame); code < 0)
            return fail(QStringLiteral("the MP3 encoder failed: %1").arg(avError(code)));
        while (true) {
            const int code = avcodec_receive_packet(codec_.get(), packet_.get());
            if (code == AVERROR(EAGAIN) || code == AVERROR_EOF)
                return true;
            if (code < 0)
                return fail(QStringLiteral("the MP3 encoder failed: %1").arg(avError(code)));
            av_packet_rescale_ts(packet_.get(), codec_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            const int written = av_write_frame(format_.get(), packet_.get());
            av_packet_unref(packet_.get());
            if (written < 0)
                return fail(
                    QStringLiteral("the MP3 file cannot be written: %1").arg(avError(written)));
        }
    }

    const std::atomic<bool> &cancelled_;
    QString &error_;
    MemoryOutput output_;
    std::unique_ptr<AVFormatContext, FormatDeleter> format_;
    std::unique_ptr<AVCodecContext, CodecDeleter> codec_;
    std::unique_ptr<SwrContext, ResamplerDeleter> resampler_;
    std::unique_ptr<AVAudioFifo, FifoDeleter> fifo_;
    std::vector<float> planes_[2];
    std::unique_ptr<AVFrame, FrameDeleter> frame_;
    std::unique_ptr<AVPacket, PacketDeleter> packet_;
    AVStream *stream_ = nullptr;
    int inputChannels_ = 1;
    qint64 samplesSent_ = 0;
};

} // namespace

std::optional<QByteArray> Mp3Encoder::encode(const QString &wavPath, FrameRange range,
                                             const std::atomic<bool> &cancelled,
                                             const Progress &progress, QString &error)
{
    error.clear();
    WavStretch stretch;
    if (!stretch.open(wavPath, range, error))
        return std::nullopt;
    Encoding encoding(cancelled, error);
    if (!encoding.setUp(stretch.layout()))
        return std::nullopt;
    // About a tenth of a second at a time: progress moves smoothly and a cancel is quick.
    const qint64 block = std::max(1, stretch.layout().sampleRate / 10);
    std::vector<float> samples;
    while (true) {
        if (!stretch.read(block, samples, error))
            return std::nullopt;
        if (!encoding.feed(samples))
            return std::nullopt;
        if (samples.empty())
            break;
        if (progress)
            progress(qint64(samples.size()) / stretch.layout().channels);
    }
    return encoding.finish();
}

} // namespace murmelo
