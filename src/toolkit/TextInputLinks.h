#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

namespace murmelo {

class InputAccessoryBar;
class PrevNextSegment;

// Takes over moving along a chain of inputs, or enabling its Prev/Next control, for the inputs
// it is given to. Each operation left at its default means "not handled here".
class InputViewDelegate {
public:
    virtual ~InputViewDelegate() = default;
    virtual std::optional<bool> becomePreviousInput(QWidget *) { return std::nullopt; }
    virtual std::optional<bool> becomeNextInput(QWidget *) { return std::nullopt; }
    // Returns true when it has set the Prev/Next control up itself.
    virtual bool updatePrevNext(QWidget *) { return false; }
};

// The place of one text input in a chain of inputs that "Prev"/"Next" (and Tab/Shift+Tab) move
// along, and the accessory bar it shows while edited with an on-screen keyboard (with a
// physical keyboard the bar would only cover the panel's own buttons). Attached to the input and
// living as long as it; the linked inputs are not kept alive by it.
class TextInputLinks : public QObject {
    Q_OBJECT
public:
    // The links of this input, created on first use.
    static TextInputLinks &of(QWidget *view);

    QWidget *view() const { return view_; }

    QWidget *nextTextInputView() const { return next_; }
    QWidget *prevTextInputView() const { return prev_; }
    // Linking one way links back the other way too.
    void setNextTextInputView(QWidget *next);
    void setPrevTextInputView(QWidget *prev);

    PrevNextSegment *prevNextSegment() const { return segment_; }
    void setPrevNextSegment(PrevNextSegment *segment);
    InputAccessoryBar *inputAccessoryView() const { return bar_; }
    // Takes ownership of the bar (null removes it).
    void setInputAccessoryView(InputAccessoryBar *bar);

    // The delegate must outlive the input or be unset first.
    InputViewDelegate *inputViewDelegate() const { return delegate_; }
    void setInputViewDelegate(InputViewDelegate *delegate);

    // Moves editing along the chain; false when there is nowhere to go.
    bool becomePreviousInputView();
    bool becomeNextInputView();
    // The Prev/Next control's action: segment 0 moves back, any other forward.
    void prevNextResponder(int selectedSegment);
    void updatePrevNextState();

    // Whether an on-screen keyboard is shown: the input method's answer, unless a test stands in.
    static bool onScreenKeyboardShown();
    static void setOnScreenKeyboardProbe(std::function<bool()> probe);

    ~TextInputLinks() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit TextInputLinks(QWidget *view);
    static bool become(QWidget *input);
    void showBar();
    void followKeyboard();

    QWidget *view_;
    QPointer<QWidget> next_;
    QPointer<QWidget> prev_;
    QPointer<PrevNextSegment> segment_;
    QPointer<InputAccessoryBar> bar_;
    InputViewDelegate *delegate_ = nullptr;
};

// Whether the widget is a text input (line edit or text editor) and so can show a bar.
bool canCarryInputAccessoryView(const QWidget *view);

// Gives the view, when it is a text input, the standard bar ("Prev"/"Next", a gap, Done), then
// does the same for every widget below it, so one call on a screen equips all its inputs.
void setDefaultInputAccessoryView(QWidget *view);

} // namespace murmelo
