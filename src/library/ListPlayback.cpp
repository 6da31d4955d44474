#include "library/ListPlayback.h"

#include "library/Recording.h"
#include "platform/MainQueue.h"

#include <QFileInfo>

namespace murmelo {

ListPlayback::ListPlayback(ListPlayerFactory factory) : m_factory(std::move(factory)) {}

ListPlayback::~ListPlayback()
{
    m_marked = nullptr;
    stop();
}

ListPlayback::Outcome ListPlayback::toggle(const std::shared_ptr<Recording> &recording,
                                           QString *error)
{
    if (m_recording == recording) {
        stop();
        return Stopped;
    }
    stop();
    QString reason;
    auto player = m_factory ? m_factory(recording->reverseAudioPath(), &reason) : nullptr;
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
        if (which == m_player.get())
            playerFinished(reason);
    });
    m_player = std::move(player);
    m_recording = recording;
    mark(*m_recording, true);
    return Started;
}

void ListPlayback::stop()
{
    if (!m_recording)
        return;
    m_player->stop();
    release();
}

void ListPlayback::playerFinished(const QString &error)
{
    auto recording = m_recording;
    release();
    if (m_finished)
        m_finished(*recording, error);
}

void ListPlayback::release()
{
    auto recording = std::move(m_recording);
    m_player->setFinishedHandler(nullptr);
    // The player may be the one calling in: it goes on a later turn of the loop.
    postToMainQueue([player = std::shared_ptr<ListPlayer>(std::move(m_player))] {});
    mark(*recording, false);
}

void ListPlayback::mark(Recording &recording, bool playing)
{
    recording.setPrimitivePlayingValue(playing);
    if (m_marked)
        m_marked(recording);
}

} // namespace murmelo
