// The own-server form's connection security, chosen with the mouse the way a user does.
#include "screens/mail/RelaySettingsView.h"
#include "MemoryPasswordStore.h"
#include "mail/jobs/RelaySettings.h"
#include "platform/Defaults.h"
#include "support/TestSupport.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

// A click delivered to the top-level window at this point of the widget, so whatever is on top
// there receives it.
void clickOnWindowAt(QWidget *widget, QPoint point)
{
    QWidget *window = widget->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, widget->mapTo(window, point));
}

void clickOnWindowAt(QWidget *widget)
{
    clickOnWindowAt(widget, widget->rect().center());
}

class RelaySettingsForm : public ::testing::Test {
protected:
    RelaySettingsForm()
        : defaults(test::scratchRoot() + QStringLiteral("/form-%1.conf").arg(++counter)),
          settings(&defaults, passwords)
    {
    }

    std::unique_ptr<RelaySettingsView> showForm()
    {
        auto view = std::make_unique<RelaySettingsView>(settings);
        view->resize(320, 400);
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        return view;
    }

    // Opens the choice with a click and clicks the entry with this text in the list that drops
    // down.
    void choose(QComboBox *box, const QString &text)
    {
        clickOnWindowAt(box);
        QAbstractItemView *list = box->view();
        ASSERT_TRUE(test::waitUntil([&] { return list->isVisible(); }));
        const int row = box->findText(text);
        ASSERT_GE(row, 0);
        const QRect item = list->visualRect(list->model()->index(row, 0));
        clickOnWindowAt(list->viewport(), item.center());
        ASSERT_TRUE(test::waitUntil([&] { return !list->isVisible(); }));
    }

    bool save(RelaySettingsView &view)
    {
        bool saved = false;
        const auto connection =
            QObject::connect(&view, &RelaySettingsView::saved, [&] { saved = true; });
        clickOnWindowAt(view.saveButton());
        const bool done = test::waitUntil([&] { return saved; });
        QObject::disconnect(connection);
        return done;
    }

    static inline int counter = 0;
    Defaults defaults;
    test::MemoryPasswordStore passwords;
    RelaySettings settings;
};

} // namespace

TEST_F(RelaySettingsForm, ChoosingTlsMovesTheUsualPortAndIsStored)
{
    auto view = showForm();
    clickOnWindowAt(view->ownServerSwitch());
    ASSERT_TRUE(view->securityField()->isVisible());
    EXPECT_EQ(view->securityField()->currentText(), QStringLiteral("STARTTLS"));
    EXPECT_EQ(view->portField()->value(), 587);

    choose(view->securityField(), QStringLiteral("TLS"));
    EXPECT_EQ(view->securityField()->currentText(), QStringLiteral("TLS"));
    EXPECT_EQ(view->portField()->value(), 465);
    choose(view->securityField(), QStringLiteral("STARTTLS"));
    EXPECT_EQ(view->portField()->value(), 587);

    // A port of the user's own choosing stays whatever the security.
    view->portField()->setValue(2525);
    choose(view->securityField(), QStringLiteral("TLS"));
    EXPECT_EQ(view->portField()->value(), 2525);
    view->portField()->setValue(465);

    view->hostField()->setText(QStringLiteral("smtp.example.org"));
    // The sender is read as the mail client reads it: what would smuggle a parameter into MAIL
    // FROM is not stored.
    view->senderField()->setText(QStringLiteral("ann@example.org> SMTPUTF8"));
    view->save();
    EXPECT_TRUE(view->statusLabel()->text().startsWith(QLatin1String("Enter the address")));
    EXPECT_FALSE(settings.ownRelay());
    view->senderField()->setText(QStringLiteral("Ann Smith <ann@example.org>"));
    ASSERT_TRUE(save(*view));
    const std::optional<OwnRelay> stored = settings.ownRelay();
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->security, RelaySecurity::TLS);
    EXPECT_EQ(stored->port, 465);
    EXPECT_TRUE(view->statusLabel()->text().contains(QLatin1String("TLS")))
        << view->statusLabel()->text().toStdString();

    // Shown again as it was stored.
    view.reset();
    auto again = showForm();
    EXPECT_EQ(again->securityField()->currentText(), QStringLiteral("TLS"));
    EXPECT_EQ(again->portField()->value(), 465);
}
