#pragma once

#include <QIcon>
#include <QList>
#include <QRectF>
#include <QWidget>
#include <optional>

namespace murmelo {

class MarkerOverlay;

// Suggested phrases drawn over the waveform with dashed edges, above the marker bands and in
// the same place: the stretches come in forward seconds and are laid out as the bands are. The
// one with the keyboard is drawn stronger; while a search runs its progress shows in a corner.
// A picture only: clicks go to the waveform below, which asks rectOf() what was hit.
class SuggestionOverlay : public QWidget {
    Q_OBJECT
public:
    struct Stretch {
        double from = 0;
        double to = 0;
        bool focused = false;
    };

    explicit SuggestionOverlay(MarkerOverlay *bands);

    void setStretches(const QList<Stretch> &stretches);
    const QList<Stretch> &stretches() const { return stretches_; }
    void setProgress(std::optional<double> fraction);
    // A short word in the corner ("No phrases found"); empty for none.
    void setNote(const QString &note);
    // Where a stretch lies in this view, clipped to it; empty when out of view.
    QRectF rectOf(const Stretch &stretch) const;

    // The icon of the "Suggest phrases" button: a dashed bracket around a stretch.
    static QIcon icon();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    MarkerOverlay *bands_;
    QList<Stretch> stretches_;
    std::optional<double> progress_;
    QString note_;
};

} // namespace murmelo
