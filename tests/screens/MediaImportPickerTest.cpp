#include "audio/MusicPickerScan.h"
#include "platform/Defaults.h"
#include "platform/StandardPaths.h"
#include "screens/record/MusicPicker.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>

namespace murmelo {
namespace {

void touch(const QString &root, const QString &relative)
{
    const QString path = root + QLatin1Char('/') + relative;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

QString musicFolder(const QString &name)
{
    const QString root = test::scratchRoot() + QStringLiteral("/") + name;
    QDir(root).removeRecursively();
    QDir().mkpath(root);
    return root;
}

QStringList relative(const QString &root, const QStringList &paths)
{
    QStringList out;
    for (const QString &path : paths)
        out << QDir(root).relativeFilePath(path);
    return out;
}

TEST(MusicPickerScan, FindsSongsRecursivelySortedSkippingHiddenAndOtherFiles)
{
    const QString root = musicFolder("library");
    for (const char *name :
         {"Band/Album/Track 10.flac", "Band/Album/Track 2.MP3", "Band/Album/cover.jpg",
          "Band/Album/notes.txt", "single.m4a", "alpha.opus", ".hidden/secret.mp3",
          "Band/.cache/x.ogg", "Band/.dotted.wav", "noextension"})
        touch(root, name);
    QDir().mkpath(root + "/folder.mp3");                                 // a folder is never a song
    ASSERT_TRUE(QFile::link(root + "/Band", root + "/Band/Album/loop")); // must not loop

    const MusicPickerScan::Result found = MusicPickerScan::scan(root);
    EXPECT_EQ(relative(root, found.songs), (QStringList{"alpha.opus", "Band/Album/Track 2.MP3",
                                                        "Band/Album/Track 10.flac", "single.m4a"}));
    EXPECT_FALSE(found.truncated);
}

TEST(MusicPickerScan, StopsAtItsLimitsAndSaysSo)
{
    const QString root = musicFolder("deep");
    QString deep = "a/b/c/d";
    touch(root, deep + "/deep.mp3");
    touch(root, "top.mp3");
    for (int i = 0; i < 5; ++i)
        touch(root, QStringLiteral("many/song%1.mp3").arg(i));

    MusicPickerScan::Limits shallow;
    shallow.maximumDepth = 2;
    MusicPickerScan::Result found = MusicPickerScan::scan(root, shallow);
    EXPECT_TRUE(found.truncated);
    EXPECT_FALSE(found.songs.contains(root + "/" + deep + "/deep.mp3"));
    EXPECT_TRUE(found.songs.contains(root + "/top.mp3"));

    MusicPickerScan::Limits few;
    few.maximumSongs = 3;
    found = MusicPickerScan::scan(root, few);
    EXPECT_TRUE(found.truncated);
    EXPECT_EQ(found.songs.size(), 3);

    found = MusicPickerScan::scan(root + "/missing");
    EXPECT_TRUE(found.songs.isEmpty());
}

class MusicPickerDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = StandardPaths::musicDirectory();
        QDir(root).removeRecursively();
        touch(root, "b.mp3");
        touch(root, "a/one.flac");
        picker = std::make_unique<MusicPicker>(root);
        QObject::connect(picker.get(), &MusicPicker::didPickMediaItem,
                         [this](const QString &path) { picked << path; });
        QObject::connect(picker.get(), &MusicPicker::didCancel, [this] { ++cancelled; });
        picker->show();
        ASSERT_TRUE(test::waitUntil([&] { return !picker->isSearching(); }));
    }

    QString root;
    std::unique_ptr<MusicPicker> picker;
    QStringList picked;
    int cancelled = 0;
};

TEST_F(MusicPickerDialog, ListsTheMusicFolderWithTheFirstSongChosenAndPicksOne)
{
    EXPECT_EQ(picker->windowTitle(), "Choose file to reverse");
    ASSERT_EQ(picker->songList()->count(), 2);
    EXPECT_EQ(picker->songList()->item(0)->text(), "a/one.flac");
    // The first song is chosen as the list opens, so Choose is ready for it.
    EXPECT_TRUE(picker->songList()->item(0)->isSelected());
    EXPECT_TRUE(picker->chooseButton()->isEnabled());
    EXPECT_TRUE(picker->songList()->hasFocus()) << "the keys move in the list at once";
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(picker->songList(), &down);
    EXPECT_TRUE(picker->songList()->item(1)->isSelected());
    picker->chooseButton()->click();
    EXPECT_EQ(picked, QStringList{root + "/b.mp3"});
    EXPECT_EQ(cancelled, 0);
    EXPECT_FALSE(picker->isVisible());
}

TEST_F(MusicPickerDialog, OtherFileStartsWhereTheLastOneWasFoundAndCancelPicksNothing)
{
    Defaults::standard().setString(MusicPicker::lastFolderKey(), QString());
    QString answer; // backing out of the file dialog keeps the picker open
    QStringList folders;
    picker->setOtherFileChooser([&](QWidget *, const QString &folder) {
        folders << folder;
        return answer;
    });
    picker->otherFileButton()->click();
    EXPECT_TRUE(picked.isEmpty());
    EXPECT_TRUE(picker->isVisible());

    answer = root + "/a/one.flac";
    picker->otherFileButton()->click();
    EXPECT_EQ(picked, QStringList{answer});
    picker->otherFileButton()->click();
    EXPECT_EQ(folders, (QStringList{QDir::homePath(), QDir::homePath(), root + "/a"}));

    // A remembered folder that has gone since starts at home again.
    Defaults::standard().setString(MusicPicker::lastFolderKey(), root + "/gone");
    picker->otherFileButton()->click();
    EXPECT_EQ(folders.last(), QDir::homePath());

    picker->show();
    picker->cancelButton()->click();
    EXPECT_EQ(cancelled, 1);
    EXPECT_EQ(picked.size(), 3);
}

TEST(MusicPickerFilters, OfferTheAudioAndVideoFilesTheImportReadsThenEverything)
{
    const QStringList filters = MusicPicker::fileFilters();
    ASSERT_EQ(filters.size(), 2);
    for (const char *pattern : {"*.mp3", "*.m4a", "*.flac", "*.ogg", "*.opus", "*.wav", "*.aiff",
                                "*.mp4", "*.mkv", "*.webm", "*.mov"})
        EXPECT_TRUE(filters[0].contains(QLatin1String(pattern))) << pattern;
    EXPECT_TRUE(filters[1].endsWith(QLatin1String("(*)")));
}

} // namespace
} // namespace murmelo
