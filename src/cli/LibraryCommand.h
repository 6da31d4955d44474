#pragma once

#include <QString>
#include <memory>

class QCommandLineParser;

namespace murmelo::cli {

// `murmelo library list [--json]`, `library export ID DIR` and `library delete ID`: the saved
// recordings through the same store code as the screens. ID is a record's identity URI or its
// row id. Safe beside a running application: the store file is shared with a busy timeout.
void declareLibraryOptions(QCommandLineParser &parser);
// Exit codes as for every command: 0 done, 1 failed, 2 bad usage.
int libraryCommand(const QCommandLineParser &parser);

} // namespace murmelo::cli

namespace murmelo {
class Recording;
class StoreContext;
} // namespace murmelo

namespace murmelo::cli {

// The saved recording an ID names (identity URI or row id), or null.
std::shared_ptr<Recording> findRecording(StoreContext &context, const QString &id);

} // namespace murmelo::cli
