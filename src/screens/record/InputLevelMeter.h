#pragma once

#include "toolkit/AccessibleValue.h"

#include <QWidget>

namespace murmelo {

// The peak level of the last `window` bytes of 16-bit PCM at the end of the WAV file being
// written at `path`, from 0 (silence, or nothing written yet) to 1 (full scale).
float recentPeakLevel(const QString &path, qint64 window = 4410 * 2);

// A bar that shows how loud the input is while the record screen records, on a decibel scale
// from -60 dB to full scale, so that a quiet voice still moves it.
class InputLevelMeter : public QWidget, public AccessibleValueSource {
    Q_OBJECT
public:
    explicit InputLevelMeter(QWidget *parent = nullptr);

    // A linear peak level from 0 to 1.
    void setLevel(float level);
    float level() const { return level_; }
    // The share of the bar that is lit, from 0 to 1.
    double fill() const;

    QSize sizeHint() const override { return {200, 8}; }

    // A progress bar (Qt has no level-bar role) whose value is the lit share; read out as decibels
    // below full scale.
    QAccessible::Role accessibleRole() const override { return QAccessible::ProgressBar; }
    double accessibleValue() const override { return fill(); }
    QString accessibleValueText() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    float level_ = 0;
};

} // namespace murmelo
