#pragma once

#include "audio/AudioOutputNull.h"
#include "playback/PlaybackEngine.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace murmelo::test {

// Hands frames over as soon as they are played, yet claims a device's buffer ahead of the
// listener while it runs.
class LaggingOutput : public NullAudioOutput {
public:
    explicit LaggingOutput(qint64 lag) : lag_(lag) {}
    qint64 framesPending() const override { return isRunning() ? lag_ : 0; }

private:
    qint64 lag_;
};

// An engine whose two players' outputs are laid on one time line and summed, as the listener
// hears them, so that what the engine plays can be measured frame by frame.
class EngineSound : public ::testing::Test {
protected:
    static constexpr int kRate = 8000;

    struct Track {
        NullAudioOutput *output = nullptr;
        qint64 written = 0; // in the current step
        std::vector<float> heard;
    };

    // A 16-bit mono file at kRate in the test's scratch folder.
    static QString writeMono(const QString &name, const std::vector<qint16> &frames);
    void open(const QString &forwardPath, const QString &reversePath, qint64 lag = 0);
    // Both outputs play in lock step, a millisecond at a time.
    void play(int ms);
    float largestStep() const;

    std::unique_ptr<PlaybackEngine> engine;
    std::vector<std::unique_ptr<Track>> tracks; // forward, then reverse
    std::vector<float> mix;
    qint64 now = 0;
};

} // namespace murmelo::test
