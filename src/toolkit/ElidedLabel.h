#pragma once

#include <QLabel>

namespace murmelo {

// A one-line label that shows as much of its text as fits and ends it with "…" when it does
// not; the whole text stays in text() and the tooltip. A plain QLabel would clip a long title
// on both sides when centred.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget *parent = nullptr);
    explicit ElidedLabel(const QString &text, QWidget *parent = nullptr);

    void setFullText(const QString &text);
    QString fullText() const { return full_; }
    // What is drawn at the present width.
    QString shownText() const { return QLabel::text(); }

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void elide();

    QString full_;
};

} // namespace murmelo
