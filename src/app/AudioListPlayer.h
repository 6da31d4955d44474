#pragma once

#include "library/ListPlayer.h"

namespace murmelo {

// Plays a saved recording in place in the list, through the application's audio player.
ListPlayerFactory audioListPlayerFactory();

} // namespace murmelo
