#pragma once

#include <QListView>
#include <QPersistentModelIndex>
#include <functional>
#include <vector>

namespace murmelo {

class RecordingCell;

// A list view whose rows are RecordingCell widgets, made only for the rows on screen and reused
// as rows scroll in and out, so a library of any size costs a screenful of widgets. A cell stays
// with its row across insertions and removals elsewhere in the list.
class RecordingsListView : public QListView {
    Q_OBJECT
public:
    // Fills a cell that has just been given a row, or whose row's data changed.
    using CellConfigurator = std::function<void(RecordingCell &cell, const QModelIndex &index)>;

    explicit RecordingsListView(QWidget *parent = nullptr);

    void setCellConfigurator(CellConfigurator configurator);
    // The cell showing this row, or null when the row is off screen.
    RecordingCell *cellForRow(int row) const;
    QModelIndex indexOfCell(const RecordingCell &cell) const;
    // Cell widgets made so far: a screenful or so, whatever the row count.
    int cellCount() const { return int(cells_.size()); }

    void doItemsLayout() override;

protected:
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent *event) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = {}) override;
    void reset() override;

private:
    struct Slot {
        RecordingCell *cell;
        QPersistentModelIndex index;
    };
    void layoutCells();
    Slot &freeSlot();

    std::vector<Slot> cells_;
    std::vector<QPersistentModelIndex> fresh_; // inserted rows that fade in when placed
    CellConfigurator configure_;
};

} // namespace murmelo
