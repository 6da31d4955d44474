#include "screens/record/RecordViewController.h"

#include "toolkit/KeyboardFocus.h"

#include "audio/AudioInput.h"
#include "audio/AudioRecorder.h"
#include "audio/MediaImport.h"
#include "audio/MediaImportDecoder.h"
#include "audio/ReversalJob.h"
#include "library/Library.h"
#include "platform/AlertPresenter.h"
#include "platform/Localized.h"
#include "platform/StandardPaths.h"
#include "screens/playback/PlaybackHandOff.h"
#include "screens/record/InputLevelMeter.h"
#include "screens/record/MusicPicker.h"
#include "screens/record/ProgressOverlay.h"
#include "toolkit/BlinkSelect.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace murmelo {

QString recordTimeText(double seconds)
{
    // Float arithmetic after the first conversion, so the digits match what the label has
    // always shown (83.456 s reads 01:23:45).
    float q = float(seconds * 100.0);
    const int minutes = int(q / 6000.0f);
    q = q - float(minutes) * 6000.0f;
    const int wholeSeconds = int(q / 100.0f);
    const int hundredths = int(q - float(wholeSeconds) * 100.0f);
    return QString::asprintf("%02d:%02d:%02d", minutes, wholeSeconds, hundredths);
}

RecordViewController::RecordViewController(QWidget *parent)
    : ViewController(parent), inputFactory_([] { return AudioInput::createDefault(); }),
      recordButton_(new QPushButton(tr("Record"), this)),
      importButton_(new QPushButton(tr("Import a Song\u2026"), this)),
      messageLabel_(new QLabel(recordTimeText(0), this)), levelMeter_(new InputLevelMeter(this))
{
    setObjectName(QStringLiteral("RecordViewController"));
    setAcceptDrops(true);
    // The same dark look as the playback screen it leads to.
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral(
        "#RecordViewController { background: #15171c; }"
        "QLabel { color: #f2f2f5; }"
        "QLabel#hint { color: #a9adb8; font-size: 14px; }"
        "QPushButton#importButton { color: #f2f2f5; background: #343844; border: none;"
        " border-radius: 8px; padding: 10px; font-size: 14px; }"
        "QPushButton#importButton:disabled { color: #7d869c; }"));

    auto *hint = new QLabel(tr("Press to record a phrase.\nPress again to stop: it opens ready to "
                               "play, forward or backwards."),
                            this);
    hint->setObjectName(QStringLiteral("hint"));
    hint->setAlignment(Qt::AlignCenter);
    hint->setWordWrap(true);

    recordButton_->setObjectName(QStringLiteral("recordButton"));
    recordButton_->setFixedSize(160, 160);
    recordButton_->setToolTip(tr("Start or stop recording (Ctrl+R)"));
    // Reached with Tab (and Ctrl+R from anywhere); its focus ring follows its round shape.
    recordButton_->setFocusPolicy(Qt::TabFocus);
    recordButton_->setProperty(KeyboardFocus::kRingRadius, 80);
    recordButton_->setStyleSheet(QStringLiteral(
        "QPushButton { border-radius: 80px; border: 6px solid #343844; background: #c62828;"
        " outline: none;"
        " color: white; font-size: 20px; font-weight: bold; }"
        "QPushButton:checked { background: #ff5f52; border-color: #e8a23b; }"
        "QPushButton:disabled { background: #5a5e68; }"));
    connect(recordButton_, &QPushButton::clicked, this, &RecordViewController::record);

    messageLabel_->setObjectName(QStringLiteral("messageLabel"));
    messageLabel_->setAlignment(Qt::AlignCenter);
    messageLabel_->setStyleSheet(
        QStringLiteral("color: #e8a23b; font-size: 28px; font-family: monospace;"));

    importButton_->setObjectName(QStringLiteral("importButton"));
    importButton_->setToolTip(tr("Reverse a song from your music, or drop a file here (Ctrl+O)"));
    connect(importButton_, &QPushButton::clicked, this, &RecordViewController::importFromLibrary);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 30, 20, 30);
    layout->addWidget(hint);
    layout->addStretch();
    layout->addWidget(recordButton_, 0, Qt::AlignHCenter);
    layout->addSpacing(16);
    layout->addWidget(messageLabel_);
    layout->addSpacing(8);
    levelMeter_->setFixedWidth(200);
    levelMeter_->hide();
    layout->addWidget(levelMeter_, 0, Qt::AlignHCenter);
    layout->addStretch();
    layout->addWidget(importButton_);

    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), this, [this] { record(); });
    // Ctrl+O is the window's: it reaches this screen from every other one too.

    // The label follows the recording at about the display's frame rate.
    recordTimeRefresh_.setInterval(16);
    connect(&recordTimeRefresh_, &QTimer::timeout, this, &RecordViewController::updateRecordTime);

    progressView_ = new ProgressOverlay(this);
    connect(progressView_, &ProgressOverlay::cancelClicked, this,
            &RecordViewController::cancelAction);
}

