#pragma once

#include "toolkit/ViewController.h"

#include <QPointer>
#include <QUrl>
#include <functional>
#include <optional>

class QPropertyAnimation;
class QTableWidget;

namespace murmelo {

class GettingStartedCell;

// Seven help topics that expand in place, and a short demo movie.
class GettingStartedViewController : public ViewController {
    Q_OBJECT
public:
    static constexpr int kTopicCount = 7;
    static constexpr int kMenuPosition = 0;

    explicit GettingStartedViewController(QWidget *parent = nullptr);

    int numberOfRowsInSection() const { return kTopicCount; }
    int heightForRowAtIndexPath(int row) const;
    // A tap on a row: it expands, or collapses when it already was expanded.
    void didSelectRowAtIndexPath(int row);
    std::optional<int> selectedIndexPath() const { return selectedIndexPath_; }

    // Plays the demo movie in the desktop's player; an alert says so when no program takes it.
    void playMovie();
    // What plays the movie: true when a program took it. The desktop's default player unless
    // replaced.
    void setMoviePlayer(std::function<bool(const QUrl &)> player) { player_ = std::move(player); }
    // Where the movie is, or empty when it is not installed.
    static QString sampleMoviePath();

    QTableWidget *tableView() const { return tableView_; }
    GettingStartedCell *cellForRow(int row) const;
    bool isScrolling() const;

protected:
    void viewDidAppear() override;
    // Up and Down walk the topics, Enter or Space opens and closes the one the keyboard is on.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void reloadData();
    void scrollToBottomOfRow(int row);
    void markKeyboardRow();

    QTableWidget *tableView_;
    std::optional<int> selectedIndexPath_;
    std::function<bool(const QUrl &)> player_;
    QPointer<QPropertyAnimation> scroll_;
};

} // namespace murmelo
