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
};

// One row of the saved-recordings list: a front face with the title and date that slides left to
// uncover a panel of Play, Share, Edit and Delete buttons. Rows are reused for whatever record
// scrolls into view, so a row keeps no state beyond the record it shows.
class RecordingCell : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 60;
    static constexpr int kPanelWidth = 180;
    static constexpr int kSlideMilliseconds = 250;

    explicit RecordingCell(QWidget *parent = nullptr);

    void setDelegate(RecordingCellDelegate *delegate) { m_delegate = delegate; }
    // Shows the record's title, date and playing mark. A different record than before closes
    // the panel; the same one again only refreshes the texts, so a play press on an open panel
    // does not slam it shut.
    void setRecording(std::shared_ptr<Recording> recording);
    const std::shared_ptr<Recording> &recording() const { return m_recording; }

    void reveal();
    void hidePanel();
    void togglePanel();
    // Open, or opening.
    bool isPanelOpen() const { return m_panelOpen; }
    // How far the front face's right edge has moved left (0 closed, the panel's width open).
    int panelOffset() const { return m_offset; }

    void setFaceColor(const QColor &color);
    QColor faceColor() const { return m_faceColor; }
    // A short fade for a row the store just inserted or changed.
    void fadeIn();

    QLabel *titleLabel() const { return m_titleLabel; }
    QLabel *dateLabel() const { return m_dateLabel; }
    QToolButton *playButton() const { return m_playButton; }
    QToolButton *shareButton() const { return m_shareButton; }
    QToolButton *editButton() const { return m_editButton; }
    QToolButton *deleteButton() const { return m_deleteButton; }
    QWidget *editView() const { return m_editView; }
    QWidget *infoView() const { return m_infoView; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QToolButton *panelButton(const QString &text, int icon);
    void slideTo(int offset);
    void placeFace();
    void showPlaying(bool playing);

    RecordingCellDelegate *m_delegate = nullptr;
    std::shared_ptr<Recording> m_recording;
    QFrame *m_infoView;
    QWidget *m_editView;
    ElidedLabel *m_titleLabel;
    QLabel *m_dateLabel;
    QLabel *m_playingMark;
    QToolButton *m_playButton;
    QToolButton *m_shareButton;
    QToolButton *m_editButton;
    QToolButton *m_deleteButton;
    QVariantAnimation *m_slide;
    QColor m_faceColor;
    int m_offset = 0;
    bool m_panelOpen = false;
};

} // namespace murmelo
