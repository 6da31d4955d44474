#include "screens/playback/MarkerListView.h"
#include "screens/playback/ForwardWordsDelegate.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>

namespace murmelo {

MarkerListView::MarkerListView(QWidget *parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("markerList"));
    setAccessibleName(tr("Phrases"));
    setColumnCount(2);
    // The header says which time line the times count on.
    setHeaderHidden(false);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Reached with Tab; a click on a row leaves the keys with the screen.
    setFocusPolicy(Qt::TabFocus);
    // Texts are cut at the list's width rather than scrolled: the phone's list has one row.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideRight);
    header()->setStretchLastSection(true);
    header()->setSectionResizeMode(TimeColumn, QHeaderView::ResizeToContents);
    setToolTip(hint());
    // One delegate for every column, so a row's times stay on the line of its heard text when
    // the forward words take a second line, and the screen hears every editor that closes.
    setItemDelegate(new ForwardWordsDelegate(this));
}

ForwardWordsDelegate *MarkerListView::wordsDelegate() const
{
    return static_cast<ForwardWordsDelegate *>(itemDelegate());
}

QString MarkerListView::hint()
{
    return tr("Shift+drag over the waveform, or press M twice while listening, to mark a phrase");
}

int MarkerListView::markerIndex(const QTreeWidgetItem *item)
{
    return item ? item->data(TimeColumn, kIndexRole).toInt() : -1;
}

QTreeWidgetItem *MarkerListView::itemOf(int markerIndex) const
{
    for (int row = 0; row < topLevelItemCount(); ++row) {
        if (MarkerListView::markerIndex(topLevelItem(row)) == markerIndex)
            return topLevelItem(row);
    }
    return nullptr;
}

int MarkerListView::selectedMarker() const
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? -1 : markerIndex(selected.front());
}

void MarkerListView::keyPressEvent(QKeyEvent *event)
{
    // The list walks its rows and plays one with Enter; every other key (Space, R, M, Delete,
    // F2) stays the screen's, rather than starting a search among the rows.
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        if (topLevelItemCount() == 0) {
            event->accept();
        } else if (selectedItems().isEmpty()) {
            setCurrentItem(topLevelItem(0));
            event->accept();
        } else {
            // The rows are rebuilt as markers change: walk on from the chosen one.
            if (currentItem() != selectedItems().front())
                setCurrentItem(selectedItems().front());
            QTreeWidget::keyPressEvent(event);
        }
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (state() != EditingState && event->modifiers() == Qt::NoModifier &&
            selectedMarker() >= 0) {
            emit markerActivated(selectedMarker());
            event->accept();
            return;
        }
        break;
    default:
        break;
    }
    event->ignore();
}

int MarkerListView::accessibleRowCount() const
{
    return topLevelItemCount();
}

QString MarkerListView::accessibleRowName(int row) const
{
    // A phrase is known by what was heard; one not yet named by its number and times.
    const QTreeWidgetItem *item = topLevelItem(row);
    if (!item)
        return {};
    const QString heard = item->text(TextColumn).simplified();
    return heard.isEmpty() ? item->text(TimeColumn) : heard;
}

QString MarkerListView::accessibleRowDescription(int row) const
{
    const QTreeWidgetItem *item = topLevelItem(row);
    if (!item)
        return {};
    return QStringLiteral("%1 (%2)").arg(item->text(TimeColumn), headerItem()->text(TimeColumn));
}

QRect MarkerListView::accessibleRowRect(int row) const
{
    QTreeWidgetItem *item = topLevelItem(row);
    if (!item)
        return {};
    const QRect inViewport = visualItemRect(item);
    return inViewport.translated(viewport()->mapTo(this, QPoint(0, 0)));
}

bool MarkerListView::accessibleRowSelected(int row) const
{
    const QTreeWidgetItem *item = topLevelItem(row);
    return item && item->isSelected();
}

int MarkerListView::accessibleCurrentRow() const
{
    return indexOfTopLevelItem(currentItem());
}

void MarkerListView::accessibleRowActivate(int row)
{
    if (QTreeWidgetItem *item = topLevelItem(row)) {
        setCurrentItem(item);
        emit markerActivated(markerIndex(item));
    }
}

void MarkerListView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QAbstractItemView::currentChanged(current, previous);
    if (current.isValid() && hasFocus())
        announceAccessibleRowFocus(this, current.row());
}

void MarkerListView::selectionChanged(const QItemSelection &selected,
                                      const QItemSelection &deselected)
{
    QAbstractItemView::selectionChanged(selected, deselected);
    if (!selected.isEmpty())
        announceAccessibleRowSelected(this, selected.indexes().front().row());
}

void MarkerListView::paintEvent(QPaintEvent *event)
{
    QTreeWidget::paintEvent(event);
    if (topLevelItemCount() > 0)
        return;
    // An empty list says how to fill it.
    QPainter painter(viewport());
    painter.setPen(QColor(0xa9, 0xad, 0xb8));
    painter.drawText(viewport()->rect().adjusted(8, 0, -8, 0), Qt::AlignCenter | Qt::TextWordWrap,
                     hint());
}

} // namespace murmelo
