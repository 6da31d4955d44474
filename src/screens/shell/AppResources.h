#pragma once

#include <QString>

namespace murmelo {

// Registers the shell's images and texts (linked in from a static library, so they must be
// asked for explicitly). Safe to call any number of times.
void loadAppResources();

// ":/murmelo/images/<name>"
QString appImagePath(const QString &name);

} // namespace murmelo
