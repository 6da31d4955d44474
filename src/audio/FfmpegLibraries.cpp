#include "audio/FfmpegLibraries.h"

#include <cerrno>
#include <dlfcn.h>
#include <mutex>
#include <type_traits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace murmelo {

namespace {

#define MURMELO_SONAME(library, major) "lib" library ".so." AV_STRINGIFY(major)

// In dependency order; each is the major version the program was built against.
constexpr const char *sonames[] = {
    MURMELO_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR),
    MURMELO_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR),
    MURMELO_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR),
    MURMELO_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR),
};
constexpr int libraryCount = int(std::size(sonames));

struct Loaded {
    void *handles[libraryCount] = {};
    QString error;
};

const Loaded &loaded()
{
    static const Loaded libraries = [] {
        Loaded l;
        for (int i = 0; i < libraryCount; ++i) {
            l.handles[i] = dlopen(sonames[i], RTLD_NOW | RTLD_LOCAL);
            if (!l.handles[i]) {
                l.error = QStringLiteral("FFmpeg's %1 cannot be loaded: %2")
                              .arg(QLatin1String(sonames[i]), QString::fromLocal8Bit(dlerror()));
                break;
            }
        }
        return l;
    }();
    return libraries;
}

// The real function, or null when the libraries are not there.
void *realFunction(const char *name)
{
    const Loaded &l = loaded();
    if (!l.error.isEmpty())
        return nullptr;
    for (void *handle : l.handles) {
        if (void *function = dlsym(handle, name))
            return function;
    }
    return nullptr;
}

// What a function gives back when FFmpeg is not there: the failure it reports for itself.
template <typename Result> Result unavailable()
{
    if constexpr (std::is_void_v<Result>)
        return;
    else if constexpr (std::is_pointer_v<Result>)
        return nullptr;
    else
        return Result(AVERROR(ENOSYS));
}

} // namespace

bool FfmpegLibraries::load(QString &error)
{
    error = loaded().error;
    return error.isEmpty();
}

} // namespace murmelo

