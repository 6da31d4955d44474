#include "app/DemoWalk.h"

#include "app/AppDelegate.h"
#include "app/SidebarViewController.h"
#include "app/SpeechSidebarMenuController.h"
#include "audio/AudioInputFile.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "platform/AlertPresenter.h"
#include "platform/Defaults.h"
#include "screens/library/SavedRecordingsViewController.h"
#include "screens/playback/PlaybackViewController.h"
#include "screens/playback/SlidePanel.h"
#include "screens/record/RecordViewController.h"
#include "screens/shell/EulaViewController.h"
#include "toolkit/RangeSlider.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTextBrowser>
#include <QTextEdit>
#include <QToolButton>

namespace murmelo {

namespace {
constexpr int kPollMilliseconds = 25;
// Slides and rises take a quarter of a second; everything else on screen answers at once.
constexpr int kScreenDeadline = 5000;
// Reversing and cropping run libsox on a queue of their own; a slow machine gets time.
constexpr int kJobDeadline = 60000;
constexpr int kSpeechDeadline = 30000;

bool animationAtRest(const QPropertyAnimation *animation)
{
    return !animation || animation->state() != QAbstractAnimation::Running;
}
} // namespace

// Passes every alert on to the presenter that was in place, so the window shows it as usual,
// and tells the walk: an alert during the walk means a step went wrong.
class DemoWalkAlerts : public AlertPresenter {
public:
    explicit DemoWalkAlerts(std::function<void(const Alert &)> seen)
        : seen_(std::move(seen)), next_(&AlertPresenter::current())
    {
        AlertPresenter::setCurrent(this);
    }
    ~DemoWalkAlerts() override
    {
        if (&AlertPresenter::current() == this)
            AlertPresenter::setCurrent(next_);
    }
    void present(Alert alert, QObject *parent) override
    {
        seen_(alert);
        next_->present(std::move(alert), parent);
    }

private:
    std::function<void(const Alert &)> seen_;
    AlertPresenter *next_;
};

DemoWalk::DemoWalk(AppDelegate &app, const QString &outputFolder, QObject *parent)
    : QObject(parent), app_(app), folder_(QFileInfo(outputFolder).absoluteFilePath())
{
    poll_.setInterval(kPollMilliseconds);
    connect(&poll_, &QTimer::timeout, this, &DemoWalk::poll);
}

DemoWalk::~DemoWalk()
{
    if (speaker_ && speaker_->state() != QProcess::NotRunning) {
        speaker_->kill();
        speaker_->waitForFinished(1000);
    }
}

std::optional<QString> DemoWalk::folderFromArguments(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == QLatin1String("--walk"))
            return arguments.value(i + 1).startsWith(QLatin1Char('-')) ? QString()
                                                                       : arguments.value(i + 1);
        if (argument.startsWith(QLatin1String("--walk=")))
            return argument.mid(int(qstrlen("--walk=")));
    }
    return std::nullopt;
}

void DemoWalk::start()
{
    alerts_ = std::make_unique<DemoWalkAlerts>([this](const Alert &alert) {
        if (!alert_)
            alert_ = alert.message.isEmpty() ? alert.title
                                             : alert.title + QStringLiteral(": ") + alert.message;
    });
    if (!QDir().mkpath(folder_)) {
        QTimer::singleShot(
            0, this, [this] { fail(QStringLiteral("cannot make the folder %1").arg(folder_)); });
        return;
    }
    // The walk's pictures show the phone layout, whatever size the screen gives a first start.
    if (SidebarViewController *shown = window())
        shown->resize(shown->minimumSize());
    buildSteps();
    QTimer::singleShot(0, this, [this] { begin(0); });
}

// Steps ---------------------------------------------------------------------------------------

void DemoWalk::buildSteps()
{
    const QString given = qEnvironmentVariable("MURMELO_AUDIO_INPUT_FILE");
    if (!given.isEmpty()) {
        // The record screen reads the same variable: the recording comes from this file as it
        // would for a user who set it.
        speechFile_ = given;
        steps_.push_back(
            {QStringLiteral("speech"),
             {},
             [this] { return QFileInfo(speechFile_).isFile(); },
             QStringLiteral("the file %1 (MURMELO_AUDIO_INPUT_FILE) to exist").arg(speechFile_),
             0,
             {}});
    } else {
        speechFile_ = folder_ + QStringLiteral("/phrase.wav");
        steps_.push_back(
            {QStringLiteral("speech"),
             [this] {
                 speaker_ = std::make_unique<QProcess>();
                 speaker_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
                 speaker_->setStandardOutputFile(QProcess::nullDevice());
                 speaker_->start(QStringLiteral("espeak-ng"),
                                 {QStringLiteral("-w"), speechFile_, phrase()});
             },
             [this] {
                 if (speaker_->state() != QProcess::NotRunning)
                     return false;
                 if (speaker_->error() == QProcess::FailedToStart)
                     fail(QStringLiteral("espeak-ng could not be started (is it installed?)"));
                 else if (speaker_->exitStatus() != QProcess::NormalExit ||
                          speaker_->exitCode() != 0 || !QFileInfo(speechFile_).isFile())
                     fail(QStringLiteral("espeak-ng could not speak the phrase into %1")
                              .arg(speechFile_));
                 return true;
             },
             QStringLiteral("espeak-ng to finish speaking the phrase"),
             kSpeechDeadline,
             {}});
    }
    addAgreementSteps();
    addRecordSteps();
    addPlaybackSteps();
    addSaveSteps();
    addCropSteps();
    addSavedRecordingsSteps();
    if (walksMail())
        addMailSteps();
}

