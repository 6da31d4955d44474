#pragma once

#include "audio/AudioInput.h"
#include "audio/MediaImportDecoder.h"

#include <QElapsedTimer>
#include <QTimer>
#include <vector>

namespace murmelo {

// Plays an audio file into the recorder as if it were being spoken: decoded to mono 44.1 kHz and
// delivered at the pace of the wall clock. After the file ends it delivers silence, as a quiet
// microphone would. For tests, headless demonstrations and users who record from a file.
class AudioInputFile : public AudioInput {
    Q_OBJECT
public:
    explicit AudioInputFile(const QString &path, QObject *parent = nullptr);

    AudioInputError open() override;
    bool start(AudioInputError &error) override;
    void pause() override;
    void close() override;

private:
    void deliverDue();
    void fill(qint64 frames, QByteArray &out);

    QString path_;
    MediaImportDecoder decoder_;
    bool opened_ = false;
    bool ended_ = false;
    std::vector<qint16> pending_;
    size_t pendingOffset_ = 0;
    QTimer tick_;
    QElapsedTimer clock_;
    qint64 delivered_ = 0;   // frames handed out since open()
    qint64 runBeforeMs_ = 0; // capture time of earlier runs, before the last pause
};

} // namespace murmelo
