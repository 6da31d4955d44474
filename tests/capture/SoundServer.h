#pragma once

#include <QProcess>
#include <QString>
#include <memory>

namespace murmelo::test {

// A private PulseAudio server whose default input is a fake microphone: a null sink, and a source
// remapped from that sink's monitor, so whatever is played into the sink is what gets recorded.
// Clients of this process (and its children) reach it through PULSE_SERVER.
class SoundServer {
public:
    static constexpr int toneHz = 1000;

    SoundServer();
    ~SoundServer();

    // Empty when the server is up; otherwise why it could not be started.
    QString start();
    void stop();
    bool running() const;

    // Plays a steady tone into the sink and returns once the fake microphone delivers it.
    // The tone goes on until stopTone() or stop().
    QString startTone();
    void stopTone();

private:
    QString waitForMicrophone();

    QString folder_;
    QString socket_;
    std::unique_ptr<QProcess> server_;
    std::unique_ptr<QProcess> tone_;
};

} // namespace murmelo::test
