// The report's text forms and MessagePack pieces, checked in-process without crashing anything.
#include "CrashTestSupport.h"
#include "support/TestSupport.h"
#include "telemetry/crash/VGCrashReporter.h"
#include "telemetry/crash/handler/ImageLookup.h"
#include "telemetry/crash/handler/SafeWriter.h"

#include <QTemporaryFile>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

using namespace murmelo::crash;

namespace {
std::string text(const LineBuffer &line)
{
    return std::string(line.data(), line.size());
}

Image imageAt(const char *path, uintptr_t start)
{
    Image image;
    std::strcpy(image.path, path);
    const char *slash = std::strrchr(image.path, '/');
    image.fileNameOffset = slash ? size_t(slash + 1 - image.path) : 0;
    image.loadStart = start;
    image.textEnd = start + 0x1000;
    image.segments[0][0] = start;
    image.segments[0][1] = start + 0x2000;
    image.segmentCount = 1;
    image.machine = 62; // x86-64
    return image;
}

TEST(CrashFormat, FrameLinesPadIndexAndImageNameButNeverCutALongName)
{
    LineBuffer line;
    const Image shortName = imageAt("/usr/lib/libshort.so", 0x1000);
    Symbol symbol{"play", 4, 0x1100};
    formatFrame(line, 3, 0x1234, &shortName, &symbol);
    EXPECT_EQ(text(line), "3   libshort.so                         0x00001234 play + 308");

    const Image longName = imageAt("/opt/a/libthis-name-is-longer-than-thirty-six.so", 0x1000);
    formatFrame(line, 12, 0x7f0011223344, &longName, nullptr);
    // No symbol: a blank in its place; the distance counts from the image's start.
    EXPECT_EQ(text(line), "12  libthis-name-is-longer-than-thirty-six.so0x7f0011223344   + " +
                              std::to_string(0x7f0011223344 - 0x1000));

    formatFrame(line, 0, 0x10, nullptr, nullptr);
    EXPECT_EQ(text(line), "0   " + std::string(36, ' ') + "0x00000010   + 16");
}

TEST(CrashFormat, ImageLinesCarryRangeArchitectureBuildIdAndPath)
{
    LineBuffer line;
    Image image = imageAt("/usr/lib/libsox.so.3", 0x7f0000000000);
    const unsigned char id[] = {0xde, 0xad, 0x00, 0x01};
    std::memcpy(image.buildId, id, sizeof id);
    image.buildIdSize = sizeof id;
    formatImage(line, image);
    EXPECT_EQ(
        text(line),
        "0x7f0000000000 - 0x7f0000001000 libsox.so.3 x86_64  <dead0001> /usr/lib/libsox.so.3");
    image.buildIdSize = 0;
    image.machine = 0;
    formatImage(line, image);
    EXPECT_EQ(text(line), "0x7f0000000000 - 0x7f0000001000 libsox.so.3   <> /usr/lib/libsox.so.3");
}

TEST(CrashFormat, WriterPicksTheSmallestHeaderAndWidensRegistersThatNeedIt)
{
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    {
        SafeWriter out(file.handle());
        out.raw(std::string(31, 'a').c_str(), 31); // fix raw
        out.raw(std::string(32, 'b').c_str(), 32); // raw 16
        out.mapHeader(15);
        out.mapHeader(16);
        out.arrayHeader(70000);
        out.int32(-1);
        out.unsignedNumber(0xffffffffu);
        out.unsignedNumber(0x100000000u);
    }
    const QByteArray bytes = murmelo::test::readFile(file.fileName());
    ASSERT_EQ(bytes.size(), 32 + 35 + 1 + 3 + 5 + 5 + 5 + 9);
    EXPECT_EQ(quint8(bytes[0]), 0xbf);
    EXPECT_EQ(bytes.mid(32, 3), QByteArray("\xda\x00\x20", 3));
    EXPECT_EQ(bytes.mid(67, 4), QByteArray("\x8f\xde\x00\x10", 4));
    EXPECT_EQ(bytes.mid(71, 5), QByteArray("\xdd\x00\x01\x11\x70", 5));
    EXPECT_EQ(bytes.mid(76, 5), QByteArray("\xd2\xff\xff\xff\xff", 5));
    EXPECT_EQ(bytes.mid(81, 5), QByteArray("\xce\xff\xff\xff\xff", 5));
    EXPECT_EQ(bytes.mid(86, 9), QByteArray("\xcf\x00\x00\x00\x01\x00\x00\x00\x00", 9));
}

TEST(CrashFormat, ATooLongFolderInstallsNothingAndSaysWhy)
{
    QString logged;
    murmelo::VGCrashReporter::setLogSink([&](const QString &line) { logged += line; });
    const QString folder = QStringLiteral("/tmp/") + QString(980, QLatin1Char('x'));
    EXPECT_FALSE(murmelo::VGCrashReporter::installCrashHandlers(folder));
    EXPECT_FALSE(murmelo::VGCrashReporter::handlersInstalled());
    EXPECT_TRUE(logged.startsWith("**** Vigil Error: Could not install crash handlers because "
                                  "cache path is too long.\n\ncachePath = \"/tmp/xxx"));
    murmelo::VGCrashReporter::setLogSink(nullptr);
}

} // namespace
