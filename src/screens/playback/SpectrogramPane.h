#pragma once

#include "audio/FrequencyAxis.h"
#include "playback/SpectrogramTiles.h"
#include "playback/WaveformTimeline.h"
#include "screens/playback/MarkerOverlay.h"

#include <QWidget>
#include <optional>

class QToolButton;

namespace murmelo {

// The spectrogram and pitch of the forward audio under the waveform, on the waveform's time line:
// the same stretch, zoom and direction, with the phrase markers over it. The frequency axis is
// labelled in the left margin (linear or logarithmic, switched with the button there) and the
// colours' decibels in the right one. The pitch contour is drawn over the picture; the pointer
// reads out its time, frequency and nearest note, and the pitch of the stretch under it.
// Tiles are made off the main thread, those in view first; until one is ready its place shows
// a coarser or finer one already made, or the background.
class SpectrogramPane : public QWidget {
    Q_OBJECT
public:
    // The picture lies between these margins, under the waveform's picture.
    static constexpr int kLeftMargin = 47;
    static constexpr int kRightMargin = 48;

    explicit SpectrogramPane(QWidget *parent = nullptr);

    void setSource(const QString &forwardPath);
    void setTimeline(const WaveformTimeline &timeline);
    void setBands(const QList<MarkerOverlay::Band> &bands);
    void setPlayhead(double seconds);
    void setScale(FrequencyAxis::Scale scale);
    FrequencyAxis::Scale scale() const { return scale_; }

    QRect pictureRect() const;
    SpectrogramTiles &tiles() { return *tiles_; }
    MarkerOverlay *markerOverlay() const { return markers_; }
    QToolButton *scaleButton() const { return scaleButton_; }

    // What the pointer at `at` (in this widget) reads: time, frequency and note, and the pitch of
    // the stretch there when it has one. Empty outside the picture.
    QString readout(const QPointF &at);
    // The median pitch of the voiced columns within a few pixels of x in the picture, 0 for none.
    double pitchNear(double x);
    // The frequency axis for the audio shown.
    std::optional<FrequencyAxis> axis() const;

signals:
    void seekRequested(double seconds);
    // As on the waveform: `factor` above 1 shows less, keeping `anchor` (forward seconds) put.
    void zoomRequested(double factor, double anchor);
    void panRequested(double spans);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    // The column shown at x of the picture: its levels and pitch, or null where none is made.
    struct Column {
        const SpectrogramTiles::Tile *tile = nullptr;
        int index = 0;
    };
    int level() const;
    Column columnAt(double x);
    // Asks for the tiles in view, from the middle outwards, then one either side.
    void requestVisible();
    QImage picture(const QSize &size, std::vector<float> &pitches);
    void drawAxis(QPainter &painter, const FrequencyAxis &axis, const QRect &area);
    void drawLegend(QPainter &painter, const QRect &area);
    void drawPitch(QPainter &painter, const FrequencyAxis &axis, const QRect &area,
                   const std::vector<float> &pitches);
    double timeAtPicture(double x) const;

    SpectrogramTiles *tiles_;
    MarkerOverlay *markers_;
    QToolButton *scaleButton_;
    WaveformTimeline timeline_;
    // Voices live in the lowest few hundred hertz: a log axis gives their pitch and formants room.
    FrequencyAxis::Scale scale_ = FrequencyAxis::Scale::Logarithmic;
    double playhead_ = 0;
    std::optional<QPointF> hover_;
    // Tiles held while a picture is drawn from them.
    std::vector<std::shared_ptr<const SpectrogramTiles::Tile>> held_;
};

} // namespace murmelo
