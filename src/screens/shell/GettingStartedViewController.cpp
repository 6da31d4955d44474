#include "screens/shell/GettingStartedViewController.h"

#include "platform/AlertPresenter.h"
#include "platform/MainQueue.h"
#include "screens/shell/GettingStartedCell.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace murmelo {

namespace {
const char kMovieName[] = "sample_iPod.m4v";
}

GettingStartedViewController::GettingStartedViewController(QWidget *parent)
    : ViewController(parent), tableView_(new QTableWidget(kTopicCount, 1, this)),
      player_([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("GettingStartedViewController"));
    setWindowTitle(tr("Getting started"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral(
        "#GettingStartedViewController, QTableWidget { background: #1c2430; border: none; }"
        "QPushButton { color: white; background: #5b6ee1; border: none; border-radius: 8px;"
        " padding: 10px; font-size: 15px; font-weight: bold; }"
        "QPushButton:disabled { background: #3a4358; color: #7d869c; }"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 6, 0, 10);

    tableView_->setObjectName(QStringLiteral("tableView"));
    tableView_->horizontalHeader()->hide();
    tableView_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    tableView_->verticalHeader()->hide();
    tableView_->setShowGrid(false);
    tableView_->setSelectionMode(QAbstractItemView::NoSelection);
    tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A list the keyboard walks too: Tab reaches it between the menu and the demo.
    tableView_->setFocusPolicy(Qt::StrongFocus);
    tableView_->setTabKeyNavigation(false);
    tableView_->installEventFilter(this);
    tableView_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    tableView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tableView_->setAccessibleName(tr("Help topics"));
    for (int row = 0; row < kTopicCount; ++row) {
        // The cell paints the title; the item carries it for screen readers.
        auto *item = new QTableWidgetItem;
        item->setData(Qt::AccessibleTextRole, GettingStartedCell::title(row + 1));
        tableView_->setItem(row, 0, item);
        tableView_->setCellWidget(row, 0, new GettingStartedCell);
    }
    connect(tableView_, &QTableWidget::cellClicked, this,
            [this](int row, int) { didSelectRowAtIndexPath(row); });
    column->addWidget(tableView_, 1);
    connect(tableView_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &GettingStartedViewController::markKeyboardRow);

    auto *movie = new QPushButton(tr("▶  Watch the demo"), this);
    movie->setObjectName(QStringLiteral("playMovieButton"));
    movie->setEnabled(!sampleMoviePath().isEmpty());
    connect(movie, &QPushButton::clicked, this, &GettingStartedViewController::playMovie);
    auto *movieRow = new QHBoxLayout;
    movieRow->setContentsMargins(16, 0, 16, 0);
    movieRow->addWidget(movie);
    column->addLayout(movieRow);

    reloadData();
}

bool GettingStartedViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == tableView_) {
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
            if (event->type() == QEvent::FocusIn && !tableView_->currentIndex().isValid())
                tableView_->setCurrentCell(0, 0);
            markKeyboardRow();
        } else if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            const bool press = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
                               key->key() == Qt::Key_Space;
            if (press && !key->isAutoRepeat() && tableView_->currentIndex().isValid()) {
                didSelectRowAtIndexPath(tableView_->currentIndex().row());
                return true;
            }
        }
    }
    return ViewController::eventFilter(watched, event);
}

void GettingStartedViewController::markKeyboardRow()
{
    const int current = tableView_->hasFocus() ? tableView_->currentIndex().row() : -1;
    for (int row = 0; row < numberOfRowsInSection(); ++row)
        cellForRow(row)->setKeyboardCurrent(row == current);
}

GettingStartedCell *GettingStartedViewController::cellForRow(int row) const
{
    return qobject_cast<GettingStartedCell *>(tableView_->cellWidget(row, 0));
}

int GettingStartedViewController::heightForRowAtIndexPath(int row) const
{
    if (selectedIndexPath_ == row)
        return GettingStartedCell::expandedHeight(row + 1);
    return GettingStartedCell::kCollapsedHeight;
}

void GettingStartedViewController::reloadData()
{
    for (int row = 0; row < numberOfRowsInSection(); ++row) {
        GettingStartedCell *cell = cellForRow(row);
        cell->setIndex(row + 1);
        cell->setExposed(selectedIndexPath_ == row);
        tableView_->setRowHeight(row, heightForRowAtIndexPath(row));
    }
}

void GettingStartedViewController::didSelectRowAtIndexPath(int row)
{
    if (row < 0 || row >= numberOfRowsInSection())
        return;
    if (selectedIndexPath_ == row)
        selectedIndexPath_.reset();
    else
        selectedIndexPath_ = row;
    reloadData();
    // The new row heights are laid out on the next turn; scroll once they are.
    postToMainQueue([self = QPointer(this), row] {
        if (self)
            self->scrollToBottomOfRow(row);
    });
}

void GettingStartedViewController::scrollToBottomOfRow(int row)
{
    QScrollBar *bar = tableView_->verticalScrollBar();
    const int from = bar->value();
    tableView_->scrollTo(tableView_->model()->index(row, 0), QAbstractItemView::PositionAtBottom);
    const int to = bar->value();
    bar->setValue(from);
    if (scroll_)
        scroll_->stop();
    scroll_ = new QPropertyAnimation(bar, "value", this);
    scroll_->setDuration(250);
    scroll_->setEasingCurve(QEasingCurve::InOutQuad);
    scroll_->setEndValue(to);
    scroll_->start(QAbstractAnimation::DeleteWhenStopped);
}

bool GettingStartedViewController::isScrolling() const
{
    return scroll_ && scroll_->state() == QAbstractAnimation::Running;
}

QString GettingStartedViewController::sampleMoviePath()
{
    const QStringList candidates{
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/murmelo/"),
        QStringLiteral(MURMELO_DATA_INSTALL_DIR "/"),
        QStringLiteral(MURMELO_DATA_BUILD_DIR "/"),
    };
    for (const QString &folder : candidates) {
        const QFileInfo movie(folder + QLatin1String(kMovieName));
        if (movie.isFile())
            return movie.canonicalFilePath();
    }
    return {};
}

void GettingStartedViewController::playMovie()
{
    const QString path = sampleMoviePath();
    if (path.isEmpty() || !player_)
        return;
    if (!player_(QUrl::fromLocalFile(path)))
        showAlert(this, tr("No Video Player"),
                  tr("No program on this computer plays the demo movie. Install a video player, "
                     "or open the movie yourself:\n%1")
                      .arg(QDir::toNativeSeparators(path)));
}

void GettingStartedViewController::viewDidAppear()
{
    if (SidebarSeam *sidebar = sidebarViewController())
        sidebar->selectIndex(kMenuPosition);
}

} // namespace murmelo
