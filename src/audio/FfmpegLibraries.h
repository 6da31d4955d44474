#pragma once

#include <QString>

namespace murmelo {

// FFmpeg's libraries bring some 130 further shared libraries with them (every codec, container
// and network protocol FFmpeg was built with). Loaded with the program, they cost each start of
// it about a tenth of a second: most of the time of a short command that never decodes a song.
// So the program is not linked to them: the FFmpeg functions it calls are defined here, and the
// first call of any of them loads the libraries and goes on to the real function. Until they
// are loaded, and if they cannot be, those functions fail as FFmpeg's do (an error code, a null
// pointer), so callers need no second error path; load() says why.
namespace FfmpegLibraries {

// Loads the libraries once for the whole program; false with the reason when they cannot be.
bool load(QString &error);

} // namespace FfmpegLibraries

} // namespace murmelo
