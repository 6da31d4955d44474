#include "library/ListPlayback.h"

#include "library/Recording.h"
#include "platform/MainQueue.h"

#include <QFileInfo>

namespace murmelo {

ListPlayback::ListPlayback(ListPlayerFactory factory) : factory_(std::move(factory)) {}

ListPlayback::~ListPlayback()
{
    marked_ = nullptr;
    stop();
}

ListPlayback::Outcome ListPlayback::toggle(const std::shared_ptr<Recording> &recording,
                                           QString *error)
{
    if (recording_ == recording) {
        stop();
        return Stopped;
    }
    stop();
    QString reason;
    auto player = factory_ ? factory_(recording->reverseAudioPath(), &reason) : nullptr;
    if (player && !player->play(&reason))
        player.reset();
    if (!player) {
        if (error)
            *error = reason.isEmpty()
                         ? QStringLiteral("“%1” cannot be played.")
                               .arg(QFileInfo(recording->reverseAudioPath()).fileName())
                         : reason;
        return Failed;
    }
    player->setFinishedHandler([this, which = player.get()](const QString &reason) {
        if (which == player_.get())
            playerFinished(reason);
    });
    player_ = std::move(player);
    recording_ = recording;
    mark(*recording_, true);
    return Started;
}

void ListPlayback::stop()
{
    if (!recording_)
        return;
    player_->stop();
    release();
}

void ListPlayback::playerFinished(const QString &error)
{
    auto recording = recording_;
    release();
    if (finished_)
        finished_(*recording, error);
}

void ListPlayback::release()
{
    auto recording = std::move(recording_);
    player_->setFinishedHandler(nullptr);
    // The player may be the one calling in: it goes on a later turn of the loop.
    postToMainQueue([player = std::shared_ptr<ListPlayer>(std::move(player_))] {});
    mark(*recording, false);
}

void ListPlayback::mark(Recording &recording, bool playing)
{
    recording.setPrimitivePlayingValue(playing);
    if (marked_)
        marked_(recording);
}

} // namespace murmelo
