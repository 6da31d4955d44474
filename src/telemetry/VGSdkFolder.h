#pragma once

#include <QString>

namespace murmelo {

// The telemetry's own folder inside the application's caches folder: event queues, logs, session
// records and crash reports live below it. Created (0700), with missing parents, when first asked
// for.
namespace VGSdkFolder {

QString path();
// The same folder, not created: for looking without leaving a trace.
QString location();
// Points the folder elsewhere (empty restores the default). For tests and tools.
void setPathForTesting(const QString &path);

} // namespace VGSdkFolder

} // namespace murmelo
