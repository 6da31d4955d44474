#pragma once

#include <QImage>
#include <QString>

namespace murmelo {

// What the record screen hands to the screen that plays a fresh reversal, through the segue
// "Playback", in this order: imported, forward path, reversal path, waveform picture.
class PlaybackHandOff {
public:
    virtual ~PlaybackHandOff() = default;
    virtual void setImported(bool imported) = 0;
    virtual void setAudioPath(const QString &path) = 0;
    virtual void setReverseAudioPath(const QString &path) = 0;
    virtual void setWaveformImage(const QImage &image) = 0;
};

} // namespace murmelo
