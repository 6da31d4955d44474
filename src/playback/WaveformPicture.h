#pragma once

#include "audio/WaveformEnvelope.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <memory>

namespace murmelo {

// The waveform of the screen's forward audio drawn for any size and any stretch of it, so that
// a wide window shows the whole recording across its width and a zoomed view a few seconds of
// a long song. The file's loudness envelope is read once, off the main thread, on the first
// request; a stretch too short for the envelope's resolution is read from the audio itself,
// also off the main thread.
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
    // The stretch [from, to] (fractions of the audio's length) at this size. A stretch shorter
    // than the envelope can show is drawn from the envelope at first and again from its audio
    // once that has been read (ready() follows).
    QImage draw(const QSize &size, double from, double to);

    // Draws an envelope at this size: every bucket of the envelope lands in one of the bars, so
    // the end of the audio is never cut off, however the width divides.
    static QImage draw(const WaveformEnvelope &envelope, const QSize &size);
    // Draws frames [first, end) of a WAV file as bars of mean level, on the scale of
    // `loudest` (dB). Null, with the reason, when the file cannot be read.
    static QImage drawFrames(const QString &path, qint64 first, qint64 end, const QSize &size,
                             float loudest, QString &error);

signals:
    // A picture asked for is ready to be drawn.
    void ready();

private:
    struct Detail {
        QSize size;
        double from = 0;
        double to = 0;
        QImage image;
    };
    void startReading();
    void readDetail(const QSize &size, double from, double to);
    QImage drawBuckets(const QSize &size, double from, double to) const;

    QString path_;
    quint64 generation_ = 0; // results of an earlier source are dropped
    bool reading_ = false;
    std::shared_ptr<const WaveformEnvelope> envelope_;
    Detail detail_;        // the last stretch read from the audio
    Detail pendingDetail_; // the stretch being read, when one is
    quint64 detailRequest_ = 0;
};

} // namespace murmelo
