#include "audio/MediaImportDecoder.h"

#include "audio/FfmpegLibraries.h"
#include "audio/OutputPath.h"
#include "audio/SampleConversion.h"
#include "audio/WavFile.h"
#include "platform/SystemLog.h"

#include <QFile>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace murmelo {

namespace {

QString avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

MediaImportError failure(MediaImportError::Kind kind, int code)
{
    return MediaImportError::failure(kind, avError(code));
}

using Kind = MediaImportError::Kind;

// A song whose every packet is damaged is not a song; isolated damaged packets are skipped,
// as players do, so one bad frame does not cost the user the whole import.
constexpr int maximumConsecutiveDecodeErrors = 64;

// Below this rate a song is not audio but a header lying about it: one second at 1 Hz would
// become 44100 frames, and a small file gigabytes.
constexpr int minimumSampleRate = 1000;
// Demuxers searching garbage for a frame (zeros behind an mp3 tag) keep everything they read
// in one growing packet; no real song needs this much input before its next packet.
constexpr qint64 maximumBytesWithoutPacket = 16 * 1024 * 1024;
// Output is made in slices of at most this many frames, however much one input frame expands.
constexpr int maximumSliceFrames = 32768;
// Decoded frames waiting for conversion: enough that neither thread waits on the other's
// hiccups, few enough that memory stays small (a frame is a few thousand samples). A thread that
// has to wait sleeps until a batch is ready, not for every frame: waking costs more than a frame.
constexpr size_t maximumFramesAhead = 32;
constexpr size_t framesPerWake = 8;

// The formats converted without the resampler when the rate already matches.
std::optional<SampleConversion::Format> directFormat(int format)
{
    switch (format) {
    case AV_SAMPLE_FMT_S16:
        return SampleConversion::Format::S16;
    case AV_SAMPLE_FMT_S16P:
        return SampleConversion::Format::S16Planar;
    case AV_SAMPLE_FMT_FLT:
        return SampleConversion::Format::Float;
    case AV_SAMPLE_FMT_FLTP:
        return SampleConversion::Format::FloatPlanar;
    default:
        return std::nullopt;
    }
}

bool isMonoOrStereo(const AVChannelLayout &layout)
{
    const AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    return av_channel_layout_compare(&layout, &mono) == 0 ||
           av_channel_layout_compare(&layout, &stereo) == 0;
}

// FFmpeg's own lines go to the system log, warnings and worse only; the terminal and the user
// get our one-line reasons instead.
void onAvLog(void *, int level, const char *format, va_list args)
{
    if (level > AV_LOG_WARNING)
        return;
    char line[1024];
    std::vsnprintf(line, sizeof line, format, args);
    systemLog(QStringLiteral("ffmpeg: ") + QString::fromUtf8(line).trimmed());
}

} // namespace

struct MediaImportDecoder::Codec {
    AVFormatContext *format = nullptr;
    AVCodecContext *decoder = nullptr;
    SwrContext *converter = nullptr;
    // Used instead of the converter when the rate matches and the format is a common one.
    std::optional<SampleConversion> direct;
    AVPacket *packet = nullptr;
    AVFrame *frame = nullptr;
    int streamIndex = -1;
    int outChannels = 0;
    int outRate = 0;
    double duration = 0;
    bool finished = false;
    MediaImportError failed;
    int consecutiveDecodeErrors = 0;
    int lastDecodeError = 0;
    bool decodedAny = false;
    // A decoded frame still being converted slice by slice, and how far.
    bool framePending = false;
    int frameOffset = 0;
    const std::atomic<bool> *cancelled = nullptr;
    qint64 bytesReadAtLastPacket = 0;
    bool tooMuchWithoutPacket = false;
    // What the converter was set up for; decoders may change format mid-stream.
    AVChannelLayout inLayout{};
    int inFormat = -1;
    int inRate = 0;

    // Decoding runs ahead on a thread of its own once reading starts, while the reader converts
    // and writes what is already decoded. Each item is a frame, or the end (no frame) with the
    // error that ended it, if any.
    struct Decoded {
        AVFrame *frame = nullptr;
        MediaImportError error;
    };
    std::thread decodingThread;
    std::mutex decodedMutex;
    std::condition_variable decodedChanged;
    std::deque<Decoded> decoded;
    std::atomic<bool> stopping = false;

