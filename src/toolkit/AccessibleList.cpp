#include "toolkit/AccessibleList.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QWidget>

namespace murmelo {

namespace {

class AccessibleListWidget;

// One row. Rows are rebuilt freely by the widget, so an item stands for a row number, not for
// the object drawn there, and turns invalid when the list gets shorter than it.
class AccessibleListRow : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    AccessibleListRow(QWidget *widget, AccessibleListSource *source, int row)
        : widget_(widget), source_(source), row_(row)
    {
    }

    bool isValid() const override { return widget_ && row_ < source_->accessibleRowCount(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override
    {
        return widget_ ? widget_->window()->windowHandle() : nullptr;
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface *>(this);
        return nullptr;
    }

    QAccessibleInterface *parent() const override
    {
        return widget_ ? QAccessible::queryAccessibleInterface(widget_) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text type) const override
    {
        if (!isValid())
            return {};
        switch (type) {
        case QAccessible::Name:
            return source_->accessibleRowName(row_);
        case QAccessible::Description:
            return source_->accessibleRowDescription(row_);
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString &) override {}

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect local = source_->accessibleRowRect(row_);
        return QRect(widget_->mapToGlobal(local.topLeft()), local.size());
    }

    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.selectable = true;
        state.focusable = true;
        state.selected = source_->accessibleRowSelected(row_);
        state.focused = widget_->hasFocus() && source_->accessibleCurrentRow() == row_;
        state.invisible =
            !widget_->isVisible() || !source_->accessibleRowRect(row_).intersects(widget_->rect());
        return state;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (isValid() && name == pressAction())
            source_->accessibleRowActivate(row_);
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<QWidget> widget_;
    AccessibleListSource *source_;
    int row_;
};

class AccessibleListWidget : public QAccessibleWidget {
public:
    AccessibleListWidget(QWidget *widget, AccessibleListSource *source)
        : QAccessibleWidget(widget, QAccessible::List), source_(source)
    {
    }

    ~AccessibleListWidget() override
    {
        for (QAccessible::Id id : std::as_const(rows_))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return source_->accessibleRowCount(); }

    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        auto found = rows_.constFind(index);
        if (found != rows_.constEnd())
            return QAccessible::accessibleInterface(*found);
        auto *row = new AccessibleListRow(widget(), source_, index);
        rows_.insert(index, QAccessible::registerAccessibleInterface(row));
        return row;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (auto it = rows_.constBegin(); it != rows_.constEnd(); ++it) {
            if (QAccessible::accessibleInterface(it.value()) == child)
                return it.key() < childCount() ? it.key() : -1;
        }
        return -1;
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint local = widget()->mapFromGlobal(QPoint(x, y));
        for (int row = 0; row < childCount(); ++row) {
            if (source_->accessibleRowRect(row).contains(local))
                return child(row);
        }
        return nullptr;
    }

private:
    AccessibleListSource *source_;
    // Row number to the registered item standing for it.
    mutable QHash<int, QAccessible::Id> rows_;
};

void announce(QWidget *widget, int row, QAccessible::Event type)
{
    if (!QAccessible::isActive() || row < 0)
        return;
    QAccessibleEvent event(widget, type);
    event.setChild(row);
    QAccessible::updateAccessibility(&event);
}

} // namespace

QAccessibleInterface *makeAccessibleList(QWidget *widget, AccessibleListSource *source)
{
    return new AccessibleListWidget(widget, source);
}

void announceAccessibleRowFocus(QWidget *widget, int row)
{
    announce(widget, row, QAccessible::Focus);
}

void announceAccessibleRowSelected(QWidget *widget, int row)
{
    announce(widget, row, QAccessible::SelectionAdd);
}

} // namespace murmelo
