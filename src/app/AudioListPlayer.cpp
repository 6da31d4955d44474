#include "app/AudioListPlayer.h"

#include "audio/Player.h"

#include <QCoreApplication>

namespace murmelo {

namespace {
class AudioListPlayer : public ListPlayer {
public:
    explicit AudioListPlayer(std::unique_ptr<Player> player) : player_(std::move(player))
    {
        player_->setFinishedHandler([this] { finish(QString()); });
        player_->setErrorHandler([this](const QString &reason) { finish(reason); });
    }

    bool play(QString *error) override
    {
        playing_ = player_->play(Player::Fade::Smooth);
        if (!playing_ && error)
            *error = QCoreApplication::translate("AudioListPlayer",
                                                 "The sound device could not be opened.");
        return playing_;
    }

    void stop() override
    {
        playing_ = false;
        player_->pause();
    }

    void setFinishedHandler(std::function<void(const QString &)> handler) override
    {
        finished_ = std::move(handler);
    }

private:
    void finish(const QString &error)
    {
        // A start that failed was already answered by play(); only a running sound ends here.
        if (!playing_)
            return;
        playing_ = false;
        // The handler may replace itself while it runs.
        if (auto handler = finished_)
            handler(error);
    }

    std::unique_ptr<Player> player_;
    std::function<void(const QString &)> finished_;
    bool playing_ = false;
};
} // namespace

ListPlayerFactory audioListPlayerFactory()
{
    return [](const QString &path, QString *error) -> std::unique_ptr<ListPlayer> {
        QString reason;
        std::unique_ptr<Player> player = Player::open(path, reason);
        if (!player) {
            if (error)
                *error = reason;
            return nullptr;
        }
        return std::make_unique<AudioListPlayer>(std::move(player));
    };
}

} // namespace murmelo
