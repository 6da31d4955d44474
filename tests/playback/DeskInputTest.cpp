// The playback screen driven as a desktop user drives it: mouse presses, drags and wheel turns
// delivered to the window at a point (so whatever lies on top there receives them), the keys
// of the panels, and windows larger than the phone screen.
#include "PlaybackFixture.h"

#include "screens/playback/SharePanel.h"
#include "screens/playback/SlidePanel.h"
#include "toolkit/InputAccessoryBar.h"
#include "toolkit/RangeSlider.h"
#include "toolkit/TextInputLinks.h"

#include <QFile>
#include <QGuiApplication>
#include <QInputMethod>
#include <QLabel>
#include <QLineEdit>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>
#include <QWheelEvent>
#include <QWindow>

using namespace murmelo;
using namespace murmelo::test;

namespace {

class DeskInput : public PlaybackFixture {
protected:
    // A point of a view in the window's coordinates.
    QPoint at(const QWidget *view, const QPointF &point)
    {
        return view->mapTo(screen.get(), point.toPoint());
    }
    // The point at this fraction of the waveform's width, on its middle line.
    QPoint onWaveform(double fraction)
    {
        const QLabel *waveform = screen->view().editWaveformImageView;
        return at(waveform, QPointF(waveform->width() * fraction, waveform->height() / 2.0));
    }
    QPoint thumbCentre(const QRectF &thumb)
    {
        const RangeSlider *range = screen->rangeSlider();
        const QPointF inWidget =
            thumb.center() + QPointF(RangeSlider::kGrabMargin, RangeSlider::kGrabMargin);
        return at(range, inWidget);
    }
    void drag(const QPoint &from, const QPoint &to)
    {
        QTest::mousePress(window(), Qt::LeftButton, {}, from);
        QTest::mouseMove(window(), (from + to) / 2);
        QTest::mouseMove(window(), to);
        QTest::mouseRelease(window(), Qt::LeftButton, {}, to);
        drainEvents();
    }
    void type(const QString &text)
    {
        for (const QChar c : text)
            QTest::keyClick(window(), c.toLatin1());
        drainEvents();
    }
    void finishSlide()
    {
        if (QPropertyAnimation *slide = screen->saveReversalSlide().animation())
            slide->setCurrentTime(SlidePanel::kMilliseconds);
    }
    void openSong()
    {
        openRecording(makeRecording(QStringLiteral("Song")));
        screen->activateWindow();
        ASSERT_TRUE(waitUntil([&] { return screen->isActiveWindow(); }));
    }
    void resizeTo(const QSize &size)
    {
        screen->resize(size);
        ASSERT_TRUE(waitUntil([&] { return screen->size() == size; }));
        drainEvents();
    }
};

TEST_F(DeskInput, ClickAndDragOnTheWaveformMoveThePosition)
{
    openFresh();
    QTest::mouseClick(window(), Qt::LeftButton, {}, onWaveform(0.75));
    drainEvents();
    EXPECT_NEAR(screen->engine().currentTime(), 7.5, 0.1);

    drag(onWaveform(0.25), onWaveform(0.5));
    EXPECT_NEAR(screen->engine().currentTime(), 5.0, 0.1);
    EXPECT_EQ(screen->view().currentTimeLabel->text(), "0:05");
}

TEST_F(DeskInput, RangeHandlesDragAndLieAboveTheWaveform)
{
    openSong();
    screen->crop();
    RangeSlider *range = screen->rangeSlider();
    const QObjectList order = screen->children();
    EXPECT_GT(order.indexOf(range), order.indexOf(screen->view().editView));

    const QPoint minThumb = thumbCentre(range->minThumbFrame());
    drag(minThumb, minThumb + QPoint(60, 0));
    EXPECT_GT(range->min(), 0.2f);
    EXPECT_FLOAT_EQ(range->max(), 1.0f);

    const QPoint maxThumb = thumbCentre(range->maxThumbFrame());
    drag(maxThumb, maxThumb - QPoint(60, 0));
    EXPECT_LT(range->max(), 0.8f);
    EXPECT_GT(range->min(), 0.2f);
    // The labels follow a drag as they follow any change of the range.
    EXPECT_NE(screen->view().cropEndLabel->text(), "0:10");
}

TEST_F(DeskInput, SaveCropWaitsForARangeAndCloseLeavesCropMode)
{
    openSong();
    const PlaybackView &v = screen->view();
    QTest::mouseClick(window(), Qt::LeftButton, {},
                      at(v.cropButton, v.cropButton->rect().center()));
    ASSERT_TRUE(screen->isCropMode());
    EXPECT_FALSE(v.saveCropButton->isEnabled());
    EXPECT_TRUE(v.cropHintLabel->text().startsWith("Drag a handle to crop"));

    const QPoint minThumb = thumbCentre(screen->rangeSlider()->minThumbFrame());
    drag(minThumb, minThumb + QPoint(40, 0));
    EXPECT_TRUE(v.saveCropButton->isEnabled());
    EXPECT_TRUE(v.cropHintLabel->text().startsWith("Choose the part to keep"));

    QTest::mouseClick(window(), Qt::LeftButton, {},
                      at(v.closeSaveCropButton, v.closeSaveCropButton->rect().center()));
    drainEvents();
    EXPECT_FALSE(screen->isCropMode());
    EXPECT_FALSE(v.cropButton->isChecked());
    EXPECT_TRUE(screen->rangeSlider()->isHidden());
    EXPECT_TRUE(v.saveCropView->isHidden());
    EXPECT_FALSE(v.scrubberSlider->isHidden());
    // Back to seeking with the mouse.
    QTest::mouseClick(window(), Qt::LeftButton, {}, onWaveform(0.75));
    EXPECT_NEAR(screen->engine().currentTime(), 7.5, 0.1);
}

TEST_F(DeskInput, OneWheelNotchOverTheSpeedIsOneShownStepAndIsStoredLikeADrag)
{
    openSong();
    QSlider *speed = screen->view().speedSlider;
    const QLabel *shown = screen->view().speedLabel;
    const QPointF point = at(speed, speed->rect().center());
    const auto turn = [&](int delta) {
        QWheelEvent event(point, window()->mapToGlobal(point), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QGuiApplication::sendEvent(window(), &event);
        drainEvents();
    };
    turn(120);
    EXPECT_EQ(speed->value(), 110);
    EXPECT_EQ(shown->text(), QStringLiteral("1.1\u00d7"));
    const auto stored = storedRecordings();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_FLOAT_EQ(stored.front()->speedValue(), 1.1f);
    EXPECT_FLOAT_EQ(screen->engine().rate(), 1.1f);

    // A fine wheel's small turns add up to a notch.
    turn(-60);
    EXPECT_EQ(speed->value(), 110);
    turn(-60);
    EXPECT_EQ(speed->value(), 100);

    // Between two shown steps (after a drag) a notch goes to the next step shown.
    speed->setValue(117); // shown as 1.2
    turn(-120);
    EXPECT_EQ(shown->text(), QStringLiteral("1.1\u00d7"));
    speed->setValue(103); // shown as 1.0
    turn(120);
    EXPECT_EQ(shown->text(), QStringLiteral("1.1\u00d7"));

    // At the ends the speed stays put.
    speed->setValue(50);
    turn(-360);
    EXPECT_EQ(speed->value(), 50);
    speed->setValue(200);
    turn(120);
    EXPECT_EQ(speed->value(), 200);
}

TEST_F(DeskInput, EnterSavesAndEscapeCancelsThePanels)
{
    openFresh();
    screen->activateWindow();
    ASSERT_TRUE(waitUntil([&] { return screen->isActiveWindow(); }));
    const PlaybackView &v = screen->view();

    screen->save();
    finishSlide();
    ASSERT_TRUE(v.titleTextField->hasFocus());
    key(Qt::Key_Escape);
    finishSlide();
    EXPECT_TRUE(v.saveReversalView->isHidden());
    EXPECT_TRUE(storedRecordings().empty());

    screen->save();
    finishSlide();
    type(QStringLiteral("Evening"));
    key(Qt::Key_Tab);
    ASSERT_TRUE(v.messageTextView->hasFocus());
    type(QStringLiteral("two"));
    key(Qt::Key_Return, Qt::ShiftModifier);
    type(QStringLiteral("lines"));
    key(Qt::Key_Return);
    finishSlide();
    EXPECT_TRUE(v.saveReversalView->isHidden());
    auto stored = storedRecordings();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored.front()->name(), "Evening");
    EXPECT_EQ(stored.front()->message(), "two\nlines");
    // Focus is back on the screen: its keys work again.
    key(Qt::Key_Space);
    EXPECT_TRUE(screen->engine().isPlaying());
    key(Qt::Key_Space);

    // In crop mode Enter does nothing for the whole range, cuts a real one; Escape leaves.
    screen->crop();
    key(Qt::Key_Return);
    EXPECT_TRUE(screen->view().waitView->isHidden());
    EXPECT_EQ(storedRecordings().size(), 1u);
    key(Qt::Key_Escape);
    EXPECT_FALSE(screen->isCropMode());

    screen->crop();
    screen->rangeSlider()->setMin(0.3f);
    screen->cropRangeUpdated();
    v.croppedNameTextField->setFocus();
    type(QStringLiteral("Middle"));
    key(Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_TRUE(waitUntil([&] { return storedRecordings().size() == 2u; }));
    EXPECT_EQ(storedRecordings().back()->name(), "Middle");
    EXPECT_FALSE(screen->isCropMode());
}

TEST_F(DeskInput, SaveAndSaveCropClickedOnTheWindowStoreAFreshReversalAndItsCrop)
{
    openFresh();
    screen->activateWindow();
    ASSERT_TRUE(waitUntil([&] { return screen->isActiveWindow(); }));
    const PlaybackView &v = screen->view();
    const auto click = [&](const QWidget *button) {
        QTest::mouseClick(window(), Qt::LeftButton, {}, at(button, button->rect().center()));
        drainEvents();
    };
    const QString forward = screen->audioPath();

    click(v.saveButton);
    finishSlide();
    click(v.titleTextField);
    type(QStringLiteral("Evening"));
    click(v.messageTextView);
    type(QStringLiteral("heard it"));
    click(v.saveReversalButton);
    finishSlide();
    auto stored = storedRecordings();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored.front()->name(), "Evening");
    EXPECT_EQ(stored.front()->message(), "heard it");
    EXPECT_FALSE(QFile::exists(forward));
    EXPECT_TRUE(QFile::exists(stored.front()->currentAudioPath()));
    EXPECT_EQ(v.editTitleLabel->text(), "Evening");

    click(v.cropButton);
    ASSERT_TRUE(screen->isCropMode());
    const QPoint minThumb = thumbCentre(screen->rangeSlider()->minThumbFrame());
    drag(minThumb, minThumb + QPoint(60, 0));
    click(v.saveCropButton);
    ASSERT_TRUE(waitUntil([&] { return storedRecordings().size() == 2u; }));
    ASSERT_TRUE(waitUntil([&] { return v.waitView->isHidden(); }));
    stored = storedRecordings();
    EXPECT_EQ(stored.back()->name(), "Evening Cropped");
    EXPECT_EQ(stored.back()->message(), "heard it");
    EXPECT_EQ(screen->recording()->name(), "Evening Cropped");
    EXPECT_EQ(screen->audioPath(), screen->recording()->currentAudioPath());
    EXPECT_LT(readFrames(screen->audioPath()).size(),
              readFrames(stored.front()->currentAudioPath()).size());
    EXPECT_FALSE(screen->isCropMode());
    EXPECT_EQ(v.editTitleLabel->text(), "Evening Cropped");
}

TEST_F(DeskInput, TheKeyboardBarComesOnlyWithAnOnScreenKeyboardAndIsReadable)
{
    openFresh();
    const PlaybackView &v = screen->view();
    screen->save();
    finishSlide();
    ASSERT_TRUE(v.titleTextField->hasFocus());
    InputAccessoryBar *bar = TextInputLinks::of(v.titleTextField).inputAccessoryView();
    ASSERT_TRUE(bar);
    EXPECT_FALSE(bar->isVisible());

    TextInputLinks::setOnScreenKeyboardProbe([] { return true; });
    emit QGuiApplication::inputMethod()->visibleChanged();
    TextInputLinks::setOnScreenKeyboardProbe({});
    ASSERT_TRUE(bar->isVisible());
    const QImage shot = screen->grab().toImage();
    for (QToolButton *button : bar->findChildren<QToolButton *>()) {
        if (!button->isEnabled() || !button->isVisible())
            continue;
        const QRect frame(button->mapTo(screen.get(), QPoint()), button->size());
        const int background = qGray(shot.pixel(frame.topLeft() + QPoint(1, 1)));
        int contrast = 0;
        for (int y = frame.top(); y <= frame.bottom(); ++y)
            for (int x = frame.left(); x <= frame.right(); ++x)
                contrast = std::max(contrast, std::abs(qGray(shot.pixel(x, y)) - background));
        EXPECT_GT(contrast, 120) << button->text().toStdString();
    }
}

TEST_F(DeskInput, DeleteQuestionDefaultsToNo)
{
    openSong();
    screen->deleteReversal();
    ASSERT_EQ(alerts.alerts().size(), 1);
    const Alert &question = alerts.alerts().front();
    ASSERT_EQ(question.buttons(), (QStringList{"No", "Yes"}));
    EXPECT_EQ(question.defaultButton, 0);
}

TEST_F(DeskInput, AWideWindowGetsAWideWaveformDrawnFromTheAudio)
{
    auto song = makeRecording(QStringLiteral("A song with a title far too long for the phone "
                                             "screen's title line"),
                              QStringLiteral("hidden"));
    song->setWaveformImage(QImage(225, 54, QImage::Format_ARGB32_Premultiplied));
    openRecording(song);
    const PlaybackView &v = screen->view();
    EXPECT_TRUE(v.editTitleLabel->text().endsWith(QChar(0x2026)));
    EXPECT_EQ(v.editWaveformImageView->pixmap().size(), QSize(225, 54));

    resizeTo(QSize(1024, 768));
    const QLabel *waveform = v.editWaveformImageView;
    EXPECT_EQ(waveform->width(), 1024 - 95);
    EXPECT_GT(waveform->height(), 54);
    ASSERT_TRUE(waitUntil([&] { return waveform->pixmap().size() == waveform->size(); }));
    // Bars reach the right end: the whole audio is drawn across the width.
    const QImage drawn = waveform->pixmap().toImage();
    int barsAtTheEnd = 0;
    for (int x = drawn.width() * 9 / 10; x < drawn.width(); ++x)
        barsAtTheEnd += qAlpha(drawn.pixel(x, drawn.height() / 2 - 4)) > 0;
    EXPECT_GT(barsAtTheEnd, 10);
    EXPECT_EQ(v.editTitleLabel->text(), song->name());
    EXPECT_TRUE(v.editTitleLabel->toolTip().isEmpty());
    // The controls stay together in the middle; the panel spans the bottom edge.
    EXPECT_EQ(QRectF(v.playButton->geometry()).center().x(), 512);
    EXPECT_EQ(v.editReversalView->geometry(), QRect(0, 768 - 176, 1024, 176));
    // The send and publish actions added to the panel after it was made stay with its buttons,
    // spanning the row above them, each wide enough for its whole label.
    const QToolButton *send = screen->sharePanel().savedShareButton;
    const QToolButton *sign = screen->sharePanel().savedInfoButton;
    EXPECT_EQ(send->geometry().left(), v.editButton->geometry().left());
    EXPECT_EQ(sign->geometry().right(), v.deleteButton->geometry().right());
    for (const QToolButton *button :
         {send, static_cast<const QToolButton *>(screen->publishButton())})
        EXPECT_GE(button->width(), button->sizeHint().width()) << button->text().toStdString();
    EXPECT_EQ(send->geometry().top(), screen->publishButton()->geometry().top());
    EXPECT_NEAR(QRectF(v.messageLabel->geometry() | v.editMessageButton->geometry()).center().x(),
                512, 1);
    // The record's picture stays as it was.
    EXPECT_EQ(song->waveformImage().size(), QSize(225, 54));

    QTest::mouseClick(window(), Qt::LeftButton, {}, onWaveform(0.75));
    EXPECT_NEAR(screen->engine().currentTime(), 7.5, 0.1);
    screen->crop();
    EXPECT_EQ(screen->rangeSlider()->controlFrame().width(), waveform->width() + 9);
    const QPoint maxThumb = thumbCentre(screen->rangeSlider()->maxThumbFrame());
    drag(maxThumb, maxThumb - QPoint(200, 0));
    EXPECT_NEAR(screen->rangeSlider()->max(), 1 - 200.0 / (waveform->width() + 9 - 32), 0.01);
    screen->crop();

    screen->save();
    resizeTo(QSize(800, 600));
    EXPECT_EQ(v.saveReversalView->geometry(), QRect(0, 600 - 268, 800, 268));

    // Under a tool bar the screen is shorter than the phone's; the panel stays within it.
    resizeTo(QSize(320, 524));
    EXPECT_EQ(v.editReversalView->geometry(), QRect(0, 524 - 176, 320, 176));
    EXPECT_LE(v.speedSlider->geometry().bottom(), 524 - 176);

    resizeTo(QSize(320, 568));
    EXPECT_EQ(waveform->geometry(), QRect(47, 48, 225, 54));
    EXPECT_EQ(waveform->pixmap().size(), QSize(225, 54));
    EXPECT_EQ(screen->rangeSlider()->controlFrame().size(), QSize(234, 16));
}

} // namespace

