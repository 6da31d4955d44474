// Pictures of the shell for the documentation: scripts/screenshots.sh keeps them in
// docs/screenshots; otherwise they go to the scratch folder.
#include "AppTestSupport.h"
#include "app/MainLayout.h"
#include "app/SpeechSidebarMenuController.h"
#include "app/Translations.h"
#include "audio/AudioOutputNull.h"
#include "audio/WaveformImage.h"
#include "library/Library.h"
#include "library/PhraseMarkerStore.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "screens/library/SavedRecordingsViewController.h"
#include "screens/playback/PlaybackViewController.h"
#include "screens/shell/EulaViewController.h"
#include "screens/shell/GettingStartedViewController.h"
#include "screens/shell/SliderAppearance.h"
#include "toolkit/RangeSlider.h"
#include "toolkit/Theme.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class Screenshots : public ::testing::Test {
protected:
    void SetUp() override
    {
        applySliderAppearance();
        Theme::applyToApplication();
        window.reset(buildMainWindow({.store = [this] { return &store; }}));
        window->setRevealWidth(47);
        window->show();
        test::drainEvents();
    }
    void save(const QString &name)
    {
        const QString path = test::saveScreenshot(window.get(), QFileInfo(name).completeBaseName());
        ASSERT_FALSE(path.isEmpty());
        EXPECT_EQ(QImage(path).size(), window->size());
    }
    // The window at the phone size (its least), at the size a first start takes on a full-HD
    // screen, and across the whole of that screen.
    static QList<QSize> sizes()
    {
        return {QSize(320, 568), firstStartFrame(QRect(0, 0, 1920, 1080)).size(),
                QSize(1920, 1080)};
    }
    static QString sized(const QString &stem, const QSize &size)
    {
        return QStringLiteral("%1-%2x%3.png").arg(stem).arg(size.width()).arg(size.height());
    }
    void resizeTo(const QSize &size)
    {
        window->resize(size);
        test::drainEvents();
    }
    void saveAtEverySize(const QString &stem)
    {
        for (const QSize &size : sizes()) {
            resizeTo(size);
            save(sized(stem, size));
        }
    }
    // A saved reversal with three phrase markers on the playback screen, reversed, halfway
    // through, with the loop row set to repeat.
    PlaybackViewController *showPlayback(const QString &library)
    {
        EXPECT_TRUE(store.open(test::scratchRoot() + library));
        const QString forward = Library::temporaryAudioPath();
        const QString reverse = Library::temporaryAudioPath();
        EXPECT_EQ(test::runShell(QStringLiteral("espeak-ng -s 130 -w '%1' 'Listen closely, the "
                                                "message is hidden in the words you say' && "
                                                "sox '%1' '%2' reverse")
                                     .arg(forward, reverse)),
                  0);
        auto recording = Recording::insertInManagedObjectContext(store);
        recording->setName(QStringLiteral("Backwards Hello"));
        recording->setMessage(QStringLiteral("I hear the sea"));
        recording->setDate(QDateTime(QDate(2024, 4, 30), QTime(21, 5)));
        recording->setWaveformImage(waveformImage(forward, QSizeF(225, 54), 4));
        recording->setAudioPath(forward, reverse);
        EXPECT_TRUE(store.save());
        // Three phrases heard in the reversal, on its own time line.
        QString error;
        const auto reversal =
            Player::open(recording->reverseAudioPath(), error, std::make_unique<NullAudioOutput>());
        EXPECT_TRUE(reversal) << error.toStdString();
        if (!reversal)
            return nullptr;
        const qint64 frames = reversal->frameCount();
        PhraseMarkerStore markers(store);
        for (const auto &[from, to, text] :
             {std::tuple{0.08, 0.22, QStringLiteral("I hear the sea")},
              std::tuple{0.40, 0.47, QStringLiteral("free thought")},
              std::tuple{0.70, 0.86, QStringLiteral("a little sun")}})
            EXPECT_TRUE(markers.addMarker(recording->rowID(),
                                          {0, {qint64(from * frames), qint64(to * frames)}, text}));

        auto *playback =
            new PlaybackViewController(store, [](const QString &path, QString &failure) {
                return Player::open(path, failure, std::make_unique<NullAudioOutput>());
            });
        playback->setRecording(recording);
        window->setContentViewController(playback);
        test::drainEvents();
        playback->ffRewind();
        playback->engine().seek(playback->engine().duration() * 0.55);
        playback->loopCount();
        return playback;
    }

    StoreContext store;
    std::unique_ptr<SidebarViewController> window;
};

TEST_F(Screenshots, SidebarOpen)
{
    window->setContentViewController(new GettingStartedViewController);
    window->showSidebar();
    ASSERT_TRUE(test::waitForSlide(*window));
    save(QStringLiteral("sidebar-open.png"));
}

TEST_F(Screenshots, Agreement)
{
    test::ScratchDefaults defaults;
    window->performSegue(QStringLiteral("EULA"));
    test::waitUntil([] { return false; }, std::chrono::milliseconds(400)); // let it rise
    save(QStringLiteral("agreement.png"));
}

