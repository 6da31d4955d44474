#pragma once

#include "toolkit/AccessibleList.h"

#include <QTreeWidget>

namespace murmelo {

class ForwardWordsDelegate;

// The list of phrase markers under the waveform: the times of each stretch and what was heard
// there. Rows keep the index of their marker in the item's user data; text is edited in place.
// A screen reader reads it as a list of phrases, each named by what was heard, with its times.
class MarkerListView : public QTreeWidget, public AccessibleListSource {
    Q_OBJECT
public:
    enum Column { TimeColumn, TextColumn };
    static constexpr int kIndexRole = Qt::UserRole;

    explicit MarkerListView(QWidget *parent = nullptr);

    // The marker index of a row; -1 for none.
    static int markerIndex(const QTreeWidgetItem *item);
    // The row of a marker; null when it has none.
    QTreeWidgetItem *itemOf(int markerIndex) const;
    // The selected marker; -1 for none.
    int selectedMarker() const;

    static QString hint();
    // Draws each row, with the words said forward under its heard text when they are shown.
    ForwardWordsDelegate *wordsDelegate() const;

    int accessibleRowCount() const override;
    QString accessibleRowName(int row) const override;
    QString accessibleRowDescription(int row) const override;
    QRect accessibleRowRect(int row) const override;
    bool accessibleRowSelected(int row) const override;
    int accessibleCurrentRow() const override;
    void accessibleRowActivate(int row) override;

signals:
    // Enter on a row: its marker is to be heard.
    void markerActivated(int markerIndex);

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // The tree's own announcements count a header row and columns; the list's count rows.
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void selectionChanged(const QItemSelection &selected,
                          const QItemSelection &deselected) override;
};

} // namespace murmelo
