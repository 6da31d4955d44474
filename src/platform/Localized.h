#pragma once

#include <QString>

namespace murmelo {

// The localisation table: user-visible texts looked up by key. An unknown key reads as itself,
// so a missing entry shows up on screen instead of an empty label.
QString localized(const char *key);

} // namespace murmelo