RecordViewController::~RecordViewController()
{
    if (recorder_) {
        // Leaving mid-recording: nobody will reverse the recording, so its file goes too.
        disconnect(recorder_, nullptr, this, nullptr);
        recorder_->stop();
        const QString path = recorder_->url();
        delete recorder_;
        QFile::remove(path);
    }
}

QLabel *RecordViewController::progressLabel() const
{
    return progressView_->progressLabel();
}

void RecordViewController::viewDidAppear()
{
    if (sidebarViewController())
        sidebarViewController()->selectIndex(1);
}

void RecordViewController::record()
{
    if (recorder_) {
        // Stopping makes the recorder report that it finished, which starts the reversal.
        recorder_->stop();
        return;
    }
    if (cancelAction_)
        return; // a job is running behind the overlay
    AudioInputError error;
    auto recorder = AudioRecorder::create(Library::temporaryAudioPath(), error, inputFactory_());
    if (recorder && !recorder->record()) {
        error = recorder->lastError();
        const QString path = recorder->url();
        recorder.reset();
        QFile::remove(path);
    }
    if (!recorder) {
        showRecordingError(error);
        return;
    }
    recorder_ = recorder.release();
    recorder_->setParent(this);
    connect(recorder_, &AudioRecorder::audioRecorderDidFinishRecording, this,
            [this](AudioRecorder *r, bool) { audioRecorderDidFinishRecording(r); });
    connect(recorder_, &AudioRecorder::audioRecorderEncodeErrorDidOccur, this,
            &RecordViewController::audioRecorderEncodeErrorDidOccur);
    connect(recorder_, &AudioRecorder::audioRecorderEndInterruption, this,
            &RecordViewController::audioRecorderEndInterruption);
    // A fresh recording is the user's own voice, whatever this screen imported before.
    imported_ = false;
    recordButton_->setText(tr("Stop"));
    levelMeter_->setLevel(0);
    levelMeter_->show();
    blinkSelectWithDuration(recordButton_, 0.25);
    updateRecordTime();
    recordTimeRefresh_.start();
}

void RecordViewController::showRecordingError(const AudioInputError &error)
{
    if (error.isPermissionDenied()) {
        showAlert(this, tr("App does not have permission to use the microphone"),
                  tr("Please enable in Privacy settings to use this app"), localized("ok"));
        return;
    }
    // Not the microphone's fault (an unplayable input file, the recording's own file): say so
    // rather than ignore the tap.
    showAlert(this, tr("Couldn't Start Recording"), error.description);
}

void RecordViewController::updateRecordTime()
{
    if (!recorder_) {
        recordTimeRefresh_.stop();
        return;
    }
    messageLabel_->setText(recordTimeText(recorder_->currentTime()));
    // The newest tenth of a second the recorder has written.
    levelMeter_->setLevel(recentPeakLevel(recorder_->url()));
}

void RecordViewController::audioRecorderDidFinishRecording(AudioRecorder *recorder)
{
    updateRecordTime(); // the label keeps the final length
    const QString path = recorder->url();
    dropRecorder();
    reverseAudio(path);
}

void RecordViewController::audioRecorderEncodeErrorDidOccur(AudioRecorder *, const QString &error)
{
    dropRecorder();
    showAlert(this, tr("Recording Stopped"),
              tr("The recording could not be written: %1").arg(error));
}

void RecordViewController::audioRecorderEndInterruption(AudioRecorder *recorder, int options)
{
    if (options == AudioRecorder::InterruptionOptionShouldResume)
        recorder->record();
}

void RecordViewController::dropRecorder()
{
    blinkSelectStop(recordButton_);
    recordButton_->setText(tr("Record"));
    levelMeter_->hide();
    recordTimeRefresh_.stop();
    if (recorder_) {
        // The recorder may be inside its own signal: it goes at the next turn of the loop.
        disconnect(recorder_, nullptr, this, nullptr);
        recorder_->deleteLater();
        recorder_ = nullptr;
    }
}

void RecordViewController::importFromLibrary()
{
    if (picker_ || recorder_ || cancelAction_)
        return; // one thing at a time
    picker_ = new MusicPicker(StandardPaths::musicDirectory(), this);
    picker_->setAttribute(Qt::WA_DeleteOnClose);
    connect(picker_, &MusicPicker::didPickMediaItem, this,
            [this](const QString &path) { exportFromLibrary(path); });
    picker_->open();
}

void RecordViewController::showImportError(const QString &message)
{
    showAlert(this, MediaImport::alertTitle(), message, QStringLiteral("OK"));
}