    ~Codec()
    {
        {
            std::lock_guard lock(decodedMutex);
            stopping = true;
        }
        decodedChanged.notify_all();
        if (decodingThread.joinable())
            decodingThread.join();
        for (Decoded &d : decoded)
            av_frame_free(&d.frame);
        swr_free(&converter);
        avcodec_free_context(&decoder);
        avformat_close_input(&format);
        av_packet_free(&packet);
        av_frame_free(&frame);
        av_channel_layout_uninit(&inLayout);
    }

    int setUpConverter(const AVChannelLayout &layout, int format, int rate)
    {
        swr_free(&converter);
        direct.reset();
        av_channel_layout_uninit(&inLayout);
        if (layout.order == AV_CHANNEL_ORDER_UNSPEC || layout.nb_channels == 0)
            av_channel_layout_default(&inLayout, std::max(layout.nb_channels, 1));
        else if (int r = av_channel_layout_copy(&inLayout, &layout); r < 0)
            return r;
        inFormat = format;
        inRate = rate;

        if (const auto kind = directFormat(format);
            kind && rate == outRate && isMonoOrStereo(inLayout)) {
            direct = SampleConversion::make(*kind, inLayout.nb_channels, outChannels);
            if (direct)
                return 0;
        }

        const int r = setUpResampler(inLayout, format, rate);
        if (r >= 0)
            return r;
        // Speakers the mixer has no rule for (a stereo pair marked as the rear speakers) are
        // taken as the usual speakers of that many channels rather than refusing the song.
        AVChannelLayout usual{};
        av_channel_layout_default(&usual, inLayout.nb_channels);
        const bool retry = av_channel_layout_compare(&usual, &inLayout) != 0;
        const int second = retry ? setUpResampler(usual, format, rate) : r;
        av_channel_layout_uninit(&usual);
        return second;
    }

    int setUpResampler(AVChannelLayout &layout, int format, int rate)
    {
        swr_free(&converter);
        AVChannelLayout outLayout{};
        av_channel_layout_default(&outLayout, outChannels);
        int r = swr_alloc_set_opts2(&converter, &outLayout, AV_SAMPLE_FMT_S16, outRate, &layout,
                                    AVSampleFormat(format), rate, 0, nullptr);
        av_channel_layout_uninit(&outLayout);
        if (r < 0)
            return r;
        if (layout.nb_channels == 1 && outChannels > 1) {
            // swresample's default matrix lowers a mono centre by 3 dB on each side; a mono
            // song should sound as loud in each ear as it did.
            std::vector<double> matrix(outChannels, 1.0);
            if ((r = swr_set_matrix(converter, matrix.data(), 1)) < 0)
                return r;
        }
        return swr_init(converter);
    }

    bool toleratedDecodeError(int code)
    {
        lastDecodeError = code;
        return ++consecutiveDecodeErrors <= maximumConsecutiveDecodeErrors;
    }

    bool converterMatches(const AVFrame &f) const
    {
        return f.format == inFormat && f.sample_rate == inRate &&
               av_channel_layout_compare(&f.ch_layout, &inLayout) == 0;
    }

    // Appends what the conversion yields for `count` frames of `f` from `offset` (null: what the
    // resampler still holds).
    int convert(const AVFrame *f, int offset, int count, std::vector<qint16> &samples)
    {
        const size_t before = samples.size();
        if (direct) {
            if (!f)
                return 0;
            samples.resize(before + size_t(count) * outChannels);
            direct->convert(f->extended_data, offset, count, samples.data() + before);
            return count;
        }
        const int inCount = f ? count : 0;
        const int room = swr_get_out_samples(converter, inCount);
        if (room < 0)
            return room;
        const uint8_t *in[AV_NUM_DATA_POINTERS] = {};
        const uint8_t **input = nullptr;
        if (f) {
            const auto format = AVSampleFormat(f->format);
            const int bytes = av_get_bytes_per_sample(format);
            const bool planar = av_sample_fmt_is_planar(format);
            const int planes = planar ? f->ch_layout.nb_channels : 1;
            if (planes > AV_NUM_DATA_POINTERS)
                return AVERROR(EINVAL);
            const int step = planar ? bytes : bytes * f->ch_layout.nb_channels;
            for (int p = 0; p < planes; ++p)
                in[p] = f->extended_data[p] + size_t(offset) * step;
            input = in;
        }
        samples.resize(before + size_t(room) * outChannels);
        uint8_t *out = reinterpret_cast<uint8_t *>(samples.data() + before);
        const int made = swr_convert(converter, &out, room, input, inCount);
        samples.resize(before + size_t(std::max(made, 0)) * outChannels);
        return made;
    }

