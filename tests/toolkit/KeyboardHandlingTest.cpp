#include "support/TestSupport.h"
#include "toolkit/InputAccessoryBar.h"
#include "toolkit/KeyboardAvoidance.h"
#include "toolkit/TextInputLinks.h"

#include <QApplication>
#include <QGuiApplication>
#include <QInputMethod>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace murmelo;

TEST(KeyboardOffset, MovesTheNearestEdgeOfTheResponderOntoTheKeyboardsEdge)
{
    const QRectF field(20, 370, 200, 30); // bottom at 400
    const QRectF keyboard(0, 264, 320, 304);
    EXPECT_EQ(keyboardOffset(field, keyboard, InterfaceOrientation::Portrait), QPointF(0, -136));

    const QRectF fromTop(0, 0, 320, 216);
    const QRectF nearTop(20, 150, 200, 30);
    EXPECT_EQ(keyboardOffset(nearTop, fromTop, InterfaceOrientation::PortraitUpsideDown),
              QPointF(0, 66));
    const QRectF fromLeft(0, 0, 162, 568);
    EXPECT_EQ(
        keyboardOffset(QRectF(100, 20, 100, 30), fromLeft, InterfaceOrientation::LandscapeRight),
        QPointF(62, 0));
    const QRectF fromRight(158, 0, 162, 568);
    EXPECT_EQ(
        keyboardOffset(QRectF(100, 20, 100, 30), fromRight, InterfaceOrientation::LandscapeLeft),
        QPointF(-42, 0));
}

TEST(KeyboardOffset, NoOffsetWhenTheKeyboardMissesTheResponderOrHasNoFrame)
{
    const QRectF keyboard(0, 264, 320, 304);
    EXPECT_FALSE(
        keyboardOffset(QRectF(20, 100, 200, 30), keyboard, InterfaceOrientation::Portrait));
    EXPECT_FALSE(
        keyboardOffset(QRectF(20, 370, 200, 30), QRectF(), InterfaceOrientation::Portrait));
    // Touching the keyboard's edge is not being covered by it.
    EXPECT_FALSE(
        keyboardOffset(QRectF(20, 234, 200, 30), keyboard, InterfaceOrientation::Portrait));
}

namespace {

// A phone-sized top-level window whose content is what moves out of the keyboard's way.
struct Screen {
    QWidget top;
    QWidget *content;
    QLineEdit *low;   // bottom at 400
    QLineEdit *lower; // bottom at 500
    QLineEdit *high;  // bottom at 130
    const QRectF keyboard{0, 264, 320, 304};

    Screen()
    {
        top.resize(320, 568);
        content = new QWidget(&top);
        content->setGeometry(0, 0, 320, 568);
        auto *panel = new QWidget(content); // the field sits below a nested panel's origin
        panel->setGeometry(0, 300, 320, 268);
        low = new QLineEdit(panel);
        low->setGeometry(20, 70, 200, 30);
        lower = new QLineEdit(content);
        lower->setGeometry(20, 470, 200, 30);
        high = new QLineEdit(content);
        high->setGeometry(20, 100, 200, 30);
        top.show();
        top.activateWindow();
        test::waitUntil([&] { return top.isActiveWindow(); });
    }

    KeyboardAvoidance &avoidance() { return KeyboardAvoidance::of(content); }

    bool settlesAt(int y)
    {
        return test::waitUntil([&] { return content->pos() == QPoint(0, y); },
                               std::chrono::seconds(2));
    }
};

} // namespace

TEST(KeyboardAvoidance, MovesUpJustEnoughForTheFocusedFieldAndBackWhenTheKeyboardHides)
{
    Screen s;
    s.low->setFocus();
    ASSERT_EQ(findFirstResponder(s.content), s.low);

    s.avoidance().keyboardWillShow(s.keyboard);
    EXPECT_EQ(s.avoidance().offset(), QPointF(0, -136));
    // Animated, not jumped.
    EXPECT_EQ(s.content->pos(), QPoint(0, 0));
    EXPECT_TRUE(s.settlesAt(-136));

    s.avoidance().keyboardWillHide();
    EXPECT_FALSE(s.avoidance().offset());
    EXPECT_TRUE(s.settlesAt(0));
    s.avoidance().keyboardWillHide(); // a second hide changes nothing
    EXPECT_TRUE(s.settlesAt(0));
}

TEST(KeyboardAvoidance, AFieldAboveTheKeyboardUndoesAnEarlierShiftAndSoDoesNoFocus)
{
    Screen s;
    s.low->setFocus();
    s.avoidance().keyboardWillShow(s.keyboard);
    ASSERT_TRUE(s.settlesAt(-136));

    s.high->setFocus();
    s.avoidance().keyboardWillShow(s.keyboard);
    EXPECT_FALSE(s.avoidance().offset());
    EXPECT_TRUE(s.settlesAt(0));

    s.low->setFocus();
    s.avoidance().keyboardWillShow(s.keyboard);
    ASSERT_TRUE(s.settlesAt(-136));
    s.low->clearFocus();
    s.avoidance().keyboardWillShow(s.keyboard);
    EXPECT_TRUE(s.settlesAt(0));
}

