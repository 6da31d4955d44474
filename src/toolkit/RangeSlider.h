#pragma once

#include "toolkit/AccessibleValue.h"

#include <QPixmap>
#include <QPointer>
#include <QRectF>
#include <QWidget>
#include <functional>

namespace murmelo {

// A horizontal control with two thumbs choosing a sub-range [min, max] of the unit interval, with
// a minimum distance between the thumbs. Geometry is kept in the control's own points: the
// control is W x 16, thumbs are 16 x 16, the min thumb travels over [0, W - 32] and the max thumb
// over [16, W - 16], so the two never overlap.
//
// With an inverted appearance the control is drawn and used mirrored: min lies on the right, max
// on the left, as over a picture that runs from the end to the start.
//
// A finger-sized area of 16 points around each thumb grabs it, even outside the control's 16-point
// height. The widget is therefore that much larger than the control on every side; presses that
// grab no thumb go on to whatever widget lies behind, so the control never steals clicks from the
// scrubber it sits on.
//
// With the keyboard, Left and Right move the min thumb and Shift+Left and Shift+Right the max
// thumb, a hundredth of the range at a time, in the direction drawn.
class RangeSlider : public QWidget, public AccessibleValueSource {
    Q_OBJECT
public:
    // The frame's origin and width place the control in its parent; its height is always 16.
    explicit RangeSlider(const QRect &frame, QWidget *parent = nullptr);

    static constexpr double kHeight = 16;
    static constexpr double kGrabMargin = 16;

    float min() const { return min_; }
    float max() const { return max_; }
    float minimumRangeLength() const { return minimumRangeLength_; }
    // Programmatic changes: clamped to [0, 1] (NaN reads as 0) and never reported as events.
    void setMin(float value);
    void setMax(float value);
    void setMinimumRangeLength(float value);
    void setInvertedAppearance(bool inverted);
    bool invertedAppearance() const { return inverted_; }

    void setMinThumbImage(const QPixmap &image);
    void setMaxThumbImage(const QPixmap &image);
    void setTrackImage(const QPixmap &image);
    void setInRangeTrackImage(const QPixmap &image);

    // The control's frame in its parent (the widget's geometry less the grab margin).
    QRect controlFrame() const;
    // Moves and resizes the control (its height stays 16); min and max are kept.
    void setControlFrame(const QRect &frame);
    // Frames of the parts as drawn, in control points.
    QRectF minThumbFrame() const { return shown(minThumb_); }
    QRectF maxThumbFrame() const { return shown(maxThumb_); }
    QRectF trackFrame() const { return shown(track_); }
    QRectF inRangeTrackFrame() const { return shown(inRangeTrack_); }

    // Whether a press at this point (control points) belongs to the control.
    bool hitTest(const QPointF &point) const;

    // What a screen reader says about the chosen range; by default its share of the control.
    void setAccessibleValueText(std::function<QString(float min, float max)> text);
    QAccessible::Role accessibleRole() const override { return QAccessible::Slider; }
    double accessibleValue() const override { return min_; }
    double accessibleStep() const override { return kKeyStep; }
    QString accessibleValueText() const override;
    static constexpr float kKeyStep = 0.01f;

    static QPixmap defaultThumbImage();
    static QPixmap defaultTrackImage();
    static QPixmap defaultInRangeTrackImage();

signals:
    // A drag changed min or max.
    void valueChanged();
    // A touch sequence on the control ended.
    void touchUpInside();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    enum class Tracking { None, MinThumb, MaxThumb };

    double travel() const { return width_ - 2 * kHeight; }
    QPointF toControl(const QPointF &widgetPoint) const;
    // Between the drawn control and the unmirrored one the thumbs are computed in; the mapping
    // is its own inverse.
    QRectF shown(const QRectF &frame) const;
    QPointF shown(const QPointF &point) const;
    static QRectF grown(const QRectF &frame);
    QRectF thumbAt(double x) const;

    void dragBy(double dx);
    void calculateMinMax();
    void updateThumbViews();
    void updateTrackImageViews();

    QWidget *widgetBehind(const QPointF &widgetPoint);
    void forward(QMouseEvent *event);

    double width_;
    float min_ = 0;
    float max_ = 1;
    float minimumRangeLength_ = 0;
    bool inverted_ = false;

    QRectF minThumb_;
    QRectF maxThumb_;
    QRectF track_;
    QRectF inRangeTrack_;
    QPixmap minThumbImage_;
    QPixmap maxThumbImage_;
    QPixmap trackImage_;
    QPixmap inRangeTrackImage_;
    int inRangeLeftCap_ = 0;
    int inRangeTopCap_ = 0;

    Tracking tracking_ = Tracking::None;
    double lastX_ = 0;
    QPointer<QWidget> forwardTarget_;
    std::function<QString(float, float)> valueText_;
    AccessibleValueAnnouncer *announcer_;
};

} // namespace murmelo
