#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

namespace murmelo {

// Why capture could not begin. NoDevice and Refused are what a phone would call a denied
// microphone permission; SourceUnreadable is an input file that cannot be played into the
// recorder; FileFailed is the recording's own file.
struct AudioInputError {
    enum class Kind { None, NoDevice, Refused, SourceUnreadable, FileFailed };

    Kind kind = Kind::None;
    QString description;

    bool ok() const { return kind == Kind::None; }
    bool isPermissionDenied() const { return kind == Kind::NoDevice || kind == Kind::Refused; }
};

// Where recorded sound comes from: the microphone, or a file played in real time. Delivers
// 16-bit signed little-endian mono at 44.1 kHz, on the thread that owns it.
class AudioInput : public QObject {
    Q_OBJECT
public:
    static constexpr int sampleRate = 44100;
    static constexpr int channels = 1;
    static constexpr int bytesPerFrame = 2;

    explicit AudioInput(QObject *parent = nullptr) : QObject(parent) {}

    // The file named by the environment variable MURMELO_AUDIO_INPUT_FILE or the user default
    // `audioInputFile`, when either is set; the default microphone otherwise.
    static std::unique_ptr<AudioInput> createDefault();

    // Readies the source without capturing yet.
    virtual AudioInputError open() = 0;
    // Begins or resumes delivering audio; false (with `error` set) when the source refuses.
    virtual bool start(AudioInputError &error) = 0;
    // Stops delivering, after handing out what was captured up to now. open() state is kept.
    virtual void pause() = 0;
    virtual void close() = 0;

signals:
    void audioAvailable(const QByteArray &pcm);
    // The source went away (sound server gone, device unplugged or suspended); capture stopped.
    void interruptionBegan();
    // The source is back; start() again resumes.
    void interruptionEnded(bool shouldResume);
};

} // namespace murmelo
