#pragma once

#include <QTreeWidget>

namespace murmelo {

// The list of phrase markers under the waveform: the times of each stretch and what was heard
// there. Rows keep the index of their marker in the item's user data; text is edited in place.
class MarkerListView : public QTreeWidget {
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

signals:
    // Enter on a row: its marker is to be heard.
    void markerActivated(int markerIndex);

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace murmelo
