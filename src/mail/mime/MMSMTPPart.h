#pragma once

#include <QList>
#include <QString>
#include <QVariantMap>

namespace murmelo {

// One body part of a message: a dictionary under these keys, whose texts equal their names.
// The message value is a QString (sent as UTF-8) or a QByteArray (sent as given, e.g. the
// Base64 lines of an attachment, so a large body is never copied into text).
inline constexpr char kMMSMTPPartContentDispositionKey[] = "kMMSMTPPartContentDispositionKey";
inline constexpr char kMMSMTPPartContentTypeKey[] = "kMMSMTPPartContentTypeKey";
inline constexpr char kMMSMTPPartContentTransferEncodingKey[] =
    "kMMSMTPPartContentTransferEncodingKey";
inline constexpr char kMMSMTPPartMessageKey[] = "kMMSMTPPartMessageKey";

using MMSMTPPart = QVariantMap;
using MMSMTPParts = QList<MMSMTPPart>;

} // namespace murmelo
