#pragma once

#include "StoreFixture.h"
#include "library/ListPlayer.h"
#include "screens/library/SavedRecordingsViewController.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QTimeZone>
#include <QToolButton>

namespace murmelo::test {

// Stands in for the sound engine: opens only files that exist, and plays until told to finish.
class FakeListPlayers {
public:
    struct Player : ListPlayer {
        FakeListPlayers *owner;
        QString path;
        bool playing = false;
        std::function<void(const QString &)> finished;

        Player(FakeListPlayers *o, QString p) : owner(o), path(std::move(p)) { ++owner->live; }
        ~Player() override
        {
            --owner->live;
            if (owner->current == this)
                owner->current = nullptr;
        }
        bool play(QString *) override { return playing = true; }
        void stop() override { playing = false; }
        void setFinishedHandler(std::function<void(const QString &)> handler) override
        {
            finished = std::move(handler);
        }
    };

    ListPlayerFactory factory()
    {
        return [this](const QString &path, QString *error) -> std::unique_ptr<ListPlayer> {
            if (!QFileInfo(path).isFile()) {
                *error = QStringLiteral("no such file");
                return nullptr;
            }
            auto player = std::make_unique<Player>(this, path);
            current = player.get();
            ++opened;
            return player;
        };
    }

    // The newest player reaches the end of its file.
    void finishCurrent(const QString &error = {})
    {
        auto handler = current->finished;
        current->playing = false;
        handler(error);
    }

    Player *current = nullptr;
    int opened = 0;
    int live = 0;
};

// A store with a list screen over it, 320 x 568 like the phone it was drawn for.
class SavedRecordingsFixture : public StoreFixture {
protected:
    void SetUp() override
    {
        StoreFixture::SetUp();
        context = openContext();
    }
    void TearDown() override
    {
        screen.reset();
        drainEvents();
    }

    std::shared_ptr<Recording> add(const QString &name, int minutes, bool withFiles = true)
    {
        auto recording = Recording::insertInManagedObjectContext(*context);
        recording->setName(name);
        recording->setDate(QDateTime(QDate(2024, 5, 1), QTime(9, 0)).addSecs(minutes * 60));
        if (withFiles)
            recording->setAudioPath(temporaryFile(), temporaryFile());
        else
            recording->setAudioPath(folder + QStringLiteral("/gone-forward.wav"),
                                    folder + QStringLiteral("/gone-reverse.wav"));
        return recording;
    }

    void save() { ASSERT_TRUE(context->save()); }

    void showScreen()
    {
        screen = std::make_unique<SavedRecordingsViewController>(*context, players.factory());
        screen->resize(320, 568);
        screen->show();
        drainEvents();
    }

    RecordingCell *cell(int row) { return screen->tableView()->cellForRow(row); }

    QStringList shownTitles()
    {
        QStringList titles;
        for (int row = 0; row < screen->model().rowCount(); ++row) {
            RecordingCell *c = cell(row);
            // The title the row holds; an open panel may leave room for only part of it.
            titles << (c ? static_cast<ElidedLabel *>(c->titleLabel())->fullText()
                         : QStringLiteral("<off screen>"));
        }
        return titles;
    }

    static void tap(QWidget *widget)
    {
        const QPointF at(widget->width() / 4.0, widget->height() / 2.0);
        const QPointF global = widget->mapToGlobal(at);
        QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }

    void key(int code)
    {
        QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
        QApplication::sendEvent(screen->tableView(), &press);
        drainEvents();
    }

    static bool settledOpen(RecordingCell *c)
    {
        return c->isPanelOpen() && c->panelOffset() == RecordingCell::kPanelWidth &&
               c->editView()->isVisible();
    }
    static bool settledClosed(RecordingCell *c)
    {
        return !c->isPanelOpen() && c->panelOffset() == 0 && !c->editView()->isVisible();
    }

    std::unique_ptr<StoreContext> context;
    FakeListPlayers players;
    std::unique_ptr<SavedRecordingsViewController> screen;
};

} // namespace murmelo::test
