#include "app/UnsavedWork.h"

#include "app/MainLayout.h"
#include "app/SidebarViewController.h"
#include "platform/AlertPresenter.h"
#include "platform/Defaults.h"
#include "platform/Localized.h"
#include "platform/StandardPaths.h"
#include "screens/playback/PlaybackViewController.h"
#include "screens/playback/UnsavedReversal.h"
#include "screens/record/RecordViewController.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QSessionManager>
#include <QTimer>

namespace murmelo {

namespace {
UnsavedReversal *unsavedReversalOf(ViewController *screen)
{
    auto *unsaved = dynamic_cast<UnsavedReversal *>(screen);
    return unsaved && unsaved->hasUnsavedReversal() ? unsaved : nullptr;
}
} // namespace

void discardUnsavedReversal(ViewController *screen)
{
    auto *playback = qobject_cast<PlaybackViewController *>(screen);
    if (!playback || !playback->hasUnsavedReversal())
        return;
    const QString temporary = StandardPaths::temporaryDirectory();
    for (const QString &path : {playback->audioPath(), playback->reverseAudioPath()}) {
        if (path.startsWith(temporary))
            QFile::remove(path);
    }
}

UnsavedWork::UnsavedWork(SidebarViewController *window) : QObject(window), window_(window)
{
    window->installEventFilter(this);
}

void UnsavedWork::restoreGeometry()
{
    const QByteArray geometry = Defaults::standard().valueForKey(geometryKey()).toByteArray();
    if (!geometry.isEmpty() && window_->restoreGeometry(geometry))
        return;
    // The first start (or a stored place that no longer reads): a desktop-sized window.
    if (const QScreen *screen =
            window_->screen() ? window_->screen() : QGuiApplication::primaryScreen())
        window_->setGeometry(firstStartFrame(screen->availableGeometry()));
}

bool UnsavedWork::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != window_ || event->type() != QEvent::Close)
        return QObject::eventFilter(watched, event);
    if (!readyToClose()) {
        event->ignore();
        return true;
    }
    Defaults::standard().setValue(geometryKey(), window_->saveGeometry());
    Defaults::standard().synchronize();
    return false;
}

bool UnsavedWork::readyToClose()
{
    if (confirmed_)
        return true;
    if (asking_ || waitingForJob_)
        return false;
    ViewController *content = window_->contentViewController();
    if (cancelRunningJob([this] {
            if (window_)
                window_->close();
        }))
        return false;
    if (unsavedReversalOf(content)) {
        askAboutUnsavedReversal([this](Answer answer) {
            settle(answer);
            if (confirmed_ && window_)
                window_->close();
        });
        return false;
    }
    return true;
}

bool UnsavedWork::cancelRunningJob(std::function<void()> finished)
{
    auto *record = qobject_cast<RecordViewController *>(window_->contentViewController());
    if (!record || !record->hasRunningJob())
        return false;
    // The job notices the cancel within one buffer; its completion removes its files.
    record->cancelAction();
    waitingForJob_ = true;
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(record, &RecordViewController::jobsFinished, this,
                          [this, connection, finished = std::move(finished)] {
                              disconnect(*connection);
                              waitingForJob_ = false;
                              finished();
                          });
    return true;
}

void UnsavedWork::askAboutUnsavedReversal(std::function<void(Answer)> answered)
{
    asking_ = true;
    Alert question{
        localized("save_recording"),
        QString(),
        localized("cancel"),
        {localized("no"), localized("yes")},
        [this, answered = std::move(answered)](int button) {
            asking_ = false;
            answered(button == 1 ? Answer::Discard : button == 2 ? Answer::Save : Answer::Cancel);
        }};
    // Closing must never lose the reversal by a slip: Escape keeps the window open and Enter
    // saves.
    question.defaultButton = 2;
    AlertPresenter::current().present(std::move(question), window_);
}

void UnsavedWork::settle(Answer answer)
{
    ViewController *content = window_ ? window_->contentViewController() : nullptr;
    UnsavedReversal *unsaved = unsavedReversalOf(content);
    switch (answer) {
    case Answer::Cancel:
        return;
    case Answer::Discard:
        discardUnsavedReversal(content);
        confirmed_ = true;
        return;
    case Answer::Save:
        if (unsaved)
            unsaved->saveReversal();
        // A save that did not take keeps the window open; the screen has said why.
        confirmed_ = !unsavedReversalOf(content);
        return;
    }
}

bool UnsavedWork::settleForLogout(bool interactive)
{
    if (!window_)
        return true;
    {
        QEventLoop jobLoop;
        QPointer<QEventLoop> waiting(&jobLoop);
        if (cancelRunningJob([waiting] {
                if (waiting)
                    waiting->quit();
            })) {
            QTimer::singleShot(10000, &jobLoop, &QEventLoop::quit);
            jobLoop.exec();
        }
    }
    ViewController *content = window_->contentViewController();
    if (!unsavedReversalOf(content))
        return true;
    if (!interactive) {
        // Nobody can be asked: keeping the reversal loses nothing.
        settle(Answer::Save);
        return true;
    }
    // The session manager wants the answer before this call returns.
    auto answer = std::make_shared<std::optional<Answer>>();
    QEventLoop questionLoop;
    QPointer<QEventLoop> waiting(&questionLoop);
    askAboutUnsavedReversal([answer, waiting](Answer a) {
        *answer = a;
        if (waiting)
            waiting->quit();
    });
    if (!*answer)
        questionLoop.exec();
    settle(answer->value_or(Answer::Cancel));
    return confirmed_;
}

void UnsavedWork::watchSession()
{
    auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (!app)
        return;
    connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
        const bool interactive = manager.allowsInteraction();
        const bool settled = settleForLogout(interactive);
        if (interactive)
            manager.release();
        if (!settled)
            manager.cancel();
    });
}

} // namespace murmelo