TEST(KeyboardAvoidance, SuccessiveShowsAreMeasuredAtRestEvenMidAnimation)
{
    Screen s;
    s.low->setFocus();
    s.avoidance().keyboardWillShow(s.keyboard);
    ASSERT_TRUE(s.settlesAt(-136));

    s.lower->setFocus();
    s.avoidance().keyboardWillShow(s.keyboard);
    EXPECT_EQ(s.avoidance().offset(), QPointF(0, -236));
    EXPECT_TRUE(s.settlesAt(-236));

    // A show arriving while the window is still sliding measures from rest too.
    s.low->setFocus();
    s.avoidance().keyboardWillShow(s.keyboard);
    s.lower->setFocus();
    s.avoidance().keyboardWillShow(s.keyboard);
    EXPECT_TRUE(s.settlesAt(-236));
    s.avoidance().keyboardWillHide();
    EXPECT_TRUE(s.settlesAt(0));
}

TEST(KeyboardAvoidance, DisablingReturnsToRest)
{
    Screen s;
    s.avoidance().enableAutoTextFieldShowing();
    s.lower->setFocus();
    s.avoidance().keyboardWillShow(s.keyboard);
    ASSERT_TRUE(s.settlesAt(-236));
    s.avoidance().disableAutoTextFieldShowing();
    EXPECT_TRUE(s.settlesAt(0));
    EXPECT_FALSE(s.avoidance().offset());
}

namespace {

struct Form {
    QWidget root;
    QLineEdit *title;
    QLineEdit *email;
    QTextEdit *message;
    QPlainTextEdit *notes;
    QLabel *label;

    Form()
    {
        root.resize(320, 568);
        title = new QLineEdit(&root);
        title->setGeometry(10, 10, 200, 30);
        label = new QLabel(QStringLiteral("Message"), &root);
        auto *panel = new QWidget(&root);
        panel->setGeometry(0, 100, 320, 300);
        message = new QTextEdit(panel);
        message->setGeometry(10, 0, 200, 80);
        notes = new QPlainTextEdit(panel);
        notes->setGeometry(10, 100, 200, 80);
        email = new QLineEdit(&root);
        email->setGeometry(10, 450, 200, 30);
        setDefaultInputAccessoryView(&root);
        root.show();
        root.activateWindow();
        test::waitUntil([&] { return root.isActiveWindow(); });
    }

    static PrevNextSegment *segment(QWidget *input)
    {
        return TextInputLinks::of(input).prevNextSegment();
    }

    static InputAccessoryBar *bar(QWidget *input)
    {
        return TextInputLinks::of(input).inputAccessoryView();
    }

    static void press(QWidget *input, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(input, &event);
    }
};

// Stands in for the input method's answer to "is an on-screen keyboard shown?" while it lives.
struct OnScreenKeyboard {
    bool shown;
    explicit OnScreenKeyboard(bool initially) : shown(initially)
    {
        TextInputLinks::setOnScreenKeyboardProbe([this] { return shown; });
    }
    ~OnScreenKeyboard() { TextInputLinks::setOnScreenKeyboardProbe({}); }
};

// How far the darkest or lightest pixel of the button lies from the bar's background, in grey
// levels: the text's contrast.
int textContrast(InputAccessoryBar *bar, QToolButton *button)
{
    const QImage image = bar->grab().toImage();
    const QRect frame(button->mapTo(bar, QPoint()), button->size());
    const int background = qGray(image.pixel(frame.topLeft() + QPoint(1, 1)));
    int contrast = 0;
    for (int y = frame.top(); y <= frame.bottom(); ++y)
        for (int x = frame.left(); x <= frame.right(); ++x)
            contrast = std::max(contrast, std::abs(qGray(image.pixel(x, y)) - background));
    return contrast;
}

} // namespace

TEST(InputAccessoryBar, ShownOnlyWithAnOnScreenKeyboardAndReadableInAnyWindow)
{
    OnScreenKeyboard keyboard(false);
    Form f;
    // A window whose own style would paint light buttons under the bar's white text.
    f.root.setStyleSheet(QStringLiteral("QWidget { background: white; color: white; }"
                                        "QToolButton { background: #f4f4f4; }"));
    TextInputLinks::of(f.title).setNextTextInputView(f.email);
    f.email->setFocus();
    EXPECT_FALSE(Form::bar(f.email)->isVisible());

    keyboard.shown = true;
    emit QGuiApplication::inputMethod()->visibleChanged();
    InputAccessoryBar *bar = Form::bar(f.email);
    ASSERT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->geometry().bottom(), f.root.height() - 1);
    const auto buttons = bar->findChildren<QToolButton *>();
    ASSERT_EQ(buttons.size(), 3); // Prev, Next, Done
    for (QToolButton *button : buttons)
        if (button->isEnabled())
            EXPECT_GT(textContrast(bar, button), 120) << button->text().toStdString();

    keyboard.shown = false;
    emit QGuiApplication::inputMethod()->visibleChanged();
    EXPECT_FALSE(bar->isVisible());
}

