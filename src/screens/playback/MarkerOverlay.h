#pragma once

#include "playback/WaveformTimeline.h"

#include <QFontMetrics>
#include <QList>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <optional>

namespace murmelo {

// The phrase markers drawn over the waveform: a band over each marked stretch with what was
// heard there, the start of a marker being made with the keyboard, and the stretch being
// dragged. A picture only: the mouse goes to the controls below it.
class MarkerOverlay : public QWidget {
    Q_OBJECT
public:
    // A stretch in forward seconds.
    struct Band {
        double from = 0;
        double to = 0;
        QString text;
        bool selected = false;
        int number = 0; // its row in the marker list, shown when the text does not fit
    };

    explicit MarkerOverlay(QWidget *parent = nullptr);

    void setTimeline(const WaveformTimeline &timeline);
    void setBands(const QList<Band> &bands);
    // The first end of a marker being made at the playhead, or none.
    void setPendingStart(std::optional<double> seconds);
    // The stretch being dragged out, or none.
    void setDraft(std::optional<Band> draft);

    // Where each band lies in this view, clipped to it; an empty rect for one out of view.
    QList<QRectF> bandRects() const;
    QRectF rectOf(const Band &band) const;
    // What a band `room` points wide shows: its whole text, else its number, else nothing.
    static QString bandLabel(const Band &band, const QFontMetrics &metrics, int room);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    WaveformTimeline timeline_;
    QList<Band> bands_;
    std::optional<double> pendingStart_;
    std::optional<Band> draft_;
};

} // namespace murmelo
