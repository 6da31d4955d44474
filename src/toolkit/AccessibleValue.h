#pragma once

#include <QAccessible>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QWidget;

namespace murmelo {

// What a control that paints itself tells a screen reader about its value: its role, where the
// value lies in its range, and the value as a sentence ("0:12.3 of 0:45.0, reversed").
class AccessibleValueSource {
public:
    virtual ~AccessibleValueSource() = default;
    virtual QAccessible::Role accessibleRole() const = 0;
    virtual double accessibleValue() const = 0;
    virtual double accessibleMinimum() const { return 0; }
    virtual double accessibleMaximum() const { return 1; }
    virtual double accessibleStep() const { return 0; }
    virtual QString accessibleValueText() const = 0;
    // A screen reader sets the value; read-only controls ignore it.
    virtual void setAccessibleValue(double) {}
};

// Makes Qt's accessibility ask AccessibleValueSource widgets for their value and role, and read
// AccessibleListSource widgets as lists. Idempotent;
// called once at start-up (and by tests) before the first window shows.
void installAccessibleValueFactory();

// Tells screen readers that a widget's value changed, at most once per interval, so a playhead
// moving thirty times a second is read out a few times a second; the last change is always told.
class AccessibleValueAnnouncer : public QObject {
public:
    static constexpr int kIntervalMs = 300;

    explicit AccessibleValueAnnouncer(QWidget *widget);

    void changed();

    // Where the events go: Qt's accessibility, which drops them while no screen reader listens.
    using Sink = void (*)(QAccessibleEvent *event);
    static void setSinkForTesting(Sink sink);

private:
    void announce();

    QPointer<QWidget> widget_;
    QTimer quiet_;
    bool pending_ = false;
};

} // namespace murmelo