TEST(InputAccessoryBar, EveryTextInputBelowTheRootGetsABarAndOtherWidgetsNone)
{
    Form f;
    for (QWidget *input : {static_cast<QWidget *>(f.title), static_cast<QWidget *>(f.email),
                           static_cast<QWidget *>(f.message), static_cast<QWidget *>(f.notes)}) {
        InputAccessoryBar *bar = TextInputLinks::of(input).inputAccessoryView();
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->segment(), Form::segment(input));
        EXPECT_EQ(bar->doneButton()->text(), QStringLiteral("Done"));
    }
    EXPECT_FALSE(canCarryInputAccessoryView(f.label));
    EXPECT_EQ(f.label->findChild<TextInputLinks *>(), nullptr);
}

TEST(InputAccessoryBar, WithoutLinksOnlyDoneShowsAndWithANextLinkPrevIsDisabled)
{
    Form f;
    EXPECT_TRUE(Form::segment(f.title)->isHidden());
    EXPECT_FALSE(TextInputLinks::of(f.title).inputAccessoryView()->doneButton()->isHidden());

    TextInputLinks::of(f.title).setNextTextInputView(f.message);
    EXPECT_FALSE(Form::segment(f.title)->isHidden());
    EXPECT_FALSE(Form::segment(f.title)->isSegmentEnabled(0));
    EXPECT_TRUE(Form::segment(f.title)->isSegmentEnabled(1));
    // The link is made both ways.
    EXPECT_EQ(TextInputLinks::of(f.message).prevTextInputView(), f.title);
    EXPECT_TRUE(Form::segment(f.message)->isSegmentEnabled(0));
    EXPECT_FALSE(Form::segment(f.message)->isSegmentEnabled(1));

    // Links do not keep inputs alive: a deleted input leaves no dangling link.
    delete f.message;
    EXPECT_EQ(TextInputLinks::of(f.title).nextTextInputView(), nullptr);
    EXPECT_FALSE(TextInputLinks::of(f.title).becomeNextInputView());
}

TEST(InputAccessoryBar, PrevNextTabAndDoneMoveAlongTheChainNotTheWidgetOrder)
{
    const OnScreenKeyboard keyboard(true);
    Form f;
    TextInputLinks::of(f.title).setNextTextInputView(f.email);
    TextInputLinks::of(f.notes).setPrevTextInputView(f.email);
    f.title->setFocus();
    EXPECT_TRUE(TextInputLinks::of(f.title).inputAccessoryView()->isVisible());

    Form::segment(f.title)->select(1);
    EXPECT_TRUE(f.email->hasFocus());
    EXPECT_FALSE(TextInputLinks::of(f.title).inputAccessoryView()->isVisible());
    EXPECT_TRUE(TextInputLinks::of(f.email).inputAccessoryView()->isVisible());

    Form::press(f.email, Qt::Key_Tab);
    EXPECT_TRUE(f.notes->hasFocus());
    EXPECT_EQ(f.notes->toPlainText(), QString()); // the Tab moved on instead of being typed
    EXPECT_FALSE(TextInputLinks::of(f.notes).becomeNextInputView()); // the chain's end
    EXPECT_TRUE(f.notes->hasFocus());

    Form::press(f.notes, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_TRUE(f.email->hasFocus());
    Form::segment(f.email)->select(0);
    EXPECT_TRUE(f.title->hasFocus());
    EXPECT_FALSE(TextInputLinks::of(f.title).becomePreviousInputView());

    TextInputLinks::of(f.title).inputAccessoryView()->doneButton()->click();
    EXPECT_EQ(findFirstResponder(&f.root), nullptr);
    EXPECT_FALSE(TextInputLinks::of(f.title).inputAccessoryView()->isVisible());
}

TEST(InputAccessoryBar, ADelegateTakesOverMovingAndEnabling)
{
    struct Delegate : InputViewDelegate {
        QWidget *askedNext = nullptr;
        int updates = 0;
        std::optional<bool> becomeNextInput(QWidget *view) override
        {
            askedNext = view;
            return true;
        }
        bool updatePrevNext(QWidget *) override
        {
            ++updates;
            return true;
        }
    } delegate;

    Form f;
    TextInputLinks &links = TextInputLinks::of(f.title);
    links.setInputViewDelegate(&delegate);
    links.setNextTextInputView(f.email);
    EXPECT_EQ(delegate.updates, 1);
    EXPECT_TRUE(Form::segment(f.title)->isHidden()); // left as the delegate left it

    f.title->setFocus();
    EXPECT_TRUE(links.becomeNextInputView());
    EXPECT_EQ(delegate.askedNext, f.title);
    EXPECT_TRUE(f.title->hasFocus());
    // Without its own "previous", the delegate leaves moving back to the chain.
    EXPECT_FALSE(links.becomePreviousInputView());
    links.setInputViewDelegate(nullptr);
}
