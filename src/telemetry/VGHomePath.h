#pragma once

#include <QString>

namespace murmelo {

// Paths inside the user's home folder leave the machine as "~/...": the home folder's name is
// usually the user's name. Every occurrence in TEXT of HOME followed by "/" (or HOME as the whole
// text) is replaced; a home of "/" or nothing changes nothing.
QString vgTildeHome(const QString &text, const QString &home);
// The same with the process's home folder ($HOME).
QString vgTildeHome(const QString &text);

} // namespace murmelo
