#include "app/Translations.h"
#include "AppTestSupport.h"
#include "app/MainLayout.h"
#include "app/SpeechSidebarMenuController.h"
#include "library/StoreContext.h"
#include "platform/Localized.h"
#include "screens/record/RecordViewController.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

const QLocale kGerman(QLocale::German, QLocale::Germany);

// Each test leaves the application English, as the other tests read it.
class Translations : public ::testing::Test {
protected:
    void TearDown() override { removeTranslations(); }
};

QStringList visibleTexts(const QWidget *root)
{
    QStringList texts;
    for (const QAbstractButton *button : root->findChildren<QAbstractButton *>())
        if (button->isVisible())
            texts << button->text();
    return texts;
}

} // namespace

TEST_F(Translations, GermanComesWithQtsOwnTextsAndGoesBackToEnglish)
{
    ASSERT_TRUE(installTranslations(kGerman));
    EXPECT_EQ(RecordViewController::tr("Import a Song…"), QStringLiteral("Lied importieren …"));
    // The keyed table, and a text of Qt's own standard buttons.
    EXPECT_EQ(localized("yes"), QStringLiteral("Ja"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));

    removeTranslations();
    EXPECT_EQ(RecordViewController::tr("Import a Song…"), QStringLiteral("Import a Song…"));
    EXPECT_EQ(localized("yes"), QStringLiteral("Yes"));
}

TEST_F(Translations, ALanguageWithoutOurTranslationStaysEnglishThroughout)
{
    // Qt has French texts of its own, but a French dialog button in an English window is worse
    // than English everywhere.
    EXPECT_FALSE(installTranslations(QLocale(QLocale::French, QLocale::France)));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    EXPECT_FALSE(installTranslations(QLocale::c()));
    EXPECT_EQ(localized("no"), QStringLiteral("No"));
    // A language chosen after a German one drops the German.
    ASSERT_TRUE(installTranslations(kGerman));
    EXPECT_FALSE(installTranslations(QLocale(QLocale::English, QLocale::UnitedKingdom)));
    EXPECT_EQ(localized("no"), QStringLiteral("No"));
}

TEST_F(Translations, GermanWindowOpensItsMenuWithAClickAndShowsGermanEntries)
{
    ASSERT_TRUE(installTranslations(kGerman));
    StoreContext store;
    std::unique_ptr<SidebarViewController> window(
        buildMainWindow({.store = [&store] { return &store; }}));
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_TRUE(visibleTexts(window.get()).contains(QStringLiteral("Aufnehmen")));
    EXPECT_TRUE(visibleTexts(window.get()).contains(QStringLiteral("Lied importieren …")));

    QToolButton *menuButton = window->sidebarButton();
    EXPECT_EQ(menuButton->accessibleName(), QStringLiteral("Menü"));
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      menuButton->mapTo(window.get(), menuButton->rect().center()));
    ASSERT_TRUE(test::waitForSlide(*window));
    const QStringList entries = visibleTexts(window->menuViewController());
    for (const char *entry :
         {"Erste Schritte", "Aufnehmen", "Gespeicherte Aufnahmen", "Einstellungen"})
        EXPECT_TRUE(entries.contains(QString::fromUtf8(entry))) << entry;
}
