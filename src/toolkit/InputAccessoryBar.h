#pragma once

#include <QWidget>

class QToolButton;

namespace murmelo {

// A momentary two-segment control, "Prev" and "Next": pressing a segment reports it and leaves
// nothing selected.
class PrevNextSegment : public QWidget {
    Q_OBJECT
public:
    explicit PrevNextSegment(QWidget *parent = nullptr);

    void setSegmentEnabled(int segment, bool enabled);
    bool isSegmentEnabled(int segment) const;
    // Presses a segment, as a click on it does.
    void select(int segment);

signals:
    void valueChanged(int selectedSegment);

private:
    QToolButton *segments_[2];
};

// The bar shown above the keyboard while a text input is edited: the Prev/Next control, a
// flexible gap and a Done button.
class InputAccessoryBar : public QWidget {
    Q_OBJECT
public:
    explicit InputAccessoryBar(QWidget *parent = nullptr);

    PrevNextSegment *segment() const { return segment_; }
    QToolButton *doneButton() const { return done_; }

signals:
    void done();

private:
    PrevNextSegment *segment_;
    QToolButton *done_;
};

} // namespace murmelo
