#pragma once

namespace murmelo::crash {

// Reads the loader's image list (with build ids, executable ranges and the symbol tables of the
// images' files, mapped read-only) into the crash state's spare table and publishes it. Runs
// outside any handler; a handler keeps reading the table published before. Safe to call from
// any thread; calls are serialised.
void refreshImageTable();

} // namespace murmelo::crash
