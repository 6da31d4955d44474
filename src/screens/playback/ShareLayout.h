#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QBoxLayout;
class QWidget;

namespace murmelo {

class SlidePanel;

// Lays the share panel's controls out for the screen's width and keeps them clear of the
// keyboard's bar. The panel spans the screen's width with its controls in a centred column;
// the switch shares the row of Close and Send when all three fit their texts, else it takes a
// row of its own. While a keyboard bar covers the screen's bottom edge the panel grows by as
// much, so that its buttons stay above the bar, and keeps that room until it closes.
class ShareLayout : public QObject {
    Q_OBJECT
public:
    static constexpr int kHeight = 268;
    static constexpr int kMargin = 20;
    static constexpr int kMaxColumnWidth = 600;

    struct Controls {
        QWidget *recipients;
        QWidget *addContact;
        QWidget *name;
        QWidget *message;
        QWidget *sendToSpeech;
        QWidget *close;
        QWidget *send;
    };

    ShareLayout(QWidget *panel, SlidePanel *slide, const Controls &controls);

    // Follows this bar's coming and going; it may be reparented later.
    void keepClearOf(QWidget *bar);
    // How much of the screen's bottom edge a shown keyboard bar covers now.
    int keyboardInset() const;
    bool switchHasItsOwnRow() const { return ownRow_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();
    void arrangeActions(bool ownRow);

    QWidget *panel_;
    SlidePanel *slide_;
    Controls controls_;
    QBoxLayout *column_;
    QBoxLayout *actions_ = nullptr;
    bool ownRow_ = false;
    int inset_ = 0;
    QList<QPointer<QWidget>> bars_;
};

} // namespace murmelo
