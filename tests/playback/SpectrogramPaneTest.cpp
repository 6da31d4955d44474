// The spectrogram pane on the playback screen, driven through the window: S and the button show
// it, and its pixels follow the waveform's zoom, scroll and direction.
#include "PlaybackFixture.h"

#include "audio/FrequencyAxis.h"
#include "library/Library.h"
#include "screens/playback/SpectrogramPane.h"
#include "support/TestWav.h"

#include <QDeadlineTimer>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <cmath>
#include <numbers>

using namespace murmelo;
using namespace murmelo::test;

namespace {

class SpectrogramPaneTest : public PlaybackFixture {
protected:
    // Five seconds at 500 Hz, then five at 2 kHz; the reversal is the same frames backwards.
    void openTones()
    {
        std::vector<qint16> frames(size_t(10 * kRate));
        for (size_t i = 0; i < frames.size(); ++i) {
            const double hertz = i < frames.size() / 2 ? 500 : 2000;
            frames[i] = qint16(
                std::lround(12000 * std::sin(2 * std::numbers::pi * hertz * double(i) / kRate)));
        }
        const QString forward = Library::temporaryAudioPath();
        const QString reverse = Library::temporaryAudioPath();
        writeFileBytes(forward, monoWav(frames, kRate));
        std::reverse(frames.begin(), frames.end());
        writeFileBytes(reverse, monoWav(frames, kRate));
        screen->setAudioPath(forward);
        screen->setReverseAudioPath(reverse);
        screen->setWaveformImage(QImage(225, 54, QImage::Format_ARGB32_Premultiplied));
        screen->resize(900, 800);
        screen->show();
        drainEvents();
    }
    SpectrogramPane *pane() const { return screen->view().spectrogramPane; }
    // A point of the pane's picture, as a fraction of its width, at this frequency.
    QPoint onPicture(double fraction, double hertz)
    {
        const QRect area = pane()->pictureRect();
        const double y = pane()->axis()->yOf(hertz, area.height());
        return pane()->mapTo(screen.get(), QPoint(area.left() + int(fraction * area.width()),
                                                  area.top() + int(std::lround(y))));
    }
    // Waits until the pane has no tile left to make, then grabs the window.
    QImage settled()
    {
        const QDeadlineTimer deadline(30000);
        do {
            drainEvents();
            QTest::qWait(20);
        } while (pane()->tiles().pending() > 0 && !deadline.hasExpired());
        QTest::qWait(50);
        drainEvents();
        return screen->grab().toImage();
    }
    // How bright the window is at a point (the colour map's lightness rises with loudness).
    static double brightness(const QImage &image, const QPoint &point)
    {
        const QRgb c = image.pixel(point);
        return 0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c);
    }
    // Whether the tone at `hertz` is what the picture shows at this part of its width.
    bool toneAt(const QImage &image, double fraction, double hertz)
    {
        const double other = hertz == 500 ? 2000 : 500;
        return brightness(image, onPicture(fraction, hertz)) >
               brightness(image, onPicture(fraction, other)) + 60;
    }
};

TEST_F(SpectrogramPaneTest, SAndTheButtonShowAndHideThePaneUnderTheWaveform)
{
    openTones();
    EXPECT_FALSE(pane()->isVisible());
    QTest::keyClick(window(), Qt::Key_S);
    drainEvents();
    ASSERT_TRUE(pane()->isVisible());
    EXPECT_TRUE(screen->view().spectrogramButton->isChecked());
    // Under the waveform and its times, above the transport, which moved down to make room.
    EXPECT_GT(pane()->y(), screen->view().currentTimeLabel->geometry().bottom());
    EXPECT_GT(screen->view().playButton->y(), pane()->geometry().bottom());
    EXPECT_GE(pane()->height(), PlaybackView::kSpectrogramLeast);

    QToolButton *button = screen->view().spectrogramButton;
    QTest::mouseClick(window(), Qt::LeftButton, {},
                      button->mapTo(screen.get(), button->rect().center()));
    drainEvents();
    EXPECT_FALSE(pane()->isVisible());
    EXPECT_LT(screen->view().playButton->y(), pane()->y() + PlaybackView::kSpectrogramLeast);
}

TEST_F(SpectrogramPaneTest, ThePictureFollowsDirectionZoomAndScroll)
{
    openTones();
    QTest::keyClick(window(), Qt::Key_S);
    QImage image = settled();
    // Forward: the low tone on the left, the high one on the right.
    EXPECT_TRUE(toneAt(image, 0.25, 500));
    EXPECT_TRUE(toneAt(image, 0.75, 2000));

    // Reversed, the picture runs as the reversal plays: the high tone comes first.
    QTest::keyClick(window(), Qt::Key_R);
    image = settled();
    EXPECT_TRUE(toneAt(image, 0.25, 2000));
    EXPECT_TRUE(toneAt(image, 0.75, 500));
    QTest::keyClick(window(), Qt::Key_R);

    // Zoomed in on the start, the low tone fills the width; scrolled to the end, the high one.
    screen->zoomWaveform(4, 0);
    image = settled();
    EXPECT_TRUE(toneAt(image, 0.1, 500));
    EXPECT_TRUE(toneAt(image, 0.9, 500));
    screen->panWaveform(3);
    image = settled();
    EXPECT_TRUE(toneAt(image, 0.1, 2000));
    EXPECT_TRUE(toneAt(image, 0.9, 2000));
    // A click on the picture moves the playback to the time under it.
    QTest::mouseClick(window(), Qt::LeftButton, {}, onPicture(0.5, 1000));
    drainEvents();
    EXPECT_NEAR(screen->engine().currentTime(),
                screen->timeline().visibleStart() + screen->timeline().span() / 2, 0.05);
}

TEST_F(SpectrogramPaneTest, ThePointerReadsTimeFrequencyNoteAndPitch)
{
    openTones();
    QTest::keyClick(window(), Qt::Key_S);
    settled();
    const QPoint point = onPicture(0.25, 440);
    QTest::mouseMove(window(), point);
    drainEvents();
    const QString text = pane()->readout(pane()->mapFrom(screen.get(), point));
    // 2.5 s in, 440 Hz is A4, and the tone there has a pitch of 500 Hz (B4).
    EXPECT_TRUE(text.startsWith(QStringLiteral("0:02."))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral(" A4"))) << text.toStdString();
    const QRegularExpressionMatch pitch =
        QRegularExpression(QStringLiteral("pitch (\\d+) Hz B4$")).match(text);
    ASSERT_TRUE(pitch.hasMatch()) << text.toStdString();
    EXPECT_NEAR(pitch.captured(1).toInt(), 500, 5);
    // Outside the picture there is nothing to read.
    EXPECT_TRUE(pane()->readout(QPointF(2, 2)).isEmpty());
}

} // namespace
