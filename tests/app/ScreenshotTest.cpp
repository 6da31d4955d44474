// Pictures of the shell for the documentation: scripts/screenshots.sh keeps them in
// docs/screenshots; otherwise they go to the scratch folder.
#include "AppTestSupport.h"
#include "app/EulaViewController.h"
#include "app/GettingStartedViewController.h"
#include "app/MainLayout.h"
#include "app/SliderAppearance.h"
#include "app/SpeechSidebarMenuController.h"
#include "library/Recording.h"
#include "library/SavedRecordingsViewController.h"
#include "library/StoreContext.h"
#include "platform/Theme.h"

#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class Screenshots : public ::testing::Test {
protected:
    void SetUp() override
    {
        applySliderAppearance();
        Theme::applyToApplication();
        window.reset(buildMainWindow({.store = [this] { return &store; }}));
        window->setRevealWidth(47);
        window->show();
        test::drainEvents();
    }
    void save(const QString &name)
    {
        const QString path = test::saveScreenshot(window.get(), QFileInfo(name).completeBaseName());
        ASSERT_FALSE(path.isEmpty());
        EXPECT_EQ(QImage(path).size(), window->size());
    }
    // The window at the phone size and at a common desktop size.
    void saveAtBothSizes(const QString &stem)
    {
        for (const QSize size : {QSize(320, 568), QSize(1024, 768)}) {
            window->resize(size);
            test::drainEvents();
            save(QStringLiteral("%1-%2x%3.png").arg(stem).arg(size.width()).arg(size.height()));
        }
    }
    StoreContext store;
    std::unique_ptr<SidebarViewController> window;
};

TEST_F(Screenshots, SidebarOpen)
{
    window->setContentViewController(new GettingStartedViewController);
    window->showSidebar();
    ASSERT_TRUE(test::waitForSlide(*window));
    save(QStringLiteral("sidebar-open.png"));
}

TEST_F(Screenshots, Agreement)
{
    test::ScratchDefaults defaults;
    window->performSegue(QStringLiteral("EULA"));
    test::waitUntil([] { return false; }, std::chrono::milliseconds(400)); // let it rise
    save(QStringLiteral("agreement.png"));
}

TEST_F(Screenshots, GettingStarted)
{
    auto *screen = new GettingStartedViewController;
    window->setContentViewController(screen);
    test::drainEvents();
    screen->didSelectRowAtIndexPath(1);
    test::drainEvents();
    ASSERT_TRUE(test::waitUntil([&] { return !screen->isScrolling(); }));
    save(QStringLiteral("getting-started.png"));
}

TEST_F(Screenshots, RecordAtBothSizes)
{
    saveAtBothSizes(QStringLiteral("record"));
}

TEST_F(Screenshots, LibraryAtBothSizes)
{
    ASSERT_TRUE(store.open(test::scratchRoot() + QStringLiteral("/screenshot-library.sql")));
    const QStringList names{QStringLiteral("First try"), QStringLiteral("Kitchen, late at night"),
                            QStringLiteral("Radio jingle"),
                            QStringLiteral("Stairway, the second verse at half speed with the "
                                           "chorus cut away"),
                            QStringLiteral("Voicemail")};
    for (int i = 0; i < names.size(); ++i) {
        auto recording = Recording::insertInManagedObjectContext(store);
        recording->setName(names[i]);
        recording->setDate(QDateTime(QDate(2024, 4, 26 + i), QTime(9 + i, 0)));
    }
    ASSERT_TRUE(store.save());
    window->menuViewController()->choose(SavedRecordingsViewController::kMenuIndex);
    test::drainEventsAndDeletions();
    saveAtBothSizes(QStringLiteral("library"));
}

TEST_F(Screenshots, LibrarySearch)
{
    ASSERT_TRUE(store.open(test::scratchRoot() + QStringLiteral("/screenshot-search.sql")));
    const QList<QStringList> records{
        {QStringLiteral("Stairway, second verse"), QStringLiteral("“here's to my sweet Satan”")},
        {QStringLiteral("Kitchen, late at night"), QString()},
        {QStringLiteral("Radio jingle"), QStringLiteral("sounds like “see you soon”")},
        {QStringLiteral("Satellite broadcast"), QString()},
        {QStringLiteral("Voicemail from Ana"), QStringLiteral("nothing yet")}};
    for (int i = 0; i < records.size(); ++i) {
        auto recording = Recording::insertInManagedObjectContext(store);
        recording->setName(records[i][0]);
        recording->setMessage(records[i][1]);
        recording->setDate(QDateTime(QDate(2024, 4, 26 + i), QTime(9 + i, 0)));
    }
    ASSERT_TRUE(store.save());
    window->menuViewController()->choose(SavedRecordingsViewController::kMenuIndex);
    test::drainEventsAndDeletions();
    auto *screen = qobject_cast<SavedRecordingsViewController *>(window->contentViewController());
    ASSERT_NE(screen, nullptr);
    window->resize(1024, 768);
    screen->searchField()->setFocus();
    screen->searchField()->setText(QStringLiteral("sat"));
    test::drainEvents();
    ASSERT_EQ(screen->model().rowCount(), 2);
    save(QStringLiteral("library-search.png"));
}

} // namespace
