#include "SavedRecordingsTestSupport.h"
#include "library/PhraseMarkerStore.h"
#include "screens/playback/RecordingHandOff.h"
#include "support/RecordingAlertPresenter.h"
#include "toolkit/Theme.h"

#include <QTest>
#include <QWindow>

using namespace murmelo;
using namespace murmelo::test;

namespace {

struct PlaybackScreen : ViewController, RecordingHandOff {
    std::shared_ptr<Recording> recording;
    int shared = 0;
    void setRecording(std::shared_ptr<Recording> r) override { recording = std::move(r); }
    void share() override { ++shared; }
};

// The rows of the library as a user meets them: through the window, at screen points.
class LibraryRows : public SavedRecordingsFixture {
protected:
    void showAt(int width, int height)
    {
        screen = std::make_unique<SavedRecordingsViewController>(*context, players.factory());
        screen->setDurationReader([this](const QString &path) {
            ++durationReads;
            return durations.value(path, -1.0);
        });
        screen->resize(width, height);
        screen->show();
        drainEvents();
    }
    QWindow *window() { return screen->windowHandle(); }
    void click(QWidget *widget, QPoint at = {-1, -1})
    {
        if (at.x() < 0)
            at = widget->rect().center();
        QTest::mouseClick(window(), Qt::LeftButton, {}, widget->mapTo(screen.get(), at));
        drainEvents();
    }
    void press(Qt::Key key)
    {
        QTest::keyClick(window(), key);
        drainEvents();
    }
    QRect inScreen(QWidget *widget) const
    {
        return QRect(widget->mapTo(screen.get(), QPoint(0, 0)), widget->size());
    }

    QHash<QString, double> durations;
    int durationReads = 0;
};

TEST_F(LibraryRows, RowsTellLengthMarkersOriginAndTheMessagesFirstLine)
{
    auto plain = add(QStringLiteral("Plain"), 0);
    auto rich = add(QStringLiteral("Rich"), 5);
    rich->setMessage(QStringLiteral("  the devil is here\nsecond line"));
    rich->setIsImportedValue(true);
    save();
    durations[rich->reverseAudioPath()] = 74.9;
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(PhraseMarkerStore(*context).addMarker(rich->rowID(), {0, {i, i + 10}, "x"}));
    showAt(320, 568);

    RecordingCell *richRow = cell(0);
    EXPECT_EQ(richRow->detailsLabel()->text(), QStringLiteral("1:14 · 2 markers · imported"));
    EXPECT_EQ(richRow->messageLabel()->text(), QStringLiteral("the devil is here"));
    EXPECT_TRUE(richRow->messageLabel()->isVisible());
    // Nothing known about the other row: no length, no markers, no message line.
    EXPECT_TRUE(cell(1)->detailsLabel()->text().isEmpty());
    EXPECT_FALSE(cell(1)->messageLabel()->isVisible());
    const int reads = durationReads;
    screen->resize(330, 568);
    plain->setName(QStringLiteral("Plain again"));
    save();
    drainEvents();
    EXPECT_EQ(durationReads, reads) << "a saved file's length is read once";
}

TEST_F(LibraryRows, AWideRowKeepsItsActionsBesideTheTextsAndNeverOverTheDate)
{
    auto recording = add(QStringLiteral("Kitchen, late at night"), 0);
    save();
    durations[recording->reverseAudioPath()] = 14.0;
    showAt(1920, 600);
    RecordingCell *row = cell(0);
    click(row->infoView(), {60, 20});
    ASSERT_TRUE(waitUntil([&] { return row->panelOffset() == row->openOffset(); }));
    const QRect panel = inScreen(row->editView());
    const QRect date = inScreen(row->dateLabel());
    EXPECT_LT(panel.left(), 14 + RecordingCell::kTextWidth + 40) << "beside the texts";
    EXPECT_GE(panel.left(), date.left() + row->dateLabel()->sizeHint().width());
    EXPECT_FALSE(panel.intersects(date));
    EXPECT_GE(row->dateLabel()->width(), row->dateLabel()->sizeHint().width()) << "date whole";
    EXPECT_EQ(row->titleLabel()->text(), recording->name()) << "title not cut";

    // The selection shows: a bar in the selection colour at the row's left edge, and a face
    // that differs from an unselected row's.
    const QImage picture = row->grab().toImage();
    const QColor bar = picture.pixelColor(1, RecordingCell::kHeight / 2);
    EXPECT_LE(std::abs(bar.red() - Theme::highlight.red()) +
                  std::abs(bar.green() - Theme::highlight.green()) +
                  std::abs(bar.blue() - Theme::highlight.blue()),
              6)
        << bar.name().toStdString();
    EXPECT_NE(SavedRecordingsViewController::kSelectedFaceColor,
              SavedRecordingsViewController::kFaceColor);

    // A click on Play at its place in the window plays; the icon is drawn light on the panel.
    click(row->playButton());
    EXPECT_TRUE(recording->playingValue());
    const QImage icon = row->playButton()->icon().pixmap(22, 22).toImage();
    int light = 0;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x)
            light += qAlpha(icon.pixel(x, y)) > 128 && qGray(icon.pixel(x, y)) > 200;
    EXPECT_GT(light, 30) << "a readable stop glyph";
}

