#pragma once

#include <QRect>
#include <QString>

class QAccessibleInterface;
class QWidget;

namespace murmelo {

// A widget that paints its rows as it likes but is read by a screen reader as a plain list: one
// item per row, each with a name and a description, selectable and focusable.
class AccessibleListSource {
public:
    virtual ~AccessibleListSource() = default;
    virtual int accessibleRowCount() const = 0;
    virtual QString accessibleRowName(int row) const = 0;
    virtual QString accessibleRowDescription(int row) const = 0;
    // Where the row is, in the widget's own coordinates.
    virtual QRect accessibleRowRect(int row) const = 0;
    virtual bool accessibleRowSelected(int row) const = 0;
    virtual int accessibleCurrentRow() const = 0;
    // A screen reader's "press" on a row.
    virtual void accessibleRowActivate(int row) = 0;
};

// The interface Qt's accessibility uses for an AccessibleListSource widget.
QAccessibleInterface *makeAccessibleList(QWidget *widget, AccessibleListSource *source);

// Tells a screen reader that a row got the keyboard focus, or was selected.
void announceAccessibleRowFocus(QWidget *widget, int row);
void announceAccessibleRowSelected(QWidget *widget, int row);

} // namespace murmelo
