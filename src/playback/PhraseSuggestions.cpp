#include "playback/PhraseSuggestions.h"

#include "platform/MainQueue.h"
#include "playback/PhraseSegmenter.h"

#include <QPointer>
#include <algorithm>
#include <limits>

namespace murmelo {

namespace {
// How much of a suggestion may lie over a marker before it is taken as already marked.
constexpr double kMarkedShare = 0.5;

qint64 overlap(FrameRange a, FrameRange b)
{
    return std::max<qint64>(0, std::min(a.end, b.end) - std::max(a.start, b.start));
}
} // namespace

PhraseSuggestions::PhraseSuggestions(QObject *parent) : QObject(parent) {}

PhraseSuggestions::~PhraseSuggestions()
{
    cancel();
}

void PhraseSuggestions::find(const QString &reversalPath, std::optional<FrameRange> range,
                             const QList<PhraseMarker> &markers)
{
    cancel();
    auto stop = std::make_shared<std::atomic<bool>>(false);
    running_ = stop;
    QPointer<PhraseSuggestions> self(this);
    queue_.async([self, stop, reversalPath, range, markers] {
        // Progress is told in steps of a percent, so a long song does not flood the main queue.
        auto told = std::make_shared<int>(-1);
        QString error;
        const auto found = suggestPhrases(
            reversalPath, range,
            [&](double fraction) {
                const int percent = int(fraction * 100);
                if (percent != *told) {
                    *told = percent;
                    postToMainQueue([self, stop, fraction] {
                        if (self && self->running_ == stop)
                            emit self->progress(fraction);
                    });
                }
                return !stop->load();
            },
            error);
        postToMainQueue([self, stop, found, error, range, markers] {
            if (!self || self->running_ != stop)
                return;
            self->running_.reset();
            if (found)
                self->arrived(*found,
                              range.value_or(FrameRange{0, std::numeric_limits<qint64>::max()}),
                              markers);
            else if (!error.isEmpty())
                emit self->failed(error);
        });
    });
}

void PhraseSuggestions::arrived(const QList<FrameRange> &found, FrameRange range,
                                const QList<PhraseMarker> &markers)
{
    QList<FrameRange> kept;
    for (const FrameRange &old : suggestions_)
        if (old.end <= range.start || old.start >= range.end)
            kept << old;
    int added = 0;
    for (const FrameRange &phrase : found) {
        const bool marked = std::any_of(markers.begin(), markers.end(), [&](const PhraseMarker &m) {
            return overlap(phrase, m.frames) > kMarkedShare * phrase.length();
        });
        if (!marked) {
            kept << phrase;
            ++added;
        }
    }
    std::sort(kept.begin(), kept.end(),
              [](FrameRange a, FrameRange b) { return a.start < b.start; });
    suggestions_ = kept;
    // The first new one as shown gets the keyboard.
    focused_ = -1;
    for (int i = 0; i < suggestions_.size(); ++i) {
        const FrameRange &s = suggestions_[i];
        if (s.start >= range.start && s.end <= range.end && (focused_ < 0 || backwards_))
            focused_ = i;
    }
    if (focused_ < 0 && !suggestions_.isEmpty())
        focused_ = backwards_ ? int(suggestions_.size()) - 1 : 0;
    emit changed();
    emit finished(added);
}

void PhraseSuggestions::cancel()
{
    if (running_)
        running_->store(true);
    running_.reset();
}

void PhraseSuggestions::setFocused(int index)
{
    if (index < -1 || index >= suggestions_.size() || index == focused_)
        return;
    focused_ = index;
    emit changed();
}

int PhraseSuggestions::indexAt(qint64 frame) const
{
    for (int i = 0; i < suggestions_.size(); ++i)
        if (frame >= suggestions_[i].start && frame < suggestions_[i].end)
            return i;
    return -1;
}

std::optional<FrameRange> PhraseSuggestions::take(int index)
{
    if (index < 0 || index >= suggestions_.size())
        return std::nullopt;
    const FrameRange taken = suggestions_.takeAt(index);
    const int next = backwards_ ? index - 1 : index;
    focused_ = suggestions_.isEmpty() ? -1 : std::clamp(next, 0, int(suggestions_.size()) - 1);
    emit changed();
    return taken;
}

void PhraseSuggestions::clear()
{
    cancel();
    if (suggestions_.isEmpty())
        return;
    suggestions_.clear();
    focused_ = -1;
    emit changed();
}

} // namespace murmelo