void DemoWalk::playbackStep(Step step)
{
    step.onPlayback = true;
    steps_.push_back(std::move(step));
}

void DemoWalk::addAgreementSteps()
{
    if (Defaults::standard().boolForKey(QString::fromLatin1(EulaViewController::kDefaultsKey))) {
        // Accepted on an earlier run: the application does not ask again, and neither does the
        // walk.
        steps_.push_back({QStringLiteral("agreement"),
                          [this] {
                              emit narrated(QStringLiteral(
                                  "agreement: accepted on an earlier run, not shown again"));
                          },
                          [] { return true; },
                          {},
                          0,
                          {}});
        return;
    }
    steps_.push_back({QStringLiteral("agreement"),
                      {},
                      [this] {
                          const EulaViewController *eula = agreement();
                          return eula && eula->isVisible() && eula->pos() == QPoint(0, 0);
                      },
                      QStringLiteral("the licence agreement to rise over the window"),
                      kScreenDeadline,
                      {}});
    steps_.push_back({QStringLiteral("agreement read"),
                      [this] {
                          QScrollBar *bar = agreement()->eulaTextView()->verticalScrollBar();
                          bar->setValue(bar->maximum());
                      },
                      [this] { return agreement() && agreement()->eulaButton()->isEnabled(); },
                      QStringLiteral("the Accept button to be enabled at the end of the text"),
                      kScreenDeadline, QStringLiteral("agreement")});
    steps_.push_back({QStringLiteral("agreement accepted"),
                      [this] { agreement()->eulaButton()->click(); },
                      [this] {
                          const EulaViewController *eula = agreement();
                          const bool gone = !eula || eula->y() >= window()->height();
                          return gone && Defaults::standard().boolForKey(
                                             QString::fromLatin1(EulaViewController::kDefaultsKey));
                      },
                      QStringLiteral("the agreement to be stored and to leave the window"),
                      kScreenDeadline,
                      {}});
}

void DemoWalk::addRecordSteps()
{
    steps_.push_back({QStringLiteral("record"),
                      [this] {
                          RecordViewController *screen = recordScreen();
                          if (!screen) {
                              fail(QStringLiteral("the window does not show the record screen"));
                              return;
                          }
                          if (qEnvironmentVariable("MURMELO_AUDIO_INPUT_FILE").isEmpty()) {
                              const QString file = speechFile_;
                              screen->setInputFactory(
                                  [file] { return std::make_unique<AudioInputFile>(file); });
                          }
                          emit narrated(QStringLiteral("recording from %1").arg(speechFile_));
                          screen->record();
                      },
                      [this] {
                          const RecordViewController *screen = recordScreen();
                          return screen && screen->recorder() &&
                                 screen->recorder()->currentTime() >= kRecordSeconds;
                      },
                      QStringLiteral("%1 seconds of recording").arg(kRecordSeconds),
                      kScreenDeadline + int(kRecordSeconds * 1000), QStringLiteral("recording")});
    steps_.push_back({QStringLiteral("reversal"),
                      [this] {
                          if (RecordViewController *screen = recordScreen())
                              screen->record();
                          else
                              fail(QStringLiteral("the record screen went away while recording"));
                      },
                      [this] {
                          PlaybackViewController *screen = playbackScreen();
                          return screen && screen->isVisible() && !window()->isSliding() &&
                                 QFileInfo(screen->reverseAudioPath()).isFile() &&
                                 !screen->waveformImage().isNull() &&
                                 screen->engine().duration() > 0;
                      },
                      QStringLiteral("the reversal to open on the playback screen"), kJobDeadline,
                      QStringLiteral("reversal")});
}

