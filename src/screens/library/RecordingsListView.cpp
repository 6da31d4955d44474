#include "screens/library/RecordingsListView.h"

#include "toolkit/Theme.h"

#include "screens/library/RecordingCell.h"

#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

namespace murmelo {

namespace {
// Gives every row the cell's height and paints nothing: the cell widgets are the rows.
class RowSpace : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *, const QStyleOptionViewItem &, const QModelIndex &) const override {}
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        return {option.rect.width(), RecordingCell::kHeight};
    }
};
} // namespace

RecordingsListView::RecordingsListView(QWidget *parent) : QListView(parent)
{
    setItemDelegate(new RowSpace(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setSpacing(0);
    verticalScrollBar()->setSingleStep(RecordingCell::kHeight / 3);
    // Below the last row the list shows the screens' dark background, not a white page.
    QPalette dark = palette();
    dark.setColor(QPalette::Base, Theme::background);
    dark.setColor(QPalette::Window, Theme::background);
    setPalette(dark);
}

void RecordingsListView::setCellConfigurator(CellConfigurator configurator)
{
    configure_ = std::move(configurator);
}

RecordingCell *RecordingsListView::cellForRow(int row) const
{
    for (const Slot &slot : cells_) {
        if (slot.index.isValid() && slot.index.row() == row)
            return slot.cell;
    }
    return nullptr;
}

QModelIndex RecordingsListView::indexOfCell(const RecordingCell &cell) const
{
    for (const Slot &slot : cells_) {
        if (slot.cell == &cell)
            return slot.index;
    }
    return {};
}

void RecordingsListView::doItemsLayout()
{
    QListView::doItemsLayout();
    layoutCells();
}

void RecordingsListView::scrollContentsBy(int dx, int dy)
{
    QListView::scrollContentsBy(dx, dy);
    layoutCells();
}

void RecordingsListView::resizeEvent(QResizeEvent *event)
{
    QListView::resizeEvent(event);
    layoutCells();
}

void RecordingsListView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QListView::rowsInserted(parent, start, end);
    for (int row = start; row <= end; ++row)
        fresh_.emplace_back(model()->index(row, 0, parent));
}

void RecordingsListView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                     const QList<int> &roles)
{
    QListView::dataChanged(topLeft, bottomRight, roles);
    // Only a change of the record itself fades; the playing mark just shows.
    const bool recordChanged = roles.isEmpty() || roles.contains(Qt::DisplayRole);
    for (Slot &slot : cells_) {
        if (!slot.index.isValid() || slot.index.row() < topLeft.row() ||
            slot.index.row() > bottomRight.row())
            continue;
        if (configure_)
            configure_(*slot.cell, slot.index);
        if (recordChanged)
            slot.cell->fadeIn();
    }
}

void RecordingsListView::reset()
{
    QListView::reset();
    for (Slot &slot : cells_)
        slot.index = QPersistentModelIndex();
    fresh_.clear();
}

RecordingsListView::Slot &RecordingsListView::freeSlot()
{
    for (Slot &slot : cells_) {
        if (!slot.index.isValid())
            return slot;
    }
    cells_.push_back({new RecordingCell(viewport()), {}});
    return cells_.back();
}

void RecordingsListView::layoutCells()
{
    if (!model())
        return;
    const int rows = model()->rowCount(rootIndex());
    const int top = verticalScrollBar()->value() / RecordingCell::kHeight;
    const int bottom = std::min(rows - 1, (verticalScrollBar()->value() + viewport()->height()) /
                                              RecordingCell::kHeight);
    // Cells whose rows went away or scrolled off are free for the rows coming into view.
    for (Slot &slot : cells_) {
        if (slot.index.isValid() && (slot.index.row() < top || slot.index.row() > bottom))
            slot.index = QPersistentModelIndex();
        if (!slot.index.isValid())
            slot.cell->setVisible(false);
    }
    for (int row = top; row <= bottom; ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        RecordingCell *cell = cellForRow(row);
        if (!cell) {
            Slot &slot = freeSlot();
            slot.index = index;
            cell = slot.cell;
            if (configure_)
                configure_(*cell, index);
            const auto fresh = std::find(fresh_.begin(), fresh_.end(), index);
            if (fresh != fresh_.end())
                cell->fadeIn();
        }
        cell->setGeometry(0, row * RecordingCell::kHeight - verticalScrollBar()->value(),
                          viewport()->width(), RecordingCell::kHeight);
        cell->setVisible(true);
    }
    fresh_.clear();
}

} // namespace murmelo
