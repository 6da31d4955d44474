#include "audio/FfmpegLibraries.h"

#include <QFile>
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
}

namespace murmelo {
namespace {

bool mapped(const char *library)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    EXPECT_TRUE(maps.open(QIODevice::ReadOnly));
    return maps.readAll().contains(library);
}

// The program starts without FFmpeg's libraries (they bring some 130 more with them) and loads
// them when a function of theirs is first called.
TEST(FfmpegLibraries, AreLoadedOnFirstUseNotWithTheProgram)
{
    ASSERT_FALSE(mapped("libavcodec.so")) << "FFmpeg was linked into the program";
    ASSERT_FALSE(mapped("libavformat.so"));
    AVFrame *frame = av_frame_alloc();
    ASSERT_NE(frame, nullptr);
    av_frame_free(&frame);
    EXPECT_EQ(frame, nullptr);
    QString error;
    EXPECT_TRUE(FfmpegLibraries::load(error)) << error.toStdString();
    EXPECT_TRUE(mapped("libavcodec.so"));
    EXPECT_TRUE(mapped("libavformat.so"));
    EXPECT_TRUE(mapped("libswresample.so"));
}

} // namespace
} // namespace murmelo
