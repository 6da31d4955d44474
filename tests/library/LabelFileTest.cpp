#include "library/LabelFile.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

const LabelAudio tenSeconds{44100, 441000};

TEST(LabelFileTest, ExportThenImportGivesTheSameMarkersOnEitherTimeLine)
{
    const QList<PhraseMarker> markers{
        {0, {0, 1}, QStringLiteral("first frame")},
        {0, {44099, 88200}, QStringLiteral("Grüße aus Köln")},
        {0, {123457, 123457}, QString()},
        {0, {400000, 441000}, QStringLiteral("to the end")},
    };
    for (const auto timeLine : {LabelTimeLine::Reversed, LabelTimeLine::Forward}) {
        const QByteArray file = writeLabelFile(markers, timeLine, tenSeconds);
        // The file says which time line it counts on; the import need not be told.
        const auto other =
            timeLine == LabelTimeLine::Forward ? LabelTimeLine::Reversed : LabelTimeLine::Forward;
        LabelFileContents read = readLabelFile(file, other, tenSeconds);
        ASSERT_TRUE(read.ok()) << read.errors.join(u'\n').toStdString();
        EXPECT_EQ(read.timeLine, timeLine);
        std::sort(read.markers.begin(), read.markers.end(),
                  [](const auto &a, const auto &b) { return a.frames.start < b.frames.start; });
        EXPECT_EQ(read.markers, markers) << file.toStdString();
    }
    // Forward seconds are the mirrored stretch: the reversal's first second is the forward end.
    const QByteArray forward =
        writeLabelFile({{0, {0, 44100}, QStringLiteral("x")}}, LabelTimeLine::Forward, tenSeconds);
    EXPECT_TRUE(forward.endsWith("\n9.000000\t10.000000\tx\n")) << forward.toStdString();
}

TEST(LabelFileTest, FramesSurviveSixDecimalSecondsAtEveryCommonRate)
{
    for (const int rate : {8000, 22050, 44100, 48000, 96000, 192000}) {
        const LabelAudio audio{rate, qint64(rate) * 3600};
        QList<PhraseMarker> markers;
        for (qint64 f = 0; f < audio.totalFrames; f += audio.totalFrames / 997 + 1)
            markers << PhraseMarker{0, {f, std::min(f + 7, audio.totalFrames)}, {}};
        const auto read = readLabelFile(writeLabelFile(markers, LabelTimeLine::Reversed, audio),
                                        LabelTimeLine::Reversed, audio);
        ASSERT_TRUE(read.ok());
        EXPECT_EQ(read.markers, markers) << rate;
    }
}

TEST(LabelFileTest, AnotherEditorsFileWithCrlfBomAndFrequencyLinesIsRead)
{
    const QByteArray file = "\xEF\xBB\xBF"
                            "1.5\t2.25\tcafé au lait\r\n"
                            "\\\t100.000000\t2000.000000\r\n"
                            "\r\n"
                            "3\t3\t\r\n"
                            "4.000000\t5.000000\tno line end";
    const auto read = readLabelFile(file, LabelTimeLine::Reversed, tenSeconds);
    ASSERT_TRUE(read.ok()) << read.errors.join(u'\n').toStdString();
    ASSERT_EQ(read.markers.size(), 3);
    EXPECT_EQ(read.markers[0], (PhraseMarker{0, {66150, 99225}, QStringLiteral("café au lait")}));
    EXPECT_EQ(read.markers[1], (PhraseMarker{0, {132300, 132300}, QString()}));
    EXPECT_EQ(read.markers[2].text, QStringLiteral("no line end"));

    // Without our header, the caller's choice of time line holds.
    const auto forward = readLabelFile("0\t1\tx\n", LabelTimeLine::Forward, tenSeconds);
    EXPECT_EQ(forward.markers.value(0).frames, (FrameRange{396900, 441000}));
}

