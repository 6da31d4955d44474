#pragma once

#include "telemetry/codec/VGValue.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace murmelo {

// What the telemetry would send, made readable: a queue file, a crash report or any other
// MessagePack record decoded (the session logs inside events as their records), or a session
// log given by its .ulog or .zlog file. Shared by `murmelo telemetry dump` and the settings
// screen's view of the pending uploads.
namespace VGUploadDump {

struct Decoded {
    std::optional<VGValue> value; // nothing when the file cannot be shown; see error
    QString error;
    QString note; // something worth knowing about a file that could be shown
};

// Larger than any queue file, report or log the telemetry writes; larger files are not read.
inline constexpr qint64 kLargestFile = 64 * 1024 * 1024;

Decoded decodeFile(const QString &path);
// The files waiting to be posted in the telemetry folder SDKFOLDER (queued events and crash
// reports), oldest first; the folder is not created.
QStringList pendingUploads(const QString &sdkFolder);
// Every pending upload as readable text: each file's name, then its contents as indented JSON.
QString describePendingUploads(const QString &sdkFolder);

} // namespace VGUploadDump

} // namespace murmelo