// Each function is looked up once, on its first call. The definitions must match FFmpeg's own
// declarations exactly: a C function declared twice with different types does not compile.
#define MURMELO_FFMPEG(Result, name, parameters, arguments)                                        \
    extern "C" Result name parameters                                                              \
    {                                                                                              \
        using Function = Result(*) parameters;                                                     \
        static const auto real = reinterpret_cast<Function>(murmelo::realFunction(#name));         \
        if (!real)                                                                                 \
            return murmelo::unavailable<Result>();                                                 \
        return real arguments;                                                                     \
    }

// libavutil
MURMELO_FFMPEG(void, av_log_set_callback, (void (*callback)(void *, int, const char *, va_list)),
               (callback))
MURMELO_FFMPEG(int, av_strerror, (int errnum, char *errbuf, size_t errbuf_size),
               (errnum, errbuf, errbuf_size))
MURMELO_FFMPEG(void *, av_malloc, (size_t size), (size))
MURMELO_FFMPEG(void, av_free, (void *ptr), (ptr))
MURMELO_FFMPEG(void, av_freep, (void *ptr), (ptr))
MURMELO_FFMPEG(int, av_dict_set,
               (AVDictionary * *pm, const char *key, const char *value, int flags),
               (pm, key, value, flags))
MURMELO_FFMPEG(void, av_dict_free, (AVDictionary * *m), (m))
MURMELO_FFMPEG(AVFrame *, av_frame_alloc, (void), ())
MURMELO_FFMPEG(void, av_frame_free, (AVFrame * *frame), (frame))
MURMELO_FFMPEG(void, av_frame_unref, (AVFrame * frame), (frame))
MURMELO_FFMPEG(void, av_frame_move_ref, (AVFrame * dst, AVFrame *src), (dst, src))
MURMELO_FFMPEG(int, av_frame_get_buffer, (AVFrame * frame, int align), (frame, align))
MURMELO_FFMPEG(int, av_frame_make_writable, (AVFrame * frame), (frame))
MURMELO_FFMPEG(int, av_get_bytes_per_sample, (enum AVSampleFormat sample_fmt), (sample_fmt))
MURMELO_FFMPEG(int, av_sample_fmt_is_planar, (enum AVSampleFormat sample_fmt), (sample_fmt))
MURMELO_FFMPEG(int, av_channel_layout_compare,
               (const AVChannelLayout *chl, const AVChannelLayout *chl1), (chl, chl1))
MURMELO_FFMPEG(int, av_channel_layout_copy, (AVChannelLayout * dst, const AVChannelLayout *src),
               (dst, src))
MURMELO_FFMPEG(void, av_channel_layout_default, (AVChannelLayout * ch_layout, int nb_channels),
               (ch_layout, nb_channels))
MURMELO_FFMPEG(void, av_channel_layout_uninit, (AVChannelLayout * channel_layout), (channel_layout))
MURMELO_FFMPEG(AVAudioFifo *, av_audio_fifo_alloc,
               (enum AVSampleFormat sample_fmt, int channels, int nb_samples),
               (sample_fmt, channels, nb_samples))
MURMELO_FFMPEG(void, av_audio_fifo_free, (AVAudioFifo * af), (af))
MURMELO_FFMPEG(int, av_audio_fifo_read, (AVAudioFifo * af, void **data, int nb_samples),
               (af, data, nb_samples))
MURMELO_FFMPEG(int, av_audio_fifo_write, (AVAudioFifo * af, void **data, int nb_samples),
               (af, data, nb_samples))
MURMELO_FFMPEG(int, av_audio_fifo_size, (AVAudioFifo * af), (af))

// libswresample
MURMELO_FFMPEG(int, swr_alloc_set_opts2,
               (struct SwrContext * *ps, AVChannelLayout *out_ch_layout,
                enum AVSampleFormat out_sample_fmt, int out_sample_rate,
                AVChannelLayout *in_ch_layout, enum AVSampleFormat in_sample_fmt,
                int in_sample_rate, int log_offset, void *log_ctx),
               (ps, out_ch_layout, out_sample_fmt, out_sample_rate, in_ch_layout, in_sample_fmt,
                in_sample_rate, log_offset, log_ctx))
MURMELO_FFMPEG(int, swr_set_matrix, (struct SwrContext * s, const double *matrix, int stride),
               (s, matrix, stride))
MURMELO_FFMPEG(int, swr_init, (struct SwrContext * s), (s))
MURMELO_FFMPEG(int, swr_get_out_samples, (struct SwrContext * s, int in_samples), (s, in_samples))
MURMELO_FFMPEG(int, swr_convert,
               (struct SwrContext * s, uint8_t **out, int out_count, const uint8_t **in,
                int in_count),
               (s, out, out_count, in, in_count))
MURMELO_FFMPEG(void, swr_free, (struct SwrContext * *s), (s))

// libavcodec
MURMELO_FFMPEG(AVPacket *, av_packet_alloc, (void), ())
MURMELO_FFMPEG(void, av_packet_free, (AVPacket * *pkt), (pkt))
MURMELO_FFMPEG(void, av_packet_unref, (AVPacket * pkt), (pkt))
MURMELO_FFMPEG(void, av_packet_rescale_ts, (AVPacket * pkt, AVRational tb_src, AVRational tb_dst),
               (pkt, tb_src, tb_dst))
MURMELO_FFMPEG(const AVCodec *, avcodec_find_encoder_by_name, (const char *name), (name))
MURMELO_FFMPEG(AVCodecContext *, avcodec_alloc_context3, (const AVCodec *codec), (codec))
MURMELO_FFMPEG(void, avcodec_free_context, (AVCodecContext * *avctx), (avctx))
MURMELO_FFMPEG(int, avcodec_open2,
               (AVCodecContext * avctx, const AVCodec *codec, AVDictionary **options),
               (avctx, codec, options))
MURMELO_FFMPEG(int, avcodec_parameters_to_context,
               (AVCodecContext * codec, const AVCodecParameters *par), (codec, par))
MURMELO_FFMPEG(int, avcodec_parameters_from_context,
               (AVCodecParameters * par, const AVCodecContext *codec), (par, codec))
MURMELO_FFMPEG(int, avcodec_send_packet, (AVCodecContext * avctx, const AVPacket *avpkt),
               (avctx, avpkt))
MURMELO_FFMPEG(int, avcodec_receive_frame, (AVCodecContext * avctx, AVFrame *frame), (avctx, frame))
MURMELO_FFMPEG(int, avcodec_send_frame, (AVCodecContext * avctx, const AVFrame *frame),
               (avctx, frame))
MURMELO_FFMPEG(int, avcodec_receive_packet, (AVCodecContext * avctx, AVPacket *avpkt),
               (avctx, avpkt))

// libavformat
MURMELO_FFMPEG(AVFormatContext *, avformat_alloc_context, (void), ())
MURMELO_FFMPEG(void, avformat_free_context, (AVFormatContext * s), (s))
MURMELO_FFMPEG(int, avformat_open_input,
               (AVFormatContext * *ps, const char *url, const AVInputFormat *fmt,
                AVDictionary **options),
               (ps, url, fmt, options))
MURMELO_FFMPEG(void, avformat_close_input, (AVFormatContext * *s), (s))
MURMELO_FFMPEG(int, avformat_find_stream_info, (AVFormatContext * ic, AVDictionary **options),
               (ic, options))
MURMELO_FFMPEG(int, av_find_best_stream,
               (AVFormatContext * ic, enum AVMediaType type, int wanted_stream_nb,
                int related_stream, const AVCodec **decoder_ret, int flags),
               (ic, type, wanted_stream_nb, related_stream, decoder_ret, flags))
MURMELO_FFMPEG(int, av_read_frame, (AVFormatContext * s, AVPacket *pkt), (s, pkt))
MURMELO_FFMPEG(int, avformat_alloc_output_context2,
               (AVFormatContext * *ctx, const AVOutputFormat *oformat, const char *format_name,
                const char *filename),
               (ctx, oformat, format_name, filename))
MURMELO_FFMPEG(AVStream *, avformat_new_stream, (AVFormatContext * s, const AVCodec *c), (s, c))
MURMELO_FFMPEG(int, avformat_write_header, (AVFormatContext * s, AVDictionary **options),
               (s, options))
MURMELO_FFMPEG(int, av_write_frame, (AVFormatContext * s, AVPacket *pkt), (s, pkt))
MURMELO_FFMPEG(int, av_write_trailer, (AVFormatContext * s), (s))
MURMELO_FFMPEG(AVIOContext *, avio_alloc_context,
               (unsigned char *buffer, int buffer_size, int write_flag, void *opaque,
                int (*read_packet)(void *opaque, uint8_t *buf, int buf_size),
                int (*write_packet)(void *opaque, uint8_t *buf, int buf_size),
                int64_t (*seek)(void *opaque, int64_t offset, int whence)),
               (buffer, buffer_size, write_flag, opaque, read_packet, write_packet, seek))
MURMELO_FFMPEG(void, avio_context_free, (AVIOContext * *s), (s))
MURMELO_FFMPEG(void, avio_flush, (AVIOContext * s), (s))
