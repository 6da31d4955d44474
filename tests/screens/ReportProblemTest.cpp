#include "screens/mail/ReportProblemViewController.h"
#include "support/TestSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QWindow>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {
// A click delivered to the window at the widget's place, so whatever is on top receives it.
void clickOnWindowAt(QWidget *widget)
{
    QWidget *window = widget->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      widget->mapTo(window, widget->rect().center()));
}

struct Sent {
    QString problem;
    QString email;
};
} // namespace

TEST(ReportProblem, SendWaitsForDescriptionAndAddressThenSendsAndStartsOver)
{
    ReportProblemViewController screen;
    QList<Sent> sent;
    screen.setSender([&](const QString &problem, const QString &email) {
        sent << Sent{problem, email};
    });
    screen.resize(320, 568);
    screen.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&screen));
    EXPECT_EQ(screen.textView()->toPlainText(),
              QStringLiteral("Please describe the problem you're encountered\u2026"));
    EXPECT_FALSE(screen.sendButton()->isEnabled());

    // Clicking into the description removes the placeholder.
    clickOnWindowAt(screen.textView());
    ASSERT_TRUE(test::waitUntil([&] { return screen.textView()->hasFocus(); }));
    EXPECT_TRUE(screen.textView()->toPlainText().isEmpty());
    QTest::keyClicks(screen.textView(), QStringLiteral("It stops after a minute."));
    // No address yet: nothing can be sent, from the button or the keyboard.
    EXPECT_FALSE(screen.sendButton()->isEnabled());
    QTest::keyClick(screen.textView(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(sent.isEmpty());

    clickOnWindowAt(screen.emailTextField());
    ASSERT_TRUE(test::waitUntil([&] { return screen.emailTextField()->hasFocus(); }));
    EXPECT_EQ(screen.problem(), QStringLiteral("It stops after a minute."));
    QTest::keyClicks(screen.emailTextField(), QStringLiteral("me@example.org"));
    EXPECT_TRUE(screen.sendButton()->isEnabled());

    clickOnWindowAt(screen.sendButton());
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].problem, QStringLiteral("It stops after a minute."));
    EXPECT_EQ(sent[0].email, QStringLiteral("me@example.org"));
    EXPECT_TRUE(screen.problem().isNull());
    // Nothing left to send twice: the prompt is back and Send is off.
    EXPECT_FALSE(screen.sendButton()->isEnabled());
    clickOnWindowAt(screen.sendButton());
    EXPECT_EQ(sent.size(), 1);
}

TEST(ReportProblem, EndingEditingEmptyShowsThePromptAgain)
{
    ReportProblemViewController screen;
    screen.resize(320, 568);
    screen.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&screen));
    screen.emailTextField()->setText(QStringLiteral("me@example.org"));
    screen.textView()->setFocus();
    ASSERT_TRUE(test::waitUntil([&] { return screen.textView()->hasFocus(); }));
    QTest::keyClicks(screen.textView(), QStringLiteral("x"));
    QTest::keyClick(screen.textView(), Qt::Key_Backspace);
    screen.done();
    EXPECT_FALSE(screen.textView()->hasFocus());
    EXPECT_EQ(screen.textView()->toPlainText(), ReportProblemViewController::placeholder());
    EXPECT_TRUE(screen.problem().isNull());
    EXPECT_FALSE(screen.sendButton()->isEnabled());
}

TEST(ReportProblem, DoneByClickOrEscapeEndsTheDescriptionAndLetsSendGo)
{
    ReportProblemViewController screen;
    QList<Sent> sent;
    screen.setSender([&](const QString &problem, const QString &email) {
        sent << Sent{problem, email};
    });
    screen.resize(320, 568);
    screen.show();
    screen.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&screen));
    screen.emailTextField()->setText(QStringLiteral("me@example.org"));

    clickOnWindowAt(screen.textView());
    ASSERT_TRUE(test::waitUntil([&] { return screen.textView()->hasFocus(); }));
    QTest::keyClicks(screen.textView(), QStringLiteral("Line one"));
    QTest::keyClick(screen.textView(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(screen.textView(), QStringLiteral("line two"));
    clickOnWindowAt(screen.doneButton());
    EXPECT_FALSE(screen.textView()->hasFocus());
    EXPECT_EQ(screen.problem(), QStringLiteral("Line one\nline two"));
    EXPECT_TRUE(screen.sendButton()->isEnabled());

    // Escape in the description is Done from the keyboard; an emptied one gets its prompt back.
    clickOnWindowAt(screen.textView());
    ASSERT_TRUE(test::waitUntil([&] { return screen.textView()->hasFocus(); }));
    screen.textView()->selectAll();
    QTest::keyClick(screen.textView(), Qt::Key_Delete);
    QTest::keyClick(screen.textView(), Qt::Key_Escape);
    EXPECT_FALSE(screen.textView()->hasFocus());
    EXPECT_EQ(screen.textView()->toPlainText(), ReportProblemViewController::placeholder());
    EXPECT_FALSE(screen.sendButton()->isEnabled());

    clickOnWindowAt(screen.textView());
    ASSERT_TRUE(test::waitUntil([&] { return screen.textView()->hasFocus(); }));
    QTest::keyClicks(screen.textView(), QStringLiteral("Again"));
    QTest::keyClick(screen.textView(), Qt::Key_Escape);
    clickOnWindowAt(screen.sendButton());
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].problem, QStringLiteral("Again"));
}

TEST(ReportProblem, FormKeepsAReadableWidthOnAWideWindowAndFitsANarrowOne)
{
    ReportProblemViewController screen;
    screen.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&screen));
    for (const QSize size : {QSize(320, 568), QSize(1280, 800)}) {
        screen.resize(size);
        test::drainEvents();
        const QRect field = screen.textView()->geometry();
        EXPECT_LE(field.width(), ReportProblemViewController::kMaxColumnWidth);
        EXPECT_NEAR(field.center().x(), size.width() / 2, 1);
        EXPECT_GE(field.left(), ReportProblemViewController::kMargin);
        for (QPushButton *button : {screen.sendButton(), screen.doneButton()}) {
            EXPECT_GE(button->width(), button->sizeHint().width());
            EXPECT_TRUE(screen.rect().contains(button->geometry()));
            EXPECT_FALSE(button->geometry().intersects(field));
        }
        EXPECT_FALSE(screen.doneButton()->geometry().intersects(screen.sendButton()->geometry()));
    }
}

TEST(ReportProblem, Screenshot)
{
    ReportProblemViewController screen;
    screen.resize(320, 568);
    screen.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&screen));
    EXPECT_FALSE(test::saveScreenshot(&screen, QStringLiteral("report-problem")).isEmpty());
}
