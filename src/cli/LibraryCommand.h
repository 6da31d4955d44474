#pragma once

class QCommandLineParser;

namespace murmelo::cli {

// `murmelo library list [--json]`, `library export ID DIR` and `library delete ID`: the saved
// recordings through the same store code as the screens. ID is a record's identity URI or its
// row id. Safe beside a running application: the store file is shared with a busy timeout.
void declareLibraryOptions(QCommandLineParser &parser);
int libraryCommand(const QCommandLineParser &parser);

} // namespace murmelo::cli