TEST_F(Screenshots, GettingStarted)
{
    auto *screen = new GettingStartedViewController;
    window->setContentViewController(screen);
    test::drainEvents();
    screen->didSelectRowAtIndexPath(1);
    test::drainEvents();
    ASSERT_TRUE(test::waitUntil([&] { return !screen->isScrolling(); }));
    save(QStringLiteral("getting-started.png"));
}

TEST_F(Screenshots, RecordAtEverySize)
{
    saveAtEverySize(QStringLiteral("record"));
}

TEST_F(Screenshots, LibraryAtEverySize)
{
    ASSERT_TRUE(store.open(test::scratchRoot() + QStringLiteral("/screenshot-library.sql")));
    const QStringList names{QStringLiteral("First try"), QStringLiteral("Kitchen, late at night"),
                            QStringLiteral("Radio jingle"),
                            QStringLiteral("Stairway, the second verse at half speed with the "
                                           "chorus cut away"),
                            QStringLiteral("Voicemail")};
    for (int i = 0; i < names.size(); ++i) {
        auto recording = Recording::insertInManagedObjectContext(store);
        recording->setName(names[i]);
        recording->setDate(QDateTime(QDate(2024, 4, 26 + i), QTime(9 + i, 0)));
    }
    ASSERT_TRUE(store.save());
    window->menuViewController()->choose(SavedRecordingsViewController::kMenuIndex);
    test::drainEventsAndDeletions();
    saveAtEverySize(QStringLiteral("library"));
}

TEST_F(Screenshots, PlaybackWithMarkersAndCropAtEverySize)
{
    PlaybackViewController *playback = showPlayback(QStringLiteral("/screenshot-playback.sql"));
    ASSERT_NE(playback, nullptr);
    const QLabel *waveform = playback->view().editWaveformImageView;
    for (const QSize &size : sizes()) {
        resizeTo(size);
        ASSERT_TRUE(test::waitUntil([&] { return waveform->pixmap().size() == waveform->size(); }));
        save(sized(QStringLiteral("playback"), size));
        playback->crop();
        playback->rangeSlider()->setMin(0.2f);
        playback->rangeSlider()->setMax(0.7f);
        playback->cropRangeUpdated();
        test::drainEvents();
        save(sized(QStringLiteral("playback-crop"), size));
        playback->crop();
    }
}

TEST_F(Screenshots, LibrarySearch)
{
    ASSERT_TRUE(store.open(test::scratchRoot() + QStringLiteral("/screenshot-search.sql")));
    const QList<QStringList> records{
        {QStringLiteral("Stairway, second verse"), QStringLiteral("“here's to my sweet Satan”")},
        {QStringLiteral("Kitchen, late at night"), QString()},
        {QStringLiteral("Radio jingle"), QStringLiteral("sounds like “see you soon”")},
        {QStringLiteral("Satellite broadcast"), QString()},
        {QStringLiteral("Voicemail from Ana"), QStringLiteral("nothing yet")}};
    for (int i = 0; i < records.size(); ++i) {
        auto recording = Recording::insertInManagedObjectContext(store);
        recording->setName(records[i][0]);
        recording->setMessage(records[i][1]);
        recording->setDate(QDateTime(QDate(2024, 4, 26 + i), QTime(9 + i, 0)));
    }
    ASSERT_TRUE(store.save());
    window->menuViewController()->choose(SavedRecordingsViewController::kMenuIndex);
    test::drainEventsAndDeletions();
    auto *screen = qobject_cast<SavedRecordingsViewController *>(window->contentViewController());
    ASSERT_NE(screen, nullptr);
    window->resize(1024, 768);
    screen->searchField()->setFocus();
    screen->searchField()->setText(QStringLiteral("sat"));
    test::drainEvents();
    ASSERT_EQ(screen->model().rowCount(), 2);
    save(QStringLiteral("library-search.png"));
}

} // namespace

TEST_F(Screenshots, RecordAndPlaybackInGerman)
{
    // Built again after the translation is in, as a German start builds it.
    ASSERT_TRUE(installTranslations(QLocale(QLocale::German, QLocale::Germany)));
    const auto english = qScopeGuard([] { removeTranslations(); });
    window.reset(buildMainWindow({.store = [this] { return &store; }}));
    window->setRevealWidth(47);
    window->show();
    resizeTo(firstStartFrame(QRect(0, 0, 1920, 1080)).size());
    const auto *record = window->findChild<QAbstractButton *>(QStringLiteral("recordButton"));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->text(), QStringLiteral("Aufnehmen"));
    save(QStringLiteral("record-de.png"));

    PlaybackViewController *playback = showPlayback(QStringLiteral("/screenshot-german.sql"));
    ASSERT_NE(playback, nullptr);
    const QLabel *waveform = playback->view().editWaveformImageView;
    ASSERT_TRUE(test::waitUntil([&] { return waveform->pixmap().size() == waveform->size(); }));
    EXPECT_EQ(playback->view().ffRewindButton->text(), QStringLiteral("Rückwärts"));
    EXPECT_EQ(playback->view().speedTitleLabel->text(), QStringLiteral("Tempo"));
    save(QStringLiteral("playback-de.png"));
}
