#pragma once

#include "audio/WaveformEnvelope.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <memory>

namespace murmelo {

// The waveform of the screen's forward audio drawn for any size, so that a wide window shows
// the whole recording across its width instead of a stretched small picture. The file's loudness
// envelope is read once, off the main thread, on the first request; later sizes are only drawn.
class WaveformPicture : public QObject {
    Q_OBJECT
public:
    // Bars are drawn at least this many points apart, as in the picture a record keeps.
    static constexpr int kMinimumBarWidth = 4;

    explicit WaveformPicture(QObject *parent = nullptr);

    // The file to draw; what was read of an earlier file is dropped.
    void setSource(const QString &path);
    QString source() const { return path_; }

    // The picture at this size, or a null image while the envelope is still being read (ready()
    // follows) or when the file cannot be read.
    QImage draw(const QSize &size);

    // Draws an envelope at this size: every bucket of the envelope lands in one of the bars, so
    // the end of the audio is never cut off, however the width divides.
    static QImage draw(const WaveformEnvelope &envelope, const QSize &size);

signals:
    // The envelope has been read; draw() now gives pictures.
    void ready();

private:
    void startReading();

    QString path_;
    quint64 generation_ = 0; // results of an earlier source are dropped
    bool reading_ = false;
    std::shared_ptr<const WaveformEnvelope> envelope_;
};

} // namespace murmelo