    // Input frames whose output stays within one slice.
    int sliceFrames(int inputRate) const
    {
        return std::max(1, int(qint64(maximumSliceFrames) * inputRate / outRate));
    }

    static int onInterrupt(void *opaque)
    {
        auto *c = static_cast<Codec *>(opaque);
        if (c->stopping.load() || (c->cancelled && c->cancelled->load()))
            return 1;
        if (c->format && c->format->pb &&
            c->format->pb->bytes_read - c->bytesReadAtLastPacket > maximumBytesWithoutPacket) {
            c->tooMuchWithoutPacket = true;
            return 1;
        }
        return 0;
    }

    MediaImportError interrupted(Kind kind, int code) const
    {
        if (cancelled && cancelled->load())
            return MediaImportError::failure(Kind::Cancelled, {});
        if (tooMuchWithoutPacket)
            return MediaImportError::failure(kind,
                                             QStringLiteral("no audio found in the first %1 MiB")
                                                 .arg(maximumBytesWithoutPacket / (1024 * 1024)));
        return failure(kind, code);
    }

    // Decodes the next frame into `out`: true with a frame, false at the end of the stream or
    // with `error` set.
    bool decodeNext(AVFrame *out, MediaImportError &error)
    {
        for (;;) {
            int r = avcodec_receive_frame(decoder, out);
            if (r == 0) {
                decodedAny = true;
                consecutiveDecodeErrors = 0;
                return true;
            }
            if (r == AVERROR_EOF)
                return false;
            if (r == AVERROR_INVALIDDATA) {
                if (!toleratedDecodeError(r)) {
                    error = failure(Kind::ReadFailed, r);
                    return false;
                }
                continue;
            }
            if (r != AVERROR(EAGAIN)) {
                error = failure(Kind::ReadFailed, r);
                return false;
            }

            if (cancelled && cancelled->load()) {
                error = MediaImportError::failure(Kind::Cancelled, {});
                return false;
            }
            r = av_read_frame(format, packet);
            if (r == 0 && format->pb)
                bytesReadAtLastPacket = format->pb->bytes_read;
            if (r == AVERROR_EXIT) {
                error = interrupted(Kind::ReadFailed, r);
                return false;
            }
            if (r == AVERROR_EOF) {
                if (format->pb && format->pb->error < 0) {
                    error = failure(Kind::ReadFailed, format->pb->error);
                    return false;
                }
                // An audio stream that yields nothing at all is damaged, not silent.
                if (!decodedAny) {
                    error = failure(Kind::ReadFailed,
                                    lastDecodeError < 0 ? lastDecodeError : AVERROR_INVALIDDATA);
                    return false;
                }
                avcodec_send_packet(decoder, nullptr);
                continue;
            }
            if (r < 0) {
                error = failure(Kind::ReadFailed, r);
                return false;
            }
            if (packet->stream_index != streamIndex) {
                av_packet_unref(packet);
                continue;
            }
            r = avcodec_send_packet(decoder, packet);
            av_packet_unref(packet);
            if (r == AVERROR_INVALIDDATA && toleratedDecodeError(r))
                continue;
            if (r < 0) {
                error = failure(Kind::ReadFailed, r);
                return false;
            }
        }
    }