void DemoWalk::addPlaybackSteps()
{
    playbackStep({QStringLiteral("playback"),
                  [this] {
                      playedFrom_ = playbackScreen()->engine().currentTime();
                      playbackScreen()->pausePlay();
                  },
                  [this] {
                      PlaybackEngine &engine = playbackScreen()->engine();
                      return engine.isPlaying() &&
                             std::abs(engine.currentTime() - playedFrom_) >= kPlaySeconds;
                  },
                  QStringLiteral("%1 second of playback").arg(kPlaySeconds), kScreenDeadline,
                  QStringLiteral("playback")});
    playbackStep({QStringLiteral("pause"),
                  [this] { playbackScreen()->pausePlay(); },
                  [this] { return !playbackScreen()->engine().isPlaying(); },
                  QStringLiteral("playback to pause"),
                  kScreenDeadline,
                  {}});
}

void DemoWalk::addSaveSteps()
{
    playbackStep({QStringLiteral("save panel"),
                  [this] { playbackScreen()->save(); },
                  [this] {
                      const PlaybackViewController *screen = playbackScreen();
                      return screen->view().saveReversalView->isVisible() &&
                             animationAtRest(screen->saveReversalSlide().animation());
                  },
                  QStringLiteral("the save panel to slide up"),
                  kScreenDeadline,
                  {}});
    playbackStep(
        {QStringLiteral("title"),
         [this] {
             QLineEdit *field = playbackScreen()->view().titleTextField;
             focus(field);
             type(field, title());
         },
         [this] {
             const QLineEdit *field = playbackScreen()->view().titleTextField;
             return field->hasFocus() && field->text() == title();
         },
         QStringLiteral("the title field to take the focus and hold \u201c%1\u201d").arg(title()),
         kScreenDeadline,
         {}});
    playbackStep({QStringLiteral("message"),
                  [this] {
                      QTextEdit *text = playbackScreen()->view().messageTextView;
                      focus(text);
                      type(text, message());
                  },
                  [this] {
                      const QTextEdit *text = playbackScreen()->view().messageTextView;
                      return text->hasFocus() && text->toPlainText() == message();
                  },
                  QStringLiteral("the message field to take the focus, drop its prompt and hold "
                                 "\u201c%1\u201d")
                      .arg(message()),
                  kScreenDeadline, QStringLiteral("save")});
    playbackStep({QStringLiteral("saved"), [this] { playbackScreen()->saveReversal(); },
                  [this] {
                      const PlaybackViewController *screen = playbackScreen();
                      const auto &recording = screen->recording();
                      return recording && recording->name() == title() &&
                             recording->message() == message() &&
                             !app_.storeContext()->hasChanges() &&
                             !screen->view().saveReversalView->isVisible();
                  },
                  QStringLiteral("the reversal to be stored as \u201c%1\u201d with its message")
                      .arg(title()),
                  kScreenDeadline, QStringLiteral("saved")});
}

void DemoWalk::addCropSteps()
{
    playbackStep({QStringLiteral("crop mode"),
                  [this] { playbackScreen()->crop(); },
                  [this] {
                      const PlaybackViewController *screen = playbackScreen();
                      return screen->isCropMode() && screen->rangeSlider() &&
                             screen->rangeSlider()->isVisible() &&
                             screen->view().saveCropView->isVisible();
                  },
                  QStringLiteral("the crop range and its panel to show"),
                  kScreenDeadline,
                  {}});
    playbackStep({QStringLiteral("crop range"),
                  [this] {
                      PlaybackViewController *screen = playbackScreen();
                      screen->rangeSlider()->setMin(kCropFrom);
                      screen->rangeSlider()->setMax(kCropTo);
                      // What a drag of the thumbs reports.
                      screen->cropRangeUpdated();
                  },
                  [this] {
                      const RangeSlider *range = playbackScreen()->rangeSlider();
                      return range->min() == kCropFrom && range->max() == kCropTo;
                  },
                  QStringLiteral("the crop range to hold"), kScreenDeadline,
                  QStringLiteral("crop")});
    playbackStep({QStringLiteral("cropped"), [this] { playbackScreen()->saveCrop(); },
                  [this] {
                      const PlaybackViewController *screen = playbackScreen();
                      const auto &recording = screen->recording();
                      return recording &&
                             recording->name() == title() + QStringLiteral(" Cropped") &&
                             !screen->isCropMode() && !screen->view().waitView->isVisible() &&
                             !app_.storeContext()->hasChanges();
                  },
                  QStringLiteral("the crop to be stored as \u201c%1 Cropped\u201d").arg(title()),
                  kJobDeadline, QStringLiteral("cropped")});
}

