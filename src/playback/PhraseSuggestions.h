#pragma once

#include "library/PhraseMarker.h"
#include "platform/SerialQueue.h"

#include <QList>
#include <QObject>
#include <atomic>
#include <memory>
#include <optional>

namespace murmelo {

// Phrases proposed for a reversal, held until the user takes or dismisses each one: nothing
// here is ever stored. Finding them reads the whole stretch of audio, so it runs on a queue of
// its own and reports how far it has got; a new search or cancel() drops what an earlier one
// would still bring. One suggestion at a time has the keyboard (focused), so Enter and Delete
// know which one they mean.
class PhraseSuggestions : public QObject {
    Q_OBJECT
public:
    explicit PhraseSuggestions(QObject *parent = nullptr);
    ~PhraseSuggestions() override;

    // Looks for phrases in `range` of the reversal (all of it when none). Suggestions already
    // held outside the range stay; those inside are replaced by what is found, less any that
    // lie mostly over one of the `markers` already made.
    void find(const QString &reversalPath, std::optional<FrameRange> range,
              const QList<PhraseMarker> &markers);
    void cancel();
    bool isRunning() const { return running_ != nullptr; }

    // In frames of the reversal, in order.
    const QList<FrameRange> &suggestions() const { return suggestions_; }
    int focused() const { return focused_; }
    void setFocused(int index);
    // Whether the screen shows them last to first (the forward audio plays the reversal's frames
    // backwards): the keyboard then starts at the last and goes on towards the first.
    void setBackwards(bool backwards) { backwards_ = backwards; }
    // The suggestion covering this frame of the reversal, -1 for none.
    int indexAt(qint64 frame) const;
    // Takes one out of the list (accepted or dismissed); the next one as shown gets the keyboard.
    std::optional<FrameRange> take(int index);
    // Another reversal: none of these belong to it.
    void clear();

signals:
    void progress(double fraction);
    // The list or its focus changed.
    void changed();
    // A search ended: `found` suggestions came of it.
    void finished(int found);
    void failed(const QString &reason);

private:
    void arrived(const QList<FrameRange> &found, FrameRange range,
                 const QList<PhraseMarker> &markers);

    QList<FrameRange> suggestions_;
    int focused_ = -1;
    bool backwards_ = false;
    std::shared_ptr<std::atomic<bool>> running_; // the current search's cancel flag
    SerialQueue queue_{"suggestQueue"};
};

} // namespace murmelo
