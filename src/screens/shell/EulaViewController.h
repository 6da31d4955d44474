#pragma once

#include "toolkit/ViewController.h"

class QLabel;
class QPushButton;
class QTextBrowser;
class QTimer;

namespace murmelo {

// Whether the reader is within 10 points of the end: y is the scroll offset, H the content's
// height and h the visible height.
bool isWithinReachOfEnd(double y, double contentHeight, double visibleHeight);

// The licence agreement, shown over the window on first use. It can be accepted only once the
// reader has scrolled to its end; accepting stores `EULA` in the user defaults at once.
class EulaViewController : public ViewController {
    Q_OBJECT
public:
    static constexpr char kDefaultsKey[] = "EULA";
    // How long scrolling must pause before it counts as having come to rest.
    static constexpr int kRestMilliseconds = 150;

    explicit EulaViewController(const QString &text = agreementText(), QWidget *parent = nullptr);

    // The note on what the application keeps and sends, then the GNU GPL.
    static QString agreementText();

    void acceptEula();
    // Recomputes the accept button's state; runs whenever scrolling comes to rest.
    void enableButton();

    QTextBrowser *eulaTextView() const { return eulaTextView_; }
    QPushButton *eulaButton() const { return eulaButton_; }

signals:
    void accepted();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void dismiss();

    QLabel *backgroundImageView_;
    QTextBrowser *eulaTextView_;
    QPushButton *eulaButton_;
    QTimer *rest_;
};

} // namespace murmelo
