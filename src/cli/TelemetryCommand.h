#pragma once

class QCommandLineParser;

namespace murmelo::cli {

// `murmelo telemetry dump FILE`: prints a telemetry file as JSON, for people debugging an
// upload: a queue file or any other MessagePack record (session logs inside events are decoded),
// or a session log given by its .ulog or .zlog file.
void declareTelemetryOptions(QCommandLineParser &parser);
// Exit codes as for every command: 0 done, 1 failed, 2 bad usage.
int telemetryCommand(const QCommandLineParser &parser);

} // namespace murmelo::cli
