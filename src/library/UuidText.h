#pragma once

#include <QString>

namespace murmelo {

// A fresh random UUID in its 36-character form, upper-case hexadecimal in groups 8-4-4-4-12.
QString stringWithUUID();

} // namespace murmelo
