#pragma once

#include "platform/ViewController.h"

#include <QImage>
#include <QPointer>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class QLabel;

namespace murmelo {

class ProgressOverlay;
struct AudioJobResult;

// The record screen: where a reversal starts. It runs the reversal job behind a cancellable
// progress overlay and hands the finished pair of files to the playback screen.
class RecordViewController : public ViewController {
    Q_OBJECT
public:
    explicit RecordViewController(QWidget *parent = nullptr);
    ~RecordViewController() override;

    // Starts reversing the file at `source` on a queue of its own; returns at once.
    // The job owns `source` until the hand-off: a cancelled job removes it.
    void reverseAudio(const QString &source);

    void showProgress(const QString &text, std::function<void()> cancelAction);
    void hideProgress();
    // The overlay's cancel button.
    void cancelAction();

    void prepareForSegue(const QString &identifier, ViewController *destination) override;

    QString audioPath() const { return audioPath_; }
    QString reversedAudioPath() const { return reversedAudioPath_; }
    QImage waveformImage() const { return waveformImage_; }
    bool imported() const { return imported_; }
    void setImported(bool imported) { imported_ = imported; }
    bool hasCancelAction() const { return bool(cancelAction_); }

    ProgressOverlay *progressView() const { return progressView_; }
    QLabel *progressLabel() const;

protected:
    void viewDidAppear() override;

private:
    using CancelFlag = std::shared_ptr<std::atomic<bool>>;
    void reversalFinished(quint64 job, const QString &source, const QString &output,
                          const QImage &picture, const AudioJobResult &result,
                          const CancelFlag &cancelled);

    QString audioPath_;
    QString reversedAudioPath_;
    QImage waveformImage_;
    bool imported_ = false;
    std::function<void()> cancelAction_;
    ProgressOverlay *progressView_;
    quint64 currentJob_ = 0; // progress reports of an older, cancelled job are ignored
};

} // namespace murmelo
