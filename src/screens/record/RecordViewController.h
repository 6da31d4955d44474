#pragma once

#include "audio/AudioRecorder.h"
#include "audio/ReversalJob.h"
#include "screens/record/MusicPicker.h"
#include "toolkit/ViewController.h"

#include <QImage>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;

namespace murmelo {

class AudioInput;
class InputLevelMeter;
struct AudioInputError;
class ProgressOverlay;

// The recording time as the record screen shows it: minutes, seconds and hundredths.
QString recordTimeText(double seconds);

// The record screen: where a reversal starts. It records the microphone (or imports a song),
// runs the reversal job behind a cancellable progress overlay and hands the finished pair of
// files to the playback screen.
class RecordViewController : public ViewController {
    Q_OBJECT
public:
    using InputFactory = std::function<std::unique_ptr<AudioInput>()>;

    explicit RecordViewController(QWidget *parent = nullptr);
    ~RecordViewController() override;

    // Where recordings come from; the default is the microphone (or the file the user chose
    // to record from). Tests feed a file.
    void setInputFactory(InputFactory factory) { inputFactory_ = std::move(factory); }

    // Starts a recording, or stops the running one (which then goes to the reversal job).
    void record();
    void updateRecordTime();

    // Shows the music picker; a picked song is imported and reversed.
    void importFromLibrary();
    // Imports the song at `path` into a WAV file and reverses it, on a queue of its own.
    void exportFromLibrary(const QString &path);

    // Starts reversing the file at `source` on a queue of its own; returns at once.
    // The job owns `source` until the hand-off: a cancelled job removes it.
    void reverseAudio(const QString &source);

    void showProgress(const QString &text, std::function<void()> cancelAction);
    void hideProgress();
    // The overlay's cancel button.
    void cancelAction();

    void prepareForSegue(const QString &identifier, ViewController *destination) override;

    // The last finished reversal, handed to the playback screen.
    const Reversal &reversal() const { return reversal_; }
    QString audioPath() const { return reversal_.audioPath; }
    QString reversedAudioPath() const { return reversal_.reverseAudioPath; }
    QImage waveformImage() const { return reversal_.waveformImage; }
    bool imported() const { return imported_; }
    void setImported(bool imported) { imported_ = imported; }
    bool hasCancelAction() const { return bool(cancelAction_); }
    // True from the start of an import or reversal until its completion has run, also after a
    // cancel (a cancelled job's files are removed by its completion).
    bool hasRunningJob() const { return runningJobs_ > 0; }

    AudioRecorder *recorder() const { return recorder_; }
    QPushButton *recordButton() const { return recordButton_; }
    QPushButton *importButton() const { return importButton_; }
    QLabel *messageLabel() const { return messageLabel_; }
    // How loud the input is; shown only while recording.
    InputLevelMeter *levelMeter() const { return levelMeter_; }
    MusicPicker *musicPicker() const { return picker_; }
    ProgressOverlay *progressView() const { return progressView_; }
    QLabel *progressLabel() const;

Q_SIGNALS:
    // The last running job has ended and removed whatever files it no longer needs.
    void jobsFinished();

protected:
    void viewDidAppear() override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void audioRecorderDidFinishRecording(AudioRecorder *recorder);
    void audioRecorderEncodeErrorDidOccur(AudioRecorder *recorder, const QString &error);
    void audioRecorderEndInterruption(AudioRecorder *recorder, int options);
    void dropRecorder();
    void showRecordingError(const AudioInputError &error);
    void startJob(ReversalJob job);
    void jobFinished(quint64 id, const ReversalJob::Result &result, bool cancelled);
    void showImportError(const QString &message);
    void jobStarted() { ++runningJobs_; }
    void jobEnded();

    Reversal reversal_;
    bool imported_ = false; // whether the next reversal is of an imported song
    std::function<void()> cancelAction_;
    InputFactory inputFactory_;
    QPointer<AudioRecorder> recorder_;
    QTimer recordTimeRefresh_;
    QPushButton *recordButton_;
    QPushButton *importButton_;
    QLabel *messageLabel_;
    InputLevelMeter *levelMeter_;
    QPointer<MusicPicker> picker_;
    ProgressOverlay *progressView_;
    quint64 currentJob_ = 0; // progress reports of an older, cancelled job are ignored
    int runningJobs_ = 0;
};

} // namespace murmelo
