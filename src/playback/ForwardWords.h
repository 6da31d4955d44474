#pragma once

#include "audio/SpeechRecogniser.h"
#include "library/PhraseMarker.h"
#include "platform/SerialQueue.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <atomic>
#include <memory>
#include <optional>

namespace murmelo {

// What was said forward under each phrase marker, recognised in the background one marker at a
// time. A marker is named by its stretch on the reversal; the words come back with their times
// in seconds of the forward file. The recogniser is made on the worker the first time it is
// needed (loading its model takes a moment); when it cannot be made, unavailable() tells why,
// once for the whole run, and requests are let go.
class ForwardWords : public QObject {
    Q_OBJECT
public:
    explicit ForwardWords(SpeechRecogniserFactory factory = defaultSpeechRecogniserFactory(),
                          QObject *parent = nullptr);
    ~ForwardWords() override;

    // Queues the forward twin of `stretch` (frames of a reversal `totalFrames` long) of the
    // forward file; a stretch already waiting or being recognised, or one that failed since the
    // last clear(), is not queued again.
    void request(const QString &forwardPath, FrameRange stretch, qint64 totalFrames);
    // Another way to make the recogniser, for what comes after (tests stand in with it).
    void setFactory(SpeechRecogniserFactory factory);
    // Lets go of everything queued and stops the marker being recognised.
    void cancel();
    // Another reversal: what was recognised belongs to the one before.
    void clear();

    // The words known for a stretch (recognised in this run, or read from the store and
    // remembered); none when they are not known yet.
    std::optional<QList<SpokenWord>> wordsFor(FrameRange stretch) const;
    void remember(FrameRange stretch, const QList<SpokenWord> &words);
    bool isBusy() const { return !pending_.isEmpty(); }
    // Whether the stretch is waiting or being recognised.
    bool isPending(FrameRange stretch) const { return pending_.contains(stretch); }

    // The user's choice in the settings: recognition can be switched off (it is on unless
    // switched off). Nothing is ever sent anywhere either way.
    static bool enabled();
    static void setEnabled(bool on);

signals:
    void recognised(FrameRange stretch, const QList<SpokenWord> &words);
    // Each request ends in recognised() or failed(); unavailable() comes once, before the first
    // failure for want of a recogniser.
    void failed(FrameRange stretch, const QString &reason);
    void unavailable(const QString &why);

private:
    struct Worker;

    std::shared_ptr<Worker> worker_;
    std::shared_ptr<std::atomic<bool>> stop_;
    QList<FrameRange> pending_;
    // Not asked again in this run: a failure would only repeat at every redraw of the list.
    QList<FrameRange> failed_;
    QHash<std::pair<qint64, qint64>, QList<SpokenWord>> known_;
    SerialQueue queue_{"wordsQueue"};
};

} // namespace murmelo
