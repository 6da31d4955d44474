// Pictures of the shell for the documentation. Set MURMELO_SCREENSHOT_DIR (for example to
// docs/screenshots) to keep them; otherwise they go to the scratch folder.
#include "AppTestSupport.h"
#include "app/EulaViewController.h"
#include "app/GettingStartedViewController.h"
#include "app/MainLayout.h"
#include "app/SliderAppearance.h"

#include <QDir>
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
        test::drainEvents();
        const QImage picture = window->grab().toImage();
        ASSERT_EQ(picture.size(), QSize(320, 568));
        const QString folder = qEnvironmentVariable("MURMELO_SCREENSHOT_DIR", test::scratchRoot());
        QDir().mkpath(folder);
        ASSERT_TRUE(picture.save(folder + QLatin1Char('/') + name));
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
