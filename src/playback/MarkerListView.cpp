#include "playback/MarkerListView.h"

#include <QHeaderView>
#include <QPainter>

namespace murmelo {

MarkerListView::MarkerListView(QWidget *parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("markerList"));
    setColumnCount(2);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The screen keeps its keys (Space, R, M, Delete); rows are chosen with the mouse.
    setFocusPolicy(Qt::NoFocus);
    // Texts are cut at the list's width rather than scrolled: the phone's list has one row.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideRight);
    header()->setStretchLastSection(true);
    header()->setSectionResizeMode(TimeColumn, QHeaderView::ResizeToContents);
    setToolTip(hint());
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
