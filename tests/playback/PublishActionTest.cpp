#include "PlaybackFixture.h"
#include "library/PhraseMarkerStore.h"
#include "platform/Defaults.h"
#include "screens/playback/PublishFlow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTest>
#include <QToolButton>

namespace murmelo::test {
namespace {

class PublishAction : public PlaybackFixture {
protected:
    void click(QWidget *widget)
    {
        // Later than a double-click would be, so a click of the test before cannot pair with it.
        QWidget *window = widget->window();
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                          widget->mapTo(window, widget->rect().center()),
                          QApplication::doubleClickInterval() + 50);
        drainEvents();
    }
};

// "Publish…", clicked where it shows on a saved recording's panel: the save dialog is asked
// (suggesting the title as a name), the page appears where it answered with the marker's text
// in it, the folder is remembered for next time, and an alert says where the page is.
TEST_F(PublishAction, ClickWritesThePageWhereTheDialogSaidAndRemembersTheFolder)
{
    auto recording = makeRecording(QStringLiteral("Found: Here!"), QStringLiteral("a message"));
    ASSERT_TRUE(PhraseMarkerStore(*store).addMarker(
        recording->rowID(), {0, {kRate, 3 * kRate}, QStringLiteral("heard <this>")}));
    openRecording(recording);
    const QString folder = scratchRoot() + QStringLiteral("/pages");
    QDir().mkpath(folder);
    QStringList suggested;
    QString answer = folder + QStringLiteral("/find"); // no suffix: .html is added
    screen->publishFlow().setTargetChooser([&](QWidget *, const QString &path) {
        suggested << path;
        return answer;
    });

    QToolButton *button = screen->publishButton();
    ASSERT_TRUE(button->isVisible());
    click(button);
    ASSERT_EQ(suggested.size(), 1);
    EXPECT_TRUE(suggested[0].endsWith(QStringLiteral("/found-here.html")))
        << suggested[0].toStdString();
    ASSERT_TRUE(
        waitUntil([&] { return !screen->publishFlow().isBusy(); }, std::chrono::seconds(30)));
    const QString page = folder + QStringLiteral("/find.html");
    QFile file(page);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray html = file.readAll();
    EXPECT_TRUE(html.contains("heard &lt;this&gt;"));
    EXPECT_TRUE(html.contains("data:audio/mpeg;base64,"));
    ASSERT_FALSE(alerts.alerts().isEmpty());
    EXPECT_EQ(alerts.alerts().last().title, QStringLiteral("Published"));
    EXPECT_TRUE(alerts.alerts().last().message.contains(page));
    EXPECT_EQ(screen->publishFlow().progressDialog(), nullptr);

    // The next time the dialog opens in the folder chosen last; cancelling it writes nothing.
    answer.clear();
    click(button);
    ASSERT_EQ(suggested.size(), 2);
    EXPECT_EQ(QFileInfo(suggested[1]).absolutePath(), folder);
    EXPECT_FALSE(screen->publishFlow().isBusy());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 1);
}

// A recording whose audio has gone says why instead of leaving a page.
TEST_F(PublishAction, MissingAudioIsReportedAndNoPageIsLeft)
{
    auto recording = makeRecording(QStringLiteral("gone"));
    openRecording(recording);
    QFile::remove(recording->currentAudioPath());
    const QString page = scratchRoot() + QStringLiteral("/gone.html");
    screen->publishFlow().setTargetChooser([&](QWidget *, const QString &) { return page; });
    click(screen->publishButton());
    ASSERT_TRUE(waitUntil([&] { return !screen->publishFlow().isBusy(); }));
    EXPECT_FALSE(QFile::exists(page));
    ASSERT_FALSE(alerts.alerts().isEmpty());
    EXPECT_EQ(alerts.alerts().last().title, QStringLiteral("Cannot Publish"));
    EXPECT_TRUE(alerts.alerts().last().message.contains(recording->currentAudioPath()));
}

} // namespace
} // namespace murmelo::test
