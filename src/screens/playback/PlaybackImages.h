#pragma once

#include <QIcon>
#include <QPixmap>

namespace murmelo::PlaybackImages {

// The crop range slider's parts.
QPixmap editThumb();
QPixmap editSlider();
QPixmap sliderRange();

// The transport buttons; checkable ones carry their "on" look in the icon's On state.
QIcon playPause();
QIcon restart();
QIcon direction();
QIcon repeat();
QIcon editMessage();
QIcon removeMarker();

} // namespace murmelo::PlaybackImages
