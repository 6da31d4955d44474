#pragma once

#include <QString>

namespace murmelo {

// True when writing `output` would destroy `input` (same file under another name included).
bool wouldOverwrite(const QString &input, const QString &output);

} // namespace murmelo