    // The decoding thread: frames into the queue until the stream ends, fails or the reader
    // goes away.
    void decodeAhead()
    {
        for (;;) {
            Decoded item;
            item.frame = av_frame_alloc();
            const bool more = item.frame ? decodeNext(item.frame, item.error) : false;
            if (!item.frame)
                item.error = failure(Kind::ReadFailed, AVERROR(ENOMEM));
            if (!more)
                av_frame_free(&item.frame);
            bool wake;
            {
                std::unique_lock lock(decodedMutex);
                if (decoded.size() >= maximumFramesAhead) {
                    decodedChanged.wait(lock, [&] {
                        return stopping.load() ||
                               decoded.size() + framesPerWake <= maximumFramesAhead;
                    });
                }
                if (stopping.load()) {
                    av_frame_free(&item.frame);
                    return;
                }
                decoded.push_back(item);
                wake = decoded.size() == framesPerWake || !more;
            }
            if (wake)
                decodedChanged.notify_all();
            if (!more)
                return;
        }
    }

    Decoded nextDecoded()
    {
        if (!decodingThread.joinable())
            decodingThread = std::thread([this] { decodeAhead(); });
        Decoded item;
        bool wake;
        {
            std::unique_lock lock(decodedMutex);
            if (decoded.empty()) {
                decodedChanged.wait(lock, [&] {
                    return decoded.size() >= framesPerWake ||
                           (!decoded.empty() && !decoded.back().frame);
                });
            }
            item = decoded.front();
            decoded.pop_front();
            wake = decoded.size() + framesPerWake == maximumFramesAhead;
        }
        if (wake)
            decodedChanged.notify_all();
        return item;
    }
};

MediaImportDecoder::MediaImportDecoder() = default;
MediaImportDecoder::~MediaImportDecoder() = default;

