#include "toolkit/TextInputLinks.h"

#include "toolkit/InputAccessoryBar.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace murmelo {

namespace {
std::function<bool()> &keyboardProbe()
{
    static std::function<bool()> probe;
    return probe;
}
} // namespace

bool TextInputLinks::onScreenKeyboardShown()
{
    if (keyboardProbe())
        return keyboardProbe()();
    return QGuiApplication::inputMethod()->isVisible();
}

void TextInputLinks::setOnScreenKeyboardProbe(std::function<bool()> probe)
{
    keyboardProbe() = std::move(probe);
}

TextInputLinks::TextInputLinks(QWidget *view) : QObject(view), view_(view)
{
    view->installEventFilter(this);
    // The keyboard may come or go while the input keeps the focus.
    connect(QGuiApplication::inputMethod(), &QInputMethod::visibleChanged, this,
            &TextInputLinks::followKeyboard);
}

void TextInputLinks::followKeyboard()
{
    if (view_->hasFocus())
        showBar();
}

TextInputLinks::~TextInputLinks()
{
    // The bar lives in the input's window, not under the input.
    delete bar_;
}

TextInputLinks &TextInputLinks::of(QWidget *view)
{
    auto *existing = view->findChild<TextInputLinks *>(QString(), Qt::FindDirectChildrenOnly);
    return existing ? *existing : *new TextInputLinks(view);
}

void TextInputLinks::setNextTextInputView(QWidget *next)
{
    next_ = next;
    if (next && TextInputLinks::of(next).prevTextInputView() != view_)
        TextInputLinks::of(next).setPrevTextInputView(view_);
    updatePrevNextState();
}

void TextInputLinks::setPrevTextInputView(QWidget *prev)
{
    prev_ = prev;
    if (prev && TextInputLinks::of(prev).nextTextInputView() != view_)
        TextInputLinks::of(prev).setNextTextInputView(view_);
    updatePrevNextState();
}

void TextInputLinks::setPrevNextSegment(PrevNextSegment *segment)
{
    segment_ = segment;
}

void TextInputLinks::setInputAccessoryView(InputAccessoryBar *bar)
{
    if (bar_ != bar)
        delete bar_;
    bar_ = bar;
    if (bar_)
        bar_->hide();
}

void TextInputLinks::setInputViewDelegate(InputViewDelegate *delegate)
{
    delegate_ = delegate;
}

bool TextInputLinks::become(QWidget *input)
{
    if (!input || !input->isEnabled() || !input->isVisible() || input->focusPolicy() == Qt::NoFocus)
        return false;
    input->setFocus(Qt::TabFocusReason);
    return input->window()->focusWidget() == input;
}

bool TextInputLinks::becomePreviousInputView()
{
    if (delegate_) {
        if (const auto handled = delegate_->becomePreviousInput(view_))
            return *handled;
    }
    return become(prev_);
}

bool TextInputLinks::becomeNextInputView()
{
    if (delegate_) {
        if (const auto handled = delegate_->becomeNextInput(view_))
            return *handled;
    }
    return become(next_);
}

void TextInputLinks::prevNextResponder(int selectedSegment)
{
    if (selectedSegment == 0)
        becomePreviousInputView();
    else
        becomeNextInputView();
}

void TextInputLinks::updatePrevNextState()
{
    if (delegate_ && delegate_->updatePrevNext(view_))
        return;
    if (!segment_)
        return;
    segment_->setSegmentEnabled(0, prev_ != nullptr);
    segment_->setSegmentEnabled(1, next_ != nullptr);
    segment_->setHidden(!prev_ && !next_);
}

void TextInputLinks::showBar()
{
    QWidget *window = view_->window();
    if (!bar_ || window == view_)
        return;
    if (!onScreenKeyboardShown()) {
        bar_->hide();
        return;
    }
    if (bar_->parentWidget() != window)
        bar_->setParent(window);
    // Above the on-screen keyboard when there is one, else along the window's bottom edge.
    const int height = bar_->sizeHint().height();
    int bottom = window->height();
    const QRectF keyboard = QGuiApplication::inputMethod()->keyboardRectangle();
    if (QGuiApplication::inputMethod()->isVisible() && !keyboard.isEmpty())
        bottom = std::min(bottom, int(keyboard.top()));
    bar_->setGeometry(0, bottom - height, window->width(), height);
    bar_->raise();
    bar_->show();
}

bool TextInputLinks::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != view_)
        return false;
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool mayMove = delegate_ != nullptr;
        if (key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier) &&
            (next_ || mayMove)) {
            becomeNextInputView();
            return true;
        }
        if (key->key() == Qt::Key_Backtab && (prev_ || mayMove)) {
            becomePreviousInputView();
            return true;
        }
        return false;
    }
    case QEvent::FocusIn:
        showBar();
        return false;
    case QEvent::FocusOut:
        if (bar_)
            bar_->hide();
        return false;
    default:
        return false;
    }
}

bool canCarryInputAccessoryView(const QWidget *view)
{
    return qobject_cast<const QLineEdit *>(view) || qobject_cast<const QTextEdit *>(view) ||
           qobject_cast<const QPlainTextEdit *>(view);
}

void setDefaultInputAccessoryView(QWidget *view)
{
    if (canCarryInputAccessoryView(view)) {
        TextInputLinks &links = TextInputLinks::of(view);
        auto *bar = new InputAccessoryBar(view->window() != view ? view->window() : nullptr);
        QObject::connect(bar->segment(), &PrevNextSegment::valueChanged, &links,
                         &TextInputLinks::prevNextResponder);
        QObject::connect(bar, &InputAccessoryBar::done, view, [view] { view->clearFocus(); });
        links.setPrevNextSegment(bar->segment());
        links.setInputAccessoryView(bar);
        links.updatePrevNextState();
    }
    // A copy: the bars made on the way are added to the window's children.
    const QObjectList children = view->children();
    for (QObject *child : children) {
        if (auto *widget = qobject_cast<QWidget *>(child))
            setDefaultInputAccessoryView(widget);
    }
}

} // namespace murmelo
