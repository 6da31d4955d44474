#pragma once

#include <QString>
#include <memory>
#include <sox.h>

namespace murmelo {

struct WavLayout;

// libsox is initialised once for the whole process and never shut down: a job started right
// after a cancel must not race the cancelled job's teardown, and sox_init/sox_quit are not
// safe to interleave across threads.
namespace SoxLibrary {

void ensureInitialised();

// The text of the last failure libsox reported on the calling thread (libsox reports through a
// global callback, so each job thread keeps its own). clearLastError() starts a new job.
QString lastError();
void clearLastError();

} // namespace SoxLibrary

struct SoxFormatCloser {
    void operator()(sox_format_t *format) const { sox_close(format); }
};
using SoxFormat = std::unique_ptr<sox_format_t, SoxFormatCloser>;

struct SoxChainDeleter {
    void operator()(sox_effects_chain_t *chain) const { sox_delete_effects_chain(chain); }
};
using SoxChain = std::unique_ptr<sox_effects_chain_t, SoxChainDeleter>;

// Opens a WAV file for reading: its header is checked by our own parser first and it is then
// read with libsox's WAV handler only, so no other libsox reader ever sees outside bytes. Other
// formats are refused (songs come in through the import). Returns null with a user-readable
// reason on failure; `layout`, when given, receives what our parser read from the header.
SoxFormat openAudioInput(const QString &path, QString &error, WavLayout *layout = nullptr);

// Adds the effect `name` with the given options; false with libsox's reason on failure.
bool addSoxEffect(sox_effects_chain_t *chain, const char *name, int argc, char **argv,
                  sox_signalinfo_t *in, const sox_signalinfo_t *out, QString &error);

} // namespace murmelo