TEST_F(LibraryRows, TheRowsActionsAreReachedAndPressedByKeyboard)
{
    add(QStringLiteral("A"), 5);
    add(QStringLiteral("B"), 0);
    save();
    Storyboard storyboard;
    std::unique_ptr<PlaybackScreen> opened;
    storyboard.registerSegue(QStringLiteral("Playback"), [&] {
        opened = std::make_unique<PlaybackScreen>();
        return opened.get();
    });
    showAt(320, 568);
    screen->setStoryboard(&storyboard);
    screen->tableView()->setFocus();

    press(Qt::Key_Down);
    press(Qt::Key_Right);
    ASSERT_TRUE(cell(0)->isPanelOpen());
    EXPECT_TRUE(cell(0)->playButton()->hasFocus());
    press(Qt::Key_Space);
    EXPECT_TRUE(cell(0)->recording()->playingValue()) << "Space presses the focused button";
    press(Qt::Key_Return);
    EXPECT_FALSE(cell(0)->recording()->playingValue()) << "so does Enter";
    press(Qt::Key_Right);
    EXPECT_TRUE(cell(0)->shareButton()->hasFocus());
    press(Qt::Key_Right);
    press(Qt::Key_Right);
    press(Qt::Key_Right);
    EXPECT_TRUE(cell(0)->deleteButton()->hasFocus()) << "Right stops at the last action";
    press(Qt::Key_Escape);
    EXPECT_FALSE(cell(0)->isPanelOpen());
    EXPECT_TRUE(screen->tableView()->hasFocus());

    // Tab also goes there; Share opens the playback screen with its share panel.
    press(Qt::Key_Tab);
    ASSERT_TRUE(cell(0)->playButton()->hasFocus());
    press(Qt::Key_Right);
    press(Qt::Key_Return);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->recording, cell(0)->recording());
    EXPECT_EQ(opened->shared, 1);
}

TEST_F(LibraryRows, TheDeleteQuestionNamesTheRecordingAndEnterKeepsIt)
{
    add(QStringLiteral("Radio jingle"), 0);
    auto untitled = add(QString(), 5);
    save();
    showAt(320, 568);
    RecordingAlertPresenter alerts;
    click(cell(1)->infoView());
    ASSERT_TRUE(waitUntil([&] { return settledOpen(cell(1)); }));
    click(cell(1)->deleteButton());
    ASSERT_EQ(alerts.pendingCount(), 1);
    EXPECT_EQ(alerts.alerts().last().title, QStringLiteral("Delete \"Radio jingle\"?"));
    EXPECT_EQ(alerts.alerts().last().buttons(), (QStringList{"No", "Yes"}));
    EXPECT_EQ(alerts.alerts().last().defaultButton, 0) << "No is the default";
    alerts.press(QStringLiteral("No"));
    drainEvents();
    EXPECT_EQ(screen->model().rowCount(), 2);

    screen->tableView()->setFocus();
    press(Qt::Key_Up);
    press(Qt::Key_Delete);
    ASSERT_EQ(alerts.pendingCount(), 1);
    EXPECT_EQ(alerts.alerts().last().title, QStringLiteral("Delete this reversal?"));
    alerts.press(QStringLiteral("Yes"));
    drainEvents();
    EXPECT_TRUE(untitled->isDeleted());
    EXPECT_EQ(shownTitles(), QStringList{"Radio jingle"});
}

} // namespace