void RecordViewController::exportFromLibrary(const QString &path)
{
    // Opening the song here first means a file that cannot be read is reported before any
    // overlay appears.
    {
        MediaImportDecoder probe;
        const MediaImportError error =
            probe.open(path, MediaImport::outputChannels, MediaImport::outputSampleRate);
        if (!error.ok()) {
            showImportError(MediaImport::alertMessage(error));
            return;
        }
    }
    startJob(ReversalJob(path, ReversalJob::Source::Song, &Library::temporaryAudioPath));
}

void RecordViewController::dragEnterEvent(QDragEnterEvent *event)
{
    const auto urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.first().isLocalFile() && !cancelAction_ && !recorder_)
        event->acceptProposedAction();
}

void RecordViewController::dropEvent(QDropEvent *event)
{
    const auto urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return;
    event->acceptProposedAction();
    exportFromLibrary(urls.first().toLocalFile());
}

void RecordViewController::showProgress(const QString &text, std::function<void()> cancelAction)
{
    if (sidebarViewController())
        sidebarViewController()->setSidebarButtonEnabled(false);
    progressView_->setFraction(-1);
    progressView_->show();
    progressView_->raise();
    progressView_->progressLabel()->setText(text);
    cancelAction_ = std::move(cancelAction);
}

void RecordViewController::hideProgress()
{
    if (sidebarViewController())
        sidebarViewController()->setSidebarButtonEnabled(true);
    progressView_->hide();
    cancelAction_ = nullptr;
}

void RecordViewController::cancelAction()
{
    if (cancelAction_)
        cancelAction_();
    hideProgress();
}

void RecordViewController::reverseAudio(const QString &source)
{
    ReversalJob job(source, ReversalJob::Source::Recording, &Library::temporaryAudioPath);
    job.setOwnsSource(true);
    startJob(std::move(job));
}

void RecordViewController::startJob(ReversalJob job)
{
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    const quint64 id = ++currentJob_;
    const std::function<void()> cancel = [cancelled] { *cancelled = true; };
    // The overlay shows at once, before the job's first report; each later stage gets its own
    // text, and its bar starts again.
    const auto textOf = [](ReversalJob::Stage stage) {
        return stage == ReversalJob::Stage::Importing ? MediaImport::progressText()
                                                      : tr("Reversing audio\u2026");
    };
    ReversalJob::Stage shown = job.firstStage();
    showProgress(textOf(shown), cancel);
    jobStarted();
    QPointer<RecordViewController> self(this);
    ReversalJob::start(
        std::move(job), cancelled,
        [self, id, cancel, textOf, shown](ReversalJob::Stage stage, double fraction) mutable {
            if (!self || self->currentJob_ != id || !self->cancelAction_)
                return;
            if (stage != shown) {
                shown = stage;
                self->showProgress(textOf(stage), cancel);
            }
            self->progressView_->setFraction(fraction);
        },
        [self, id, cancelled](const ReversalJob::Result &result) {
            if (!self) {
                // The screen is gone: nobody will take the reversal, nor an imported song.
                QFile::remove(result.reversal.reverseAudioPath);
                if (result.reversal.imported)
                    QFile::remove(result.reversal.audioPath);
                return;
            }
            self->jobFinished(id, result, *cancelled);
            if (self)
                self->jobEnded();
        });
}

void RecordViewController::jobFinished(quint64 id, const ReversalJob::Result &result,
                                       bool cancelled)
{
    if (cancelled) {
        // The overlay was hidden when cancel was pressed; the job's files go with it (a job that
        // finished just before the cancel has left them).
        QFile::remove(result.reversal.audioPath);
        QFile::remove(result.reversal.reverseAudioPath);
        return;
    }
    if (id == currentJob_)
        hideProgress();
    if (result.status == AudioJobStatus::Cancelled)
        return;
    if (result.status == AudioJobStatus::Failed) {
        if (result.stage == ReversalJob::Stage::Importing)
            showImportError(MediaImport::alertMessage(result.importError));
        else
            showAlert(this, tr("Couldn't Reverse the Audio"),
                      result.error.isEmpty() ? tr("The audio file could not be read.")
                                             : result.error);
        return;
    }
    // A song makes the reversal an imported one; a recording keeps what the screen says.
    imported_ = imported_ || result.reversal.imported;
    reversal_ = result.reversal;
    reversal_.imported = imported_;
    performSegue(QStringLiteral("Playback"));
}

void RecordViewController::jobEnded()
{
    if (--runningJobs_ == 0)
        Q_EMIT jobsFinished();
}

void RecordViewController::prepareForSegue(const QString &identifier, ViewController *destination)
{
    if (identifier != QLatin1String("Playback"))
        return;
    if (auto *playback = dynamic_cast<PlaybackHandOff *>(destination)) {
        playback->setImported(reversal_.imported);
        playback->setAudioPath(reversal_.audioPath);
        playback->setReverseAudioPath(reversal_.reverseAudioPath);
        playback->setWaveformImage(reversal_.waveformImage);
    }
}

} // namespace murmelo
