#pragma once

#include <QWidget>

class QLabel;

namespace murmelo {

// One help topic: its title, and its text below while expanded.
class GettingStartedCell : public QWidget {
    Q_OBJECT
public:
    static constexpr char kReuseIdentifier[] = "Cell";
    static constexpr int kCollapsedHeight = 60;
    static constexpr int kTextWidth = 254;
    static constexpr int kTextPixelSize = 14;
    // Room for the title above the text of an expanded topic.
    static constexpr int kExpandedExtra = 32;

    explicit GettingStartedCell(QWidget *parent = nullptr);

    // The font the topic text is shown and measured in.
    static QFont textFont();
    // The height of topic n while expanded.
    static int expandedHeight(int topic);
    static QString titleKey(int topic);
    static QString title(int topic);
    static QString textKey(int topic);

    void setIndex(int topic);
    void setExposed(bool exposed);
    bool exposed() const { return exposed_; }
    // The topic the keyboard is on in the list: its title takes the focus colour.
    void setKeyboardCurrent(bool current);
    bool keyboardCurrent() const { return keyboardCurrent_; }

    QLabel *infoLabel() const { return infoLabel_; }
    QLabel *infoTextView() const { return infoTextView_; }
    QLabel *arrowImageView() const { return arrowImageView_; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void layOut();

    QLabel *bgImageView_;
    QLabel *infoLabel_;
    QLabel *infoTextView_;
    QLabel *arrowImageView_;
    bool exposed_ = false;
    bool keyboardCurrent_ = false;
};

} // namespace murmelo