void DemoWalk::addSavedRecordingsSteps()
{
    steps_.push_back({QStringLiteral("menu"), [this] { window()->sidebarButton()->click(); },
                      [this] { return window()->sidebarVisible() && !window()->isSliding(); },
                      QStringLiteral("the menu to open"), kScreenDeadline, QStringLiteral("menu")});
    steps_.push_back(
        {QStringLiteral("saved recordings"),
         [this] {
             auto *entry = window()->menuViewController()->findChild<QAbstractButton *>(
                 QStringLiteral("menuEntry%1").arg(SavedRecordingsViewController::kMenuIndex));
             if (!entry) {
                 fail(QStringLiteral("the menu has no Saved recordings entry"));
                 return;
             }
             entry->click();
         },
         [this] {
             auto *list =
                 qobject_cast<SavedRecordingsViewController *>(window()->contentViewController());
             return list && list->isVisible() && !window()->isSliding() &&
                    !window()->sidebarVisible() && list->model().rowCount() >= 2;
         },
         QStringLiteral("the saved recordings to list both reversals"), kScreenDeadline,
         QStringLiteral("saved-recordings")});
}

// Running -------------------------------------------------------------------------------------

void DemoWalk::begin(size_t index)
{
    current_ = index;
    if (done_)
        return;
    if (current_ >= steps_.size()) {
        finish();
        return;
    }
    const Step &step = steps_[current_];
    if (step.onPlayback && !playbackScreen()) {
        fail(QStringLiteral("the playback screen is not showing"));
        return;
    }
    if (step.act)
        step.act();
    if (done_)
        return;
    clock_.start();
    poll();
    if (!done_ && current_ == index && !poll_.isActive())
        poll_.start();
}

void DemoWalk::poll()
{
    if (done_ || current_ >= steps_.size())
        return;
    if (alert_) {
        fail(QStringLiteral("the application showed an alert: %1").arg(*alert_));
        return;
    }
    const Step &step = steps_[current_];
    if (step.onPlayback && !playbackScreen()) {
        fail(QStringLiteral("the playback screen went away"));
        return;
    }
    if (step.reached()) {
        if (done_)
            return; // the check itself found a failure
        poll_.stop();
        if (!step.screenshot.isEmpty())
            takeScreenshot(step.screenshot);
        emit narrated(step.name + QStringLiteral(": done"));
        const size_t next = current_ + 1;
        // On a later turn, so that what the step's state set off has run first.
        QTimer::singleShot(0, this, [this, next] { begin(next); });
        return;
    }
    if (clock_.elapsed() > step.deadlineMs)
        fail(QStringLiteral("expected %1 within %2 s")
                 .arg(step.expected)
                 .arg(step.deadlineMs / 1000.0));
}

void DemoWalk::fail(const QString &why)
{
    if (done_)
        return;
    const QString name = current_ < steps_.size() ? steps_[current_].name : QString();
    error_ = name.isEmpty() ? why : QStringLiteral("step \u201c%1\u201d: %2").arg(name, why);
    // What the window showed when the walk gave up, for whoever looks into it.
    if (window())
        window()->grab().save(folder_ + QStringLiteral("/failed.png"));
    finish();
}

void DemoWalk::finish()
{
    poll_.stop();
    done_ = true;
    alerts_.reset();
    emit finished(error_.isEmpty());
}

void DemoWalk::takeScreenshot(const QString &name)
{
    const QString path =
        folder_ +
        QStringLiteral("/%1-%2.png").arg(++shotNumber_, 2, 10, QLatin1Char('0')).arg(name);
    if (!window()->grab().save(path)) {
        fail(QStringLiteral("cannot write %1").arg(path));
        return;
    }
    screenshots_ << path;
}

// Looking at the window -----------------------------------------------------------------------

SidebarViewController *DemoWalk::window() const
{
    return app_.window();
}

RecordViewController *DemoWalk::recordScreen() const
{
    return qobject_cast<RecordViewController *>(window()->contentViewController());
}

PlaybackViewController *DemoWalk::playbackScreen() const
{
    return qobject_cast<PlaybackViewController *>(window()->contentViewController());
}

EulaViewController *DemoWalk::agreement() const
{
    return window()->findChild<EulaViewController *>(QString(), Qt::FindDirectChildrenOnly);
}

void DemoWalk::focus(QWidget *input)
{
    input->activateWindow();
    input->setFocus(Qt::MouseFocusReason);
}

void DemoWalk::type(QWidget *input, const QString &text)
{
    for (const QChar c : text) {
        // Qt's key codes for printable ASCII are the upper-case characters themselves.
        const int key = c.unicode() < 0x80 ? c.toUpper().unicode() : int(Qt::Key_unknown);
        const Qt::KeyboardModifiers modifiers = c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier;
        QKeyEvent press(QEvent::KeyPress, key, modifiers, QString(c));
        QApplication::sendEvent(input, &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, QString(c));
        QApplication::sendEvent(input, &release);
    }
}

} // namespace murmelo
