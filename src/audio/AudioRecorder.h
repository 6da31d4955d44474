#pragma once

#include "audio/AudioInput.h"
#include "audio/AudioRecorderWavWriter.h"

#include <QObject>
#include <QString>
#include <memory>

namespace murmelo {

// Records an AudioInput into a mono 44.1 kHz 16-bit linear-PCM WAV file. The header's sizes are
// rewritten every half second of audio, so a recording cut short by a crash or a kill is still
// a valid file missing at most its last half second.
//
// The signals are the recorder's delegate calls. audioRecorderDidFinishRecording is emitted
// from inside stop(): a receiver that wants to drop the recorder must use deleteLater().
class AudioRecorder : public QObject {
    Q_OBJECT
public:
    static constexpr int sampleRate = AudioInput::sampleRate;
    static constexpr int channels = AudioInput::channels;
    // The option of audioRecorderEndInterruption that asks for recording to resume.
    static constexpr int InterruptionOptionShouldResume = 1;
    static constexpr double headerPatchSeconds = 0.5;

    // Readies `input` (the default one when null) and creates the file at `path`. Null, with
    // `error` set, when there is no device, the device refuses, or the file cannot be created.
    static std::unique_ptr<AudioRecorder> create(const QString &path, AudioInputError &error,
                                                 std::unique_ptr<AudioInput> input = nullptr);
    ~AudioRecorder() override;

    // Starts, or resumes after pause() or an interruption, appending to the same file.
    // False, with lastError() set, when the input refuses or the recording has ended.
    bool record();
    void pause();
    // Ends the recording, completes the file and emits audioRecorderDidFinishRecording.
    void stop();

    // Seconds of audio in the file.
    double currentTime() const;
    QString url() const { return path_; }
    bool isRecording() const { return recording_; }
    AudioInputError lastError() const { return lastError_; }

signals:
    void audioRecorderDidFinishRecording(murmelo::AudioRecorder *recorder, bool successfully);
    // Writing the file failed; the recording has ended and the partial file is left as it is.
    void audioRecorderEncodeErrorDidOccur(murmelo::AudioRecorder *recorder, const QString &error);
    void audioRecorderBeginInterruption(murmelo::AudioRecorder *recorder);
    void audioRecorderEndInterruption(murmelo::AudioRecorder *recorder, int options);

private:
    AudioRecorder(const QString &path, std::unique_ptr<AudioInput> input);
    void take(const QByteArray &pcm);
    void encodeFailed();
    void inputInterrupted();
    void inputBack(bool shouldResume);

    QString path_;
    std::unique_ptr<AudioInput> input_;
    AudioRecorderWavWriter writer_;
    AudioInputError lastError_;
    qint64 framesAtLastPatch_ = 0;
    bool recording_ = false;
    bool ended_ = false;
    bool interrupted_ = false;
};

} // namespace murmelo
