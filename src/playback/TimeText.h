#pragma once

#include <QString>

namespace murmelo {

// "m:ss" of whole seconds, truncated: 125.9 s reads 2:05, an hour reads 60:00. Anything that is
// not a positive number (an absent player's duration) reads 0:00.
QString timeText(double seconds);
// "m:ss.t", with tenths, for phrases a second or two long: 8.57 s reads 0:08.5.
QString preciseTimeText(double seconds);

} // namespace murmelo
