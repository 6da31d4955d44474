#include "AppTestSupport.h"
#include "app/MainLayout.h"
#include "app/SpeechSidebarMenuController.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "platform/AlertPresenter.h"
#include "screens/library/SavedRecordingsViewController.h"
#include "screens/mail/ReportProblemViewController.h"
#include "screens/record/RecordViewController.h"
#include "screens/shell/SettingsViewController.h"
#include "toolkit/ElidedLabel.h"
#include "toolkit/MessageBoxAlertPresenter.h"
#include "toolkit/Theme.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QWindow>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

double luminance(const QColor &c)
{
    const auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// The contrast ratio of text on a background, 1 (none) to 21 (black on white).
double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The mean luminance of what the widget shows.
double meanLuminance(QWidget *widget)
{
    const QImage image = widget->grab().toImage();
    double sum = 0;
    int count = 0;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4, ++count)
            sum += luminance(image.pixelColor(x, y));
    }
    return count ? sum / count : 1.0;
}

class OneLook : public ::testing::Test {
protected:
    void SetUp() override
    {
        Theme::applyToApplication();
        const QString path =
            test::scratchRoot() +
            QStringLiteral("/look-%1.sql").arg(QUuid::createUuid().toString(QUuid::Id128));
        ASSERT_TRUE(store.open(path));
        window.reset(buildMainWindow({.store = [this] { return &store; }}));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override
    {
        window.reset();
        test::drainEventsAndDeletions();
    }

    StoreContext store;
    test::ScratchDefaults defaults;
    std::unique_ptr<SidebarViewController> window;
};

TEST_F(OneLook, StandardDialogsOverADarkScreenStayReadable)
{
    QWidget *screen = window->contentViewController();
    ASSERT_TRUE(qobject_cast<RecordViewController *>(screen));
    MessageBoxAlertPresenter().present({QStringLiteral("Couldn't Reverse the Audio"),
                                        QStringLiteral("The audio file could not be read."),
                                        QStringLiteral("OK"),
                                        {},
                                        {}},
                                       screen);
    auto *box = screen->findChild<QMessageBox *>();
    ASSERT_NE(box, nullptr);
    auto *files = new QFileDialog(screen, QStringLiteral("Import a Song"));
    files->setOption(QFileDialog::DontUseNativeDialog);
    files->show();
    test::drainEvents();

    for (QWidget *dialog : {static_cast<QWidget *>(box), static_cast<QWidget *>(files)}) {
        const QColor background = dialog->palette().color(QPalette::Window);
        for (QLabel *label : dialog->findChildren<QLabel *>()) {
            if (label->text().isEmpty() || !label->isVisible())
                continue;
            EXPECT_GE(contrast(label->palette().color(QPalette::WindowText), background), 4.5)
                << qPrintable(label->text());
        }
    }
    box->close();
    files->close();
}

TEST_F(OneLook, EveryScreenOfTheMenuIsDark)
{
    auto recording = Recording::insertInManagedObjectContext(store);
    recording->setName(QStringLiteral("A row"));
    ASSERT_TRUE(store.save());
    for (int position : {0, 1, 2, 3}) {
        window->menuViewController()->choose(position);
        test::drainEventsAndDeletions();
        ASSERT_TRUE(test::waitForSlide(*window));
        EXPECT_LT(meanLuminance(window->contentViewController()), 0.2)
            << qPrintable(window->contentViewController()->objectName());
    }
}

TEST_F(OneLook, TheReportScreenIsDarkAndReachedByKeyboardUnderSettings)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const auto reportScreen = [this] {
        return qobject_cast<ReportProblemViewController *>(window->contentViewController());
    };
    const auto markedEntry = [this] {
        const QList<QAbstractButton *> entries = window->menuViewController()->entryButtons();
        for (int i = 0; i < entries.size(); ++i) {
            if (entries[i]->isChecked())
                return i;
        }
        return -1;
    };

    // From anywhere with its shortcut.
    QTest::keyClick(window->windowHandle(), Qt::Key_5, Qt::ControlModifier);
    test::drainEventsAndDeletions();
    ASSERT_TRUE(reportScreen());
    EXPECT_EQ(markedEntry(), ReportProblemViewController::kMenuPosition);
    EXPECT_LT(meanLuminance(reportScreen()), 0.2);
    for (QWidget *input : {static_cast<QWidget *>(reportScreen()->textView()),
                           static_cast<QWidget *>(reportScreen()->emailTextField())}) {
        EXPECT_LT(luminance(input->palette().color(input->backgroundRole())), 0.2);
        EXPECT_GE(contrast(input->palette().color(input->foregroundRole()),
                           input->palette().color(input->backgroundRole())),
                  4.5);
    }

    // From the settings screen with Tab and Space, as its button says.
    QTest::keyClick(window->windowHandle(), Qt::Key_4, Qt::ControlModifier);
    test::drainEventsAndDeletions();
    ASSERT_TRUE(test::waitForSlide(*window));
    ASSERT_TRUE(qobject_cast<SettingsViewController *>(window->contentViewController()));
    auto *button = window->findChild<QPushButton *>(QStringLiteral("reportProblemButton"));
    ASSERT_TRUE(button);
    for (int tabs = 0; tabs < 30 && !button->hasFocus(); ++tabs)
        QTest::keyClick(window->windowHandle(), Qt::Key_Tab);
    ASSERT_TRUE(button->hasFocus());
    QTest::keyClick(window->windowHandle(), Qt::Key_Space);
    test::drainEventsAndDeletions();
    ASSERT_TRUE(reportScreen());
    EXPECT_EQ(markedEntry(), ReportProblemViewController::kMenuPosition);
}

TEST_F(OneLook, LongTitlesEndInAnEllipsis)
{
    const QString name = QStringLiteral("The second verse of the song, played at half speed, "
                                        "with the chorus cut away");
    auto recording = Recording::insertInManagedObjectContext(store);
    recording->setName(name);
    ASSERT_TRUE(store.save());
    window->menuViewController()->choose(SavedRecordingsViewController::kMenuIndex);
    test::drainEventsAndDeletions();
    auto *row = window->findChild<RecordingCell *>();
    ASSERT_NE(row, nullptr);
    auto *title = static_cast<ElidedLabel *>(row->titleLabel());
    const QString shown = title->shownText();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << qPrintable(shown);
    EXPECT_TRUE(name.startsWith(shown.chopped(1))) << "the beginning is kept";
    EXPECT_LE(title->fontMetrics().horizontalAdvance(shown), title->contentsRect().width());
    EXPECT_EQ(title->fullText(), name);

    window->resize(1024, 768); // room enough: the whole title
    test::drainEvents();
    EXPECT_EQ(title->shownText(), name);
}

} // namespace
