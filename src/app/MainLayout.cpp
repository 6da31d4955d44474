#include "app/MainLayout.h"

#include "app/AudioListPlayer.h"
#include "app/FileDrops.h"
#include "app/ReplaceSidebarContainerSegue.h"
#include "app/SidebarViewController.h"
#include "app/SpeechSidebarMenuController.h"
#include "app/UnsavedWork.h"
#include "audio/WavFile.h"
#include "screens/library/SavedRecordingsViewController.h"
#include "screens/mail/ReportProblemViewController.h"
#include "screens/playback/PlaybackViewController.h"
#include "screens/playback/PublishFlow.h"
#include "screens/record/RecordViewController.h"
#include "screens/shell/EulaViewController.h"
#include "screens/shell/GettingStartedViewController.h"
#include "screens/shell/SettingsViewController.h"
#include "telemetry/session/VGTelemetrySwitch.h"

#include <QAction>
#include <QToolButton>
#include <algorithm>

namespace murmelo {

namespace {
// The phone layout's 320 x 568 points are the smallest the window gets.
constexpr int kWindowWidth = 320;
constexpr int kWindowHeight = 568;
// A first start takes a comfortable share of a desktop's screen, not a phone's.
constexpr double kFirstStartShare = 0.7;
constexpr int kFirstStartMaxWidth = 1280;
constexpr int kFirstStartMaxHeight = 860;

// The length a library row shows; a file that cannot be read shows none.
double wavSeconds(const QString &path)
{
    WavLayout layout;
    QString error;
    if (WavFile::inspect(path, layout, error) != WavFile::Kind::Valid || layout.sampleRate <= 0)
        return -1.0;
    return double(layout.frames) / layout.sampleRate;
}

QList<SidebarMenuEntry> menuEntries(const MainLayoutServices &services)
{
    return {
        {GettingStartedViewController::kMenuPosition, QObject::tr("Getting started"),
         QKeySequence(Qt::CTRL | Qt::Key_1), [] { return new GettingStartedViewController; }},
        {1, QObject::tr("Record"), QKeySequence(Qt::CTRL | Qt::Key_2),
         [] { return new RecordViewController; }},
        {SavedRecordingsViewController::kMenuIndex, QObject::tr("Saved recordings"),
         QKeySequence(Qt::CTRL | Qt::Key_3),
         [store = services.store]() -> ViewController * {
             StoreContext *context = store ? store() : nullptr;
             if (!context)
                 return nullptr;
             auto *list = new SavedRecordingsViewController(*context, audioListPlayerFactory());
             list->setDurationReader(wavSeconds);
             auto *publish = new PublishFlow(*context, list);
             list->setPublishAction([publish](const std::shared_ptr<Recording> &recording) {
                 publish->publish(recording);
             });
             return list;
         }},
        {SettingsViewController::kMenuPosition, QObject::tr("Settings"),
         QKeySequence(Qt::CTRL | Qt::Key_4), [] { return new SettingsViewController; }},
    };
}
} // namespace

SidebarViewController *buildMainWindow(const MainLayoutServices &services)
{
    auto *window = new SidebarViewController;
    window->setMinimumSize(kWindowWidth, kWindowHeight);
    window->resize(kWindowWidth, kWindowHeight);
    new UnsavedWork(window);
    auto *files = new FileDrops(window);
    auto *open = new QAction(QObject::tr("Import a Song"), window);
    open->setShortcut(QKeySequence::Open);
    QObject::connect(open, &QAction::triggered, files, &FileDrops::chooseFile);
    window->addAction(open);
    // Quitting is closing the one window, with its question about a reversal not saved.
    auto *quit = new QAction(QObject::tr("Quit"), window);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QObject::connect(quit, &QAction::triggered, window, &QWidget::close);
    window->addAction(quit);
    auto *menu = new SpeechSidebarMenuController(menuEntries(services));
    window->setMenuViewController(menu);
    window->addActions(menu->shortcutActions());
    auto *toggle = new QAction(QObject::tr("Menu"), window);
    toggle->setShortcuts({QKeySequence(Qt::Key_F9), QKeySequence(Qt::CTRL | Qt::Key_M)});
    QObject::connect(toggle, &QAction::triggered, window, &SidebarViewController::toggleSidebar);
    window->addAction(toggle);

    Storyboard &storyboard = window->mainStoryboard();
    storyboard.registerSegue(QStringLiteral("Record"), [] { return new RecordViewController; });
    storyboard.registerSegue(QStringLiteral("Playback"),
                             [store = services.store]() -> ViewController * {
                                 StoreContext *context = store ? store() : nullptr;
                                 return context ? new PlaybackViewController(*context) : nullptr;
                             });
    // The report screen is reached from the settings screen, whose menu entry it keeps marked.
    storyboard.registerSegue(QStringLiteral("ReportProblem"),
                             [] { return new ReportProblemViewController; });
    auto *report = new QAction(QObject::tr("Report a Problem"), window);
    report->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_5));
    // Like a menu entry: not while a job holds the screen, and a reversal never saved is asked
    // about instead of being dropped with the screen.
    QObject::connect(report, &QAction::triggered, window, [window] {
        ViewController *content = window->contentViewController();
        if (!content || !window->sidebarButton()->isEnabled() ||
            qobject_cast<ReportProblemViewController *>(content))
            return;
        ReplaceSidebarContainerSegue(content, new ReportProblemViewController).perform();
    });
    window->addAction(report);
    window->registerModalSegue(QStringLiteral("EULA"), [] {
        auto *eula = new EulaViewController;
        // The agreement says what is sent; accepting it starts the telemetry there and then.
        QObject::connect(eula, &EulaViewController::accepted, eula,
                         [] { VGTelemetrySwitch::activateIfEnabled(); });
        return eula;
    });

    window->setContentViewController(new RecordViewController);
    return window;
}

QRect firstStartFrame(const QRect &available)
{
    const auto side = [](int room, int most, int least) {
        return std::max(least, std::min(most, int(room * kFirstStartShare)));
    };
    const QSize size(side(available.width(), kFirstStartMaxWidth, kWindowWidth),
                     side(available.height(), kFirstStartMaxHeight, kWindowHeight));
    QRect frame(QPoint(), size);
    frame.moveCenter(available.center());
    return frame;
}

} // namespace murmelo
