#include "SavedRecordingsTestSupport.h"

#include <QTest>
#include <QToolButton>

namespace murmelo::test {
namespace {

// "Publish" on a row's panel, clicked where it shows in the window, hands that row's record to
// the page maker the window gave the list.
using RowPublish = SavedRecordingsFixture;

TEST_F(RowPublish, PublishOnARowsPanelPublishesThatRecord)
{
    add(QStringLiteral("A"), 5);
    add(QStringLiteral("B"), 0);
    save();
    showScreen();
    std::vector<std::shared_ptr<Recording>> published;
    screen->setPublishAction(
        [&](const std::shared_ptr<Recording> &recording) { published.push_back(recording); });

    tap(cell(1)->infoView());
    ASSERT_TRUE(waitUntil([&] { return settledOpen(cell(1)); }));
    QToolButton *button = cell(1)->publishButton();
    ASSERT_TRUE(button->isVisible());
    QWidget *window = screen->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      button->mapTo(window, button->rect().center()));
    drainEvents();
    ASSERT_EQ(published.size(), 1u);
    EXPECT_EQ(published[0], cell(1)->recording());
    EXPECT_EQ(published[0]->name(), QStringLiteral("B"));
}

} // namespace
} // namespace murmelo::test
