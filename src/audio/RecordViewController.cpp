#include "audio/RecordViewController.h"

#include "audio/PlaybackHandOff.h"
#include "audio/ProgressOverlay.h"
#include "audio/SoxReversal.h"
#include "audio/WaveformImage.h"
#include "library/Recording.h"
#include "platform/AlertPresenter.h"
#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"

#include <QFile>
#include <QLabel>
#include <QVBoxLayout>
#include <cmath>

namespace murmelo {

namespace {
// The picture every screen shows behind the scrubber and the store keeps.
const QSizeF kWaveformSize(225.0, 54.0);
constexpr double kWaveformBarWidth = 4.0;
} // namespace

RecordViewController::RecordViewController(QWidget *parent) : ViewController(parent)
{
    setObjectName(QStringLiteral("RecordViewController"));
    auto *layout = new QVBoxLayout(this);
    auto *hint =
        new QLabel(tr("Record a phrase or import a song,\nthen listen to it backwards."), this);
    hint->setAlignment(Qt::AlignCenter);
    layout->addWidget(hint);
    progressView_ = new ProgressOverlay(this);
    connect(progressView_, &ProgressOverlay::cancelClicked, this,
            &RecordViewController::cancelAction);
}

RecordViewController::~RecordViewController() = default;

QLabel *RecordViewController::progressLabel() const
{
    return progressView_->progressLabel();
}

void RecordViewController::viewDidAppear()
{
    if (sidebarViewController())
        sidebarViewController()->selectIndex(1);
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
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    const quint64 job = ++currentJob_;
    showProgress(tr("Reversing audio\u2026"), [cancelled] { *cancelled = true; });

    QPointer<RecordViewController> self(this);
    SerialQueue queue("reverseQueue");
    queue.async([self, job, source, cancelled] {
        const QString output = Recording::tempAudioPath();
        // Reports only whole-percent steps: the main queue need not redraw for every buffer.
        auto lastPercent = std::make_shared<int>(-1);
        auto progress = [self, job, lastPercent](double fraction) {
            const int percent = int(std::floor(fraction * 100));
            if (percent == *lastPercent)
                return;
            *lastPercent = percent;
            postToMainQueue([self, job, fraction] {
                if (self && self->currentJob_ == job && self->cancelAction_)
                    self->progressView_->setFraction(fraction);
            });
        };
        const AudioJobResult result = reverseAudioFile(source, output, *cancelled, progress);
        QImage picture;
        // The flag is read again after the flow: a late cancel still discards the result.
        if (!*cancelled && result.status == AudioJobStatus::Finished)
            picture = murmelo::waveformImage(source, kWaveformSize, kWaveformBarWidth);
        postToMainQueue([self, job, source, output, picture, result, cancelled] {
            if (!self) {
                // The screen is gone: nobody will take the reversal.
                QFile::remove(output);
                return;
            }
            self->reversalFinished(job, source, output, picture, result, cancelled);
        });
    });
}

void RecordViewController::reversalFinished(quint64 job, const QString &source,
                                            const QString &output, const QImage &picture,
                                            const AudioJobResult &result,
                                            const CancelFlag &cancelled)
{
    if (*cancelled) {
        // The overlay was hidden when cancel was pressed; the job's files go with it.
        QFile::remove(source);
        QFile::remove(output);
        return;
    }
    if (job == currentJob_)
        hideProgress();
    if (result.status != AudioJobStatus::Finished) {
        QFile::remove(output);
        showAlert(this, tr("Couldn't Reverse the Audio"),
                  result.error.isEmpty() ? tr("The audio file could not be read.") : result.error);
        return;
    }
    audioPath_ = source;
    reversedAudioPath_ = output;
    waveformImage_ = picture;
    performSegue(QStringLiteral("Playback"));
}

void RecordViewController::prepareForSegue(const QString &identifier, ViewController *destination)
{
    if (identifier != QLatin1String("Playback"))
        return;
    if (auto *playback = dynamic_cast<PlaybackHandOff *>(destination)) {
        playback->setImported(imported_);
        playback->setAudioPath(audioPath_);
        playback->setReverseAudioPath(reversedAudioPath_);
        playback->setWaveformImage(waveformImage_);
    }
}

} // namespace murmelo