MediaImportError MediaImportDecoder::open(const QString &path, int channels, int sampleRate,
                                          const std::atomic<bool> *cancelled)
{
    if (QString why; !FfmpegLibraries::load(why))
        return MediaImportError::failure(Kind::SetupFailed, why);
    static std::once_flag logRouted;
    std::call_once(logRouted, [] { av_log_set_callback(onAvLog); });
    codec_ = std::make_unique<Codec>();
    Codec &c = *codec_;
    c.outChannels = channels;
    c.outRate = sampleRate;
    c.cancelled = cancelled;

    // A FIFO or a device would block the import queue forever, and a folder is no song.
    if (const QString problem = inputProblem(path); !problem.isEmpty())
        return MediaImportError::failure(Kind::Unreadable, problem);
    // A WAV file is held to the same rule as in every other command, not to FFmpeg's laxer one.
    WavLayout layout;
    QString wavError;
    if (WavFile::checkInput(path, layout, wavError) == WavFile::Kind::Invalid)
        return MediaImportError::failure(Kind::Unreadable, wavError);

    const QByteArray localPath = QFile::encodeName(path);
    c.format = avformat_alloc_context();
    if (!c.format)
        return failure(Kind::SetupFailed, AVERROR(ENOMEM));
    // Checked between reads: a cancel ends probing and reading at once, and so does input that
    // goes on and on without a single packet.
    c.format->interrupt_callback = {&Codec::onInterrupt, &c};
    if (int r = avformat_open_input(&c.format, localPath.constData(), nullptr, nullptr); r < 0)
        return c.interrupted(Kind::Unreadable, r);
    if (int r = avformat_find_stream_info(c.format, nullptr); r < 0)
        return c.interrupted(Kind::Unreadable, r);
    if (c.cancelled && c.cancelled->load())
        return MediaImportError::failure(Kind::Cancelled, {});
    const AVCodec *decoder = nullptr;
    c.streamIndex = av_find_best_stream(c.format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (c.streamIndex < 0)
        return c.interrupted(Kind::Unreadable, c.streamIndex);
    for (unsigned i = 0; i < c.format->nb_streams; ++i) {
        if (int(i) != c.streamIndex)
            c.format->streams[i]->discard = AVDISCARD_ALL;
    }

    const AVStream *stream = c.format->streams[c.streamIndex];
    if (stream->duration > 0 && stream->duration != AV_NOPTS_VALUE)
        c.duration = stream->duration * av_q2d(stream->time_base);
    else if (c.format->duration > 0)
        c.duration = double(c.format->duration) / AV_TIME_BASE;

    if (stream->codecpar->sample_rate < minimumSampleRate)
        return MediaImportError::failure(Kind::Unreadable,
                                         QStringLiteral("a sample rate of %1 Hz is not audio")
                                             .arg(stream->codecpar->sample_rate));

    c.decoder = avcodec_alloc_context3(decoder);
    if (!c.decoder)
        return failure(Kind::SetupFailed, AVERROR(ENOMEM));
    if (int r = avcodec_parameters_to_context(c.decoder, stream->codecpar); r < 0)
        return failure(Kind::SetupFailed, r);
    // Decoders that can (flac among them) decode frames on the second core while this thread
    // resamples and writes.
    c.decoder->thread_count = 0;
    c.decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (int r = avcodec_open2(c.decoder, decoder, nullptr); r < 0)
        return failure(Kind::SetupFailed, r);
    if (int r =
            c.setUpConverter(c.decoder->ch_layout, c.decoder->sample_fmt, c.decoder->sample_rate);
        r < 0)
        return failure(Kind::SetupFailed, r);
    c.packet = av_packet_alloc();
    c.frame = av_frame_alloc();
    if (!c.packet || !c.frame)
        return failure(Kind::SetupFailed, AVERROR(ENOMEM));
    return {};
}

MediaImportError MediaImportDecoder::read(std::vector<qint16> &samples, bool &finished)
{
    samples.clear();
    finished = false;
    if (!codec_ || !codec_->decoder)
        return MediaImportError::failure(Kind::ReadFailed, QStringLiteral("No file is open"));
    Codec &c = *codec_;
    if (!c.failed.ok())
        return c.failed;
    if (c.finished) {
        finished = true;
        return {};
    }
    const auto fail = [&](const MediaImportError &error) {
        c.failed = error;
        return error;
    };

    for (;;) {
        if (c.framePending) {
            const int count =
                std::min(c.frame->nb_samples - c.frameOffset, c.sliceFrames(c.frame->sample_rate));
            const int r = c.convert(c.frame, c.frameOffset, count, samples);
            c.frameOffset += count;
            if (r < 0 || c.frameOffset >= c.frame->nb_samples) {
                c.framePending = false;
                av_frame_unref(c.frame);
            }
            if (r < 0)
                return fail(failure(Kind::ReadFailed, r));
            if (!samples.empty())
                return {};
            continue;
        }
        Codec::Decoded next = c.nextDecoded();
        if (!next.frame) {
            if (!next.error.ok())
                return fail(next.error);
            if (int f = c.convert(nullptr, 0, 0, samples); f < 0)
                return fail(failure(Kind::ReadFailed, f));
            c.finished = true;
            finished = true;
            return {};
        }
        av_frame_unref(c.frame);
        av_frame_move_ref(c.frame, next.frame);
        av_frame_free(&next.frame);
        if (c.frame->sample_rate < minimumSampleRate) {
            const int rate = c.frame->sample_rate;
            av_frame_unref(c.frame);
            return fail(MediaImportError::failure(
                Kind::ReadFailed, QStringLiteral("the sample rate changed to %1 Hz").arg(rate)));
        }
        if (!c.converterMatches(*c.frame)) {
            if (int f = c.convert(nullptr, 0, 0, samples); f < 0)
                return fail(failure(Kind::ReadFailed, f));
            if (int r = c.setUpConverter(c.frame->ch_layout, c.frame->format, c.frame->sample_rate);
                r < 0)
                return fail(failure(Kind::ReadFailed, r));
        }
        c.framePending = c.frame->nb_samples > 0;
        c.frameOffset = 0;
        if (!c.framePending)
            av_frame_unref(c.frame);
        if (!samples.empty())
            return {};
    }
}

double MediaImportDecoder::durationSeconds() const
{
    return codec_ ? codec_->duration : 0;
}
int MediaImportDecoder::channels() const
{
    return codec_ ? codec_->outChannels : 0;
}
int MediaImportDecoder::sampleRate() const
{
    return codec_ ? codec_->outRate : 0;
}

} // namespace murmelo