TEST_F(DeskInput, UnderTheMailStripTheRowsCloseUpAndTheBottomPanelStaysWhole)
{
    openFresh();
    const PlaybackView &v = screen->view();
    // The window's least height less its title bar, then less a mail strip too.
    for (const int height : {524, PlaybackView::kMinimumHeight, 484}) {
        SCOPED_TRACE(height);
        resizeTo(QSize(320, height));
        const QRect panel = v.findReversalView->geometry();
        EXPECT_EQ(panel, QRect(0, height - 176, 320, 176));
        // Top to bottom, each row below the one before and the last above the panel.
        const QList<QRect> rows = {v.currentTimeLabel->geometry(), v.messageLabel->geometry(),
                                   v.playButton->geometry(),       v.ffRewindButton->geometry(),
                                   v.speedSlider->geometry(),      v.loopCountButton->geometry()};
        for (int i = 1; i < rows.size(); ++i)
            EXPECT_LT(rows[i - 1].bottom(), rows[i].top()) << i;
        // Every row clear of the panel where there is room for it; below that only the loop
        // row goes under it.
        const QRect &above = height >= PlaybackView::kMinimumHeight ? rows.back() : rows.at(4);
        EXPECT_LT(above.bottom(), panel.top());
        for (QWidget *button : v.findReversalView->findChildren<QPushButton *>())
            EXPECT_TRUE(QRect(QPoint(), panel.size()).contains(button->geometry()));
    }
}
