#include "screens/playback/LoopController.h"

#include "library/PhraseMarker.h"

#include <QCoreApplication>

namespace murmelo {

namespace {

QString countText(int count)
{
    switch (count) {
    case 1:
        return QCoreApplication::translate("LoopController", "Once");
    case LoopSettings::kForever:
        return QCoreApplication::translate("LoopController", "Forever");
    default:
        return QCoreApplication::translate("LoopController", "%n times", nullptr, count);
    }
}

QString gapText(double gap)
{
    if (gap <= 0)
        return QCoreApplication::translate("LoopController", "No gap");
    return QCoreApplication::translate("LoopController", "%1 s gap").arg(gap);
}

} // namespace

void LoopController::change(const std::function<void(LoopSettings &)> &change)
{
    LoopSettings settings = engine_.loopSettings();
    change(settings);
    if (settings.count != 1)
        lastCount_ = settings.count;
    // The engine tells the views through its update.
    engine_.setLoopSettings(settings);
}

void LoopController::toggleRepeat()
{
    change([this](LoopSettings &s) { s.count = s.count == 1 ? lastCount_ : 1; });
}

void LoopController::nextCount()
{
    change([](LoopSettings &s) { s.count = s.nextCount(); });
}

void LoopController::nextGap()
{
    change([](LoopSettings &s) { s.gap = s.nextGap(); });
}

void LoopController::togglePingPong()
{
    change([](LoopSettings &s) { s.pingPong = !s.pingPong; });
}

void LoopController::playMarker(const PhraseMarker &marker)
{
    // Both files hold the same frames, so either tells the length; the marker's twin on the
    // forward file is the stretch on the forward time line, to the frame.
    const Player *player =
        engine_.reverseAudioPlayer() ? engine_.reverseAudioPlayer() : engine_.audioPlayer();
    if (!player)
        return;
    const FrameRange forward = mirrored(marker.frames, player->frameCount());
    engine_.playStretch(secondsFromFrames(forward.start, player->sampleRate()),
                        secondsFromFrames(forward.end, player->sampleRate()));
}

LoopController::RowTexts LoopController::rowTexts() const
{
    const LoopSettings &settings = engine_.loopSettings();
    const LoopPlan *plan = engine_.loopPlan();
    QString count = countText(settings.count);
    if (plan && settings.count != 1) {
        count =
            settings.count == LoopSettings::kForever
                ? QCoreApplication::translate("LoopController", "%1 of \u221e").arg(plan->time())
                : QCoreApplication::translate("LoopController", "%1 of %2")
                      .arg(plan->time())
                      .arg(settings.count);
    }
    return {count, gapText(settings.gap)};
}

} // namespace murmelo
