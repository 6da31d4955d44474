#include "toolkit/InputAccessoryBar.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace murmelo {
namespace {

QToolButton *barButton(const QString &text, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setText(text);
    // The input being edited keeps the keyboard focus while the bar is used.
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

PrevNextSegment::PrevNextSegment(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const QString titles[2] = {tr("Prev"), tr("Next")};
    for (int i = 0; i < 2; ++i) {
        segments_[i] = barButton(titles[i], this);
        layout->addWidget(segments_[i]);
        connect(segments_[i], &QToolButton::clicked, this, [this, i] { emit valueChanged(i); });
    }
}

void PrevNextSegment::setSegmentEnabled(int segment, bool enabled)
{
    segments_[segment]->setEnabled(enabled);
}

bool PrevNextSegment::isSegmentEnabled(int segment) const
{
    return segments_[segment]->isEnabled();
}

void PrevNextSegment::select(int segment)
{
    segments_[segment]->click();
}

InputAccessoryBar::InputAccessoryBar(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_StyledBackground);
    // Every colour is set here, so that no style of the window it sits in makes its buttons
    // unreadable (a light button background under the white text, say).
    setStyleSheet(QStringLiteral(
        "murmelo--InputAccessoryBar { background: #202229; border-top: 1px solid #3d4250; }"
        "QToolButton { color: #ffffff; background: transparent; border: none;"
        " padding: 4px 10px; font-weight: bold; }"
        "QToolButton:pressed { background: #3d4250; border-radius: 4px; }"
        "QToolButton:disabled { color: #80848f; }"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    segment_ = new PrevNextSegment(this);
    layout->addWidget(segment_);
    layout->addStretch(1);
    done_ = barButton(tr("Done"), this);
    layout->addWidget(done_);
    connect(done_, &QToolButton::clicked, this, &InputAccessoryBar::done);
    adjustSize();
}

} // namespace murmelo
