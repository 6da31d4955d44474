#pragma once

#include "toolkit/ElidedLabel.h"

#include <QColor>
#include <QFrame>
#include <QWidget>
#include <memory>

class QLabel;
class QToolButton;
class QVariantAnimation;

namespace murmelo {

class Recording;
class RecordingCell;

// What a row asks of the list that shows it.
class RecordingCellDelegate {
public:
    virtual ~RecordingCellDelegate() = default;
    virtual void recordingCellTapped(RecordingCell &cell) = 0;
    virtual void playRecording(const std::shared_ptr<Recording> &recording) = 0;
    virtual void shareRecording(const std::shared_ptr<Recording> &recording) = 0;
    virtual void editRecording(const std::shared_ptr<Recording> &recording) = 0;
    virtual void deleteRecording(const std::shared_ptr<Recording> &recording) = 0;
    // Escape on one of the row's buttons: the keyboard goes back to the list.
    virtual void publishRecording(const std::shared_ptr<Recording> &recording) = 0;
    virtual void recordingCellLeft(RecordingCell &) {}
};

// What a row tells beside the record's own fields; looked up by the list, which knows where.
struct RecordingSummary {
    double seconds = -1.0; // the reversal's length; negative when it cannot be read
    int markerCount = 0;
};

// One row of the saved-recordings list: a front face with the title, the date with the length,
// markers and origin, and the first line of the hidden message, that slides left to uncover a
// panel of Play, Share, Publish, Edit and Delete buttons. In a wide row the panel sits right after
// the texts instead of at the far edge, so the actions stay beside what they act on. Rows are
// reused for whatever record scrolls into view, so a row keeps no state beyond the record it shows.
class RecordingCell : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 72;
    static constexpr int kPanelWidth = 225;
    static constexpr int kSlideMilliseconds = 250;
    // The texts take at most this much of a wide row before the panel.
    static constexpr int kTextWidth = 440;

    explicit RecordingCell(QWidget *parent = nullptr);

    void setDelegate(RecordingCellDelegate *delegate) { delegate_ = delegate; }
    // Shows the record's texts and playing mark. A different record than before closes the
    // panel; the same one again only refreshes the texts, so a play press on an open panel
    // does not slam it shut.
    void setRecording(std::shared_ptr<Recording> recording, const RecordingSummary &summary = {});
    const std::shared_ptr<Recording> &recording() const { return recording_; }

    void reveal();
    void hidePanel();
    void togglePanel();
    // Open, or opening.
    bool isPanelOpen() const { return panelOpen_; }
    // How far the front face's right edge has moved left (0 closed, openOffset() open).
    int panelOffset() const { return offset_; }
    int openOffset() const { return width() - panelLeft(); }
    // Puts the keyboard on the open panel's first button.
    void focusPanel();

    void setFaceColor(const QColor &color);
    QColor faceColor() const { return faceColor_; }
    // The selected row carries a bar in the selection colour along its left edge.
    void setSelected(bool selected);
    bool isSelected() const { return selected_; }
    // A short fade for a row the store just inserted or changed.
    void fadeIn();

    QLabel *titleLabel() const { return titleLabel_; }
    QLabel *dateLabel() const { return dateLabel_; }
    // Length, marker count and "imported".
    QLabel *detailsLabel() const { return detailsLabel_; }
    // The hidden message's first line; hidden when there is no message.
    QLabel *messageLabel() const { return messageLabel_; }
    QToolButton *playButton() const { return playButton_; }
    QToolButton *shareButton() const { return shareButton_; }
    QToolButton *publishButton() const { return publishButton_; }
    QToolButton *editButton() const { return editButton_; }
    QToolButton *deleteButton() const { return deleteButton_; }
    QWidget *editView() const { return editView_; }
    QWidget *infoView() const { return infoView_; }

    static QString detailsText(const Recording &recording, const RecordingSummary &summary);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QToolButton *panelButton(const QString &text);
    void slideTo(int offset);
    void placeFace();
    int panelLeft() const;
    void showPlaying(bool playing);
    QList<QToolButton *> buttons() const;

    RecordingCellDelegate *delegate_ = nullptr;
    std::shared_ptr<Recording> recording_;
    QFrame *infoView_;
    QWidget *editView_;
    ElidedLabel *titleLabel_;
    QLabel *dateLabel_;
    QLabel *detailsLabel_;
    ElidedLabel *messageLabel_;
    QLabel *playingMark_;
    QToolButton *playButton_;
    QToolButton *shareButton_;
    QToolButton *publishButton_;
    QToolButton *editButton_;
    QToolButton *deleteButton_;
    QVariantAnimation *slide_;
    QColor faceColor_;
    int textExtent_ = 0; // the widest text line, in pixels
    int offset_ = 0;
    bool panelOpen_ = false;
    bool selected_ = false;
};

} // namespace murmelo