TEST(LabelFileTest, MalformedLinesAreAllNamedByNumberAndNothingIsKept)
{
    const QByteArray file = "# a comment\n"
                            "1\t2\tfine\n"
                            "just words\n"
                            "1,5\t2\tcomma\n"
                            "3\t2\tbackwards\n"
                            "-1\t2\tnegative\n"
                            "nan\tinf\tnot numbers\n"
                            "9\t10.5\tpast the end\n"
                            "1\t2\t\xC3\x28 broken\n"
                            "4\t5\tfine again\n";
    const auto read = readLabelFile(file, LabelTimeLine::Reversed, tenSeconds);
    ASSERT_EQ(read.errors.size(), 7) << read.errors.join(u'\n').toStdString();
    const QStringList prefixes{
        "line 3:", "line 4:", "line 5:", "line 6:", "line 7:", "line 8:", "line 9:"};
    for (int i = 0; i < prefixes.size(); ++i)
        EXPECT_TRUE(read.errors[i].startsWith(prefixes[i])) << read.errors[i].toStdString();
    EXPECT_TRUE(read.errors[2].contains(QLatin1String("before it starts")));
    EXPECT_TRUE(read.errors[5].contains(QLatin1String("10.000000 s")));
    EXPECT_FALSE(read.ok());
}

TEST(LabelFileTest, EveryLineEndIsReadAndLineNumbersCountThemAlike)
{
    for (const QByteArray end : {"\n", "\r\n", "\r"}) {
        const QByteArray file = "# Murmelo phrase markers: seconds on the reversed time line" +
                                end + "1\t2\tone" + end + end + "3\t4\ttwo" + end + "x" + end;
        const auto read = readLabelFile(file, LabelTimeLine::Reversed, tenSeconds);
        EXPECT_EQ(read.markers.size(), 2) << file.toStdString();
        EXPECT_EQ(read.markers.value(1).text, QStringLiteral("two"));
        EXPECT_EQ(read.errors, QStringList{read.errors.value(0)});
        EXPECT_TRUE(read.errors.value(0).startsWith(QLatin1String("line 5:")));
    }
    // Mixed ends in one file, a CR that ends the file, a lone CR before CRLF.
    const auto mixed = readLabelFile("1\t2\ta\r3\t4\tb\n5\t6\tc\r\r\n7\t8\td\r",
                                     LabelTimeLine::Reversed, tenSeconds);
    ASSERT_TRUE(mixed.ok()) << mixed.errors.join(u'\n').toStdString();
    ASSERT_EQ(mixed.markers.size(), 4);
    EXPECT_EQ(mixed.markers[3].text, QStringLiteral("d"));
}

TEST(LabelFileTest, ControlCharactersAndGroupedNumbersAreRefusedByLine)
{
    const auto refused = [](const QByteArray &file) {
        return readLabelFile(file, LabelTimeLine::Reversed, tenSeconds).errors;
    };
    static const char nul[] = "1\t2\tok\n3\t4\tcut\0here\n";
    EXPECT_EQ(refused(QByteArray(nul, sizeof nul - 1)),
              QStringList{"line 2: holds the control character U+0000, which is not text"});
    for (const QByteArray &control :
         {QByteArray("\x01"), QByteArray("\x1B[2J"), QByteArray("\x7F"), QByteArray("\xC2\x85")})
        EXPECT_EQ(refused("1\t2\tx" + control + "\n").size(), 1) << control.toHex().toStdString();
    // Times carry no digit grouping: "1,500" is not 1500 seconds in any locale.
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(refused("1,500\t2\tgrouped\n").size(), 1);
    EXPECT_EQ(refused("0\t1,000\tgrouped\n").size(), 1);
    EXPECT_EQ(refused("1\t1,5\tdecimal comma\n").size(), 1);
    QLocale::setDefault(QLocale::c());
    EXPECT_TRUE(refused("1.500\t2\tdecimal point\n").isEmpty());
}

TEST(LabelFileTest, TextThatWouldBreakTheLineIsWrittenOnOneLine)
{
    const QByteArray file = writeLabelFile({{0, {0, 10}, QStringLiteral("two\nlines\tand tab")}},
                                           LabelTimeLine::Reversed, tenSeconds);
    const auto read = readLabelFile(file, LabelTimeLine::Reversed, tenSeconds);
    ASSERT_TRUE(read.ok());
    ASSERT_EQ(read.markers.size(), 1);
    EXPECT_EQ(read.markers[0].text, QStringLiteral("two lines and tab"));
    // Other control characters become spaces too, so the file reads back.
    const QByteArray bell = writeLabelFile({{0, {0, 10}, QStringLiteral("ring\abell")}},
                                           LabelTimeLine::Reversed, tenSeconds);
    EXPECT_EQ(readLabelFile(bell, LabelTimeLine::Reversed, tenSeconds).markers.value(0).text,
              QStringLiteral("ring bell"));
}

} // namespace
