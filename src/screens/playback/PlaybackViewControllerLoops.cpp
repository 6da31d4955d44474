// The listening loop of the playback screen: the loop row's commands go to its loop controller.
#include "screens/playback/PlaybackViewController.h"

#include "library/PhraseMarker.h"

#include <QToolButton>

namespace murmelo {

void PlaybackViewController::repeat()
{
    loops_.toggleRepeat();
}

void PlaybackViewController::loopCount()
{
    loops_.nextCount();
}

void PlaybackViewController::loopGap()
{
    loops_.nextGap();
}

void PlaybackViewController::pingPong()
{
    loops_.togglePingPong();
}

void PlaybackViewController::playMarker(const PhraseMarker &marker)
{
    loops_.playMarker(marker);
}

void PlaybackViewController::refreshLoopViews()
{
    const LoopSettings &settings = engine_.loopSettings();
    const LoopController::RowTexts texts = loops_.rowTexts();
    view_.loopCountButton->setText(texts.count);
    view_.loopCountButton->setChecked(settings.count != 1);
    view_.loopGapButton->setText(texts.gap);
    view_.loopGapButton->setChecked(settings.gap > 0);
    view_.pingPongButton->setChecked(settings.pingPong);
    view_.repeatButton->setChecked(engine_.repeat());
}

} // namespace murmelo
