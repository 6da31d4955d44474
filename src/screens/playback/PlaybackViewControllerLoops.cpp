// The listening loop of the playback screen: how often a stretch repeats, the silence between,
// ping-pong, and playing a marker's stretch.
#include "screens/playback/PlaybackViewController.h"

#include "library/PhraseMarker.h"

#include <QToolButton>

namespace murmelo {

namespace {

QString countText(int count)
{
    switch (count) {
    case 1:
        return PlaybackViewController::tr("Once");
    case LoopSettings::kForever:
        return PlaybackViewController::tr("Forever");
    default:
        return PlaybackViewController::tr("%n times", nullptr, count);
    }
}

QString gapText(double gap)
{
    if (gap <= 0)
        return PlaybackViewController::tr("No gap");
    return PlaybackViewController::tr("%1 s gap").arg(gap);
}

} // namespace

void PlaybackViewController::changeLoop(const std::function<void(LoopSettings &)> &change)
{
    LoopSettings settings = engine_.loopSettings();
    change(settings);
    if (settings.count != 1)
        lastLoopCount_ = settings.count;
    // The engine tells the views through its update.
    engine_.setLoopSettings(settings);
}

void PlaybackViewController::repeat()
{
    // The loop switch: off plays once, on brings back the count last chosen.
    changeLoop([this](LoopSettings &s) { s.count = s.count == 1 ? lastLoopCount_ : 1; });
}

void PlaybackViewController::loopCount()
{
    changeLoop([](LoopSettings &s) { s.count = s.nextCount(); });
}

void PlaybackViewController::loopGap()
{
    changeLoop([](LoopSettings &s) { s.gap = s.nextGap(); });
}

void PlaybackViewController::pingPong()
{
    changeLoop([](LoopSettings &s) { s.pingPong = !s.pingPong; });
}

void PlaybackViewController::playMarker(const PhraseMarker &marker)
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

void PlaybackViewController::refreshLoopViews()
{
    const LoopSettings &settings = engine_.loopSettings();
    const LoopPlan *plan = engine_.loopPlan();
    QString count = countText(settings.count);
    if (plan && settings.count != 1) {
        count = settings.count == LoopSettings::kForever
                    ? tr("%1 of \u221e").arg(plan->time())
                    : tr("%1 of %2").arg(plan->time()).arg(settings.count);
    }
    view_.loopCountButton->setText(count);
    view_.loopCountButton->setChecked(settings.count != 1);
    view_.loopGapButton->setText(gapText(settings.gap));
    view_.loopGapButton->setChecked(settings.gap > 0);
    view_.pingPongButton->setChecked(settings.pingPong);
    view_.repeatButton->setChecked(engine_.repeat());
}

} // namespace murmelo
