#include "SavedRecordingsTestSupport.h"
#include "library/PhraseMarkerStore.h"

#include <QLineEdit>
#include <QTest>
#include <QWindow>

using namespace murmelo;
using namespace murmelo::test;

namespace {

// The search field of the saved-recordings screen, driven through the window as a user would.
class LibrarySearch : public SavedRecordingsFixture {
protected:
    QWindow *window() { return screen->windowHandle(); }
    void click(QWidget *widget)
    {
        ASSERT_TRUE(widget->isVisible());
        QTest::mouseClick(window(), Qt::LeftButton, {},
                          widget->mapTo(screen.get(), widget->rect().center()));
        drainEvents();
    }
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(window(), key, modifiers);
        drainEvents();
    }
    void type(const char *text)
    {
        for (const char *c = text; *c; ++c)
            QTest::keyClick(window(), *c);
        drainEvents();
    }
    QLineEdit *field() { return screen->searchField(); }
    bool saysNothingMatches() { return screen->emptyLabel()->isVisible(); }
    void mark(const std::shared_ptr<Recording> &recording, const QString &text)
    {
        ASSERT_TRUE(PhraseMarkerStore(*context).addMarker(recording->rowID(), {0, {0, 100}, text}));
    }
};

TEST_F(LibrarySearch, TypingNarrowsTheListEscapeBringsItBackAndKeysMoveBetweenFieldAndList)
{
    auto marked = add(QStringLiteral("Take 1"), 0);
    add(QStringLiteral("Satan speaks"), 1);
    auto withMessage = add(QStringLiteral("Take 3"), 2);
    withMessage->setMessage(QStringLiteral("a CAFÉ at the end"));
    save();
    mark(marked, QStringLiteral("Grüße aus Köln"));
    showScreen();
    EXPECT_EQ(shownTitles(), (QStringList{"Take 3", "Satan speaks", "Take 1"}));
    EXPECT_FALSE(saysNothingMatches());

    press(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(field()->hasFocus());
    type("gru");
    EXPECT_EQ(shownTitles(), QStringList{"Take 1"}) << "marker text, accents folded";
    EXPECT_FALSE(saysNothingMatches());
    type("x");
    EXPECT_EQ(screen->model().rowCount(), 0);
    ASSERT_TRUE(saysNothingMatches());
    EXPECT_TRUE(screen->emptyLabel()->text().contains(QStringLiteral("“grux”")));

    press(Qt::Key_Escape);
    EXPECT_TRUE(field()->text().isEmpty());
    EXPECT_EQ(shownTitles(), (QStringList{"Take 3", "Satan speaks", "Take 1"}));
    EXPECT_FALSE(saysNothingMatches());
    EXPECT_TRUE(field()->hasFocus());
    press(Qt::Key_Escape);
    EXPECT_TRUE(screen->tableView()->hasFocus()) << "a second Escape leaves the empty field";

    // Down from the field chooses the first match; Up from it goes back.
    click(field());
    ASSERT_TRUE(field()->hasFocus());
    type("cafe");
    EXPECT_EQ(shownTitles(), QStringList{"Take 3"});
    press(Qt::Key_Down);
    EXPECT_TRUE(screen->tableView()->hasFocus());
    EXPECT_EQ(screen->selectedRecording(), withMessage);
    press(Qt::Key_Up);
    EXPECT_TRUE(field()->hasFocus());
    // Quotes and stars are only letters to look for, never an error.
    field()->selectAll();
    type("\"*(");
    EXPECT_EQ(screen->model().rowCount(), 3);
    EXPECT_FALSE(saysNothingMatches());
}

TEST_F(LibrarySearch, ClickingAMatchOpensThatRecordAtThePhoneSize)
{
    for (int i = 0; i < 12; ++i)
        add(QStringLiteral("Take %1").arg(i), i);
    auto wanted = add(QStringLiteral("Hidden voice"), -1); // the oldest, far below
    save();
    showScreen();
    ASSERT_EQ(screen->size(), QSize(320, 568));
    EXPECT_EQ(cell(12), nullptr) << "off screen before the search";

    click(field());
    type("voi");
    ASSERT_EQ(shownTitles(), QStringList{"Hidden voice"});
    click(cell(0)->infoView());
    EXPECT_EQ(screen->selectedRecording(), wanted);
    EXPECT_TRUE(waitUntil([&] { return settledOpen(cell(0)); }));
}

TEST_F(LibrarySearch, SearchedListFollowsSavesDeletionsAndMarkersWrittenElsewhere)
{
    auto match = add(QStringLiteral("Owl at night"), 0);
    auto later = add(QStringLiteral("Blackbird"), 1);
    save();
    showScreen();
    click(field());
    type("owl");
    ASSERT_EQ(shownTitles(), QStringList{"Owl at night"});

    auto arrived = add(QStringLiteral("Owlet"), 2);
    add(QStringLiteral("Wren"), 3);
    save();
    drainEvents();
    EXPECT_EQ(shownTitles(), (QStringList{"Owlet", "Owl at night"}));

    match->setName(QStringLiteral("Nightjar"));
    arrived->deleteObject();
    save();
    drainEvents();
    EXPECT_EQ(screen->model().rowCount(), 0);
    EXPECT_TRUE(saysNothingMatches()) << "the last match went while the search was shown";

    // A marker written on the playback screen counts when the list shows again.
    mark(later, QStringLiteral("an owl calls"));
    screen->hide();
    screen->show();
    drainEvents();
    EXPECT_EQ(shownTitles(), QStringList{"Blackbird"});
    EXPECT_FALSE(saysNothingMatches());
    EXPECT_EQ(field()->text(), QStringLiteral("owl"));
}

} // namespace
