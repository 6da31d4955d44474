#pragma once

#include "audio/PitchTracker.h"
#include "audio/ShortTimeSpectrum.h"

#include <QtGlobal>
#include <memory>
#include <vector>

namespace murmelo {

class PlayerAudio;

// Columns of a spectrogram read from audio on disk: the channels mixed to one, the mean power
// of the frames laid across a column's stretch in decibels, and the pitch at its middle. Only the
// frames a column needs are read, so an hour of audio never sits in memory. One per thread.
class SpectrumColumns {
public:
    // At most `framesPerColumn` frames are averaged in a column; a column wider than that many
    // frames is sampled at evenly spaced places rather than read whole.
    SpectrumColumns(std::shared_ptr<PlayerAudio> audio, int framesPerColumn,
                    int frameSize = ShortTimeSpectrum::kDefaultFrameSize);

    int binCount() const { return spectrum_.binCount(); }
    int frameSize() const { return spectrum_.frameSize(); }
    const PlayerAudio &audio() const { return *audio_; }

    // The column over frames [first, end) of the audio: decibels for every bin into `decibels`
    // (binCount() values), and the pitch at its middle in Hz (0 for none).
    void column(qint64 first, qint64 end, float *decibels, float &pitch);
    // The pitch of the frame centred on `frame`, 0 for none.
    float pitchAt(qint64 frame);

    // Columns made for a picture alone can leave the pitch out (it is then 0).
    void setPitchWanted(bool wanted) { pitchWanted_ = wanted; }

    // True when a read came back short (the file was cut or went away); what was read stands.
    bool readFailed() const { return readFailed_; }

private:
    // The mono frame centred on `centre` into frame_; the audio's ends are padded with silence.
    void readFrame(qint64 centre);

    std::shared_ptr<PlayerAudio> audio_;
    int framesPerColumn_;
    ShortTimeSpectrum spectrum_;
    PitchTracker pitch_;
    std::vector<float> interleaved_;
    std::vector<float> frame_;
    std::vector<float> power_;
    bool readFailed_ = false;
    bool pitchWanted_ = true;
};

} // namespace murmelo
