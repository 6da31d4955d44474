// Pictures of the shell for the documentation: scripts/screenshots.sh keeps them in
// docs/screenshots; otherwise they go to the scratch folder.
#include "AppTestSupport.h"
#include "app/EulaViewController.h"
#include "app/GettingStartedViewController.h"
#include "app/MainLayout.h"
#include "app/SliderAppearance.h"

#include <QFileInfo>
#include <QImage>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class Screenshots : public ::testing::Test {
protected:
    void SetUp() override
    {
        applySliderAppearance();
        window.reset(buildMainWindow({}));
        window->setRevealWidth(47);
        window->show();
        test::drainEvents();
    }
    void save(const QString &name)
    {
        const QString path = test::saveScreenshot(window.get(), QFileInfo(name).completeBaseName());
        ASSERT_FALSE(path.isEmpty());
        EXPECT_EQ(QImage(path).size(), QSize(320, 568));
    }
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

} // namespace
