#pragma once

#include <cstddef>

namespace murmelo {

// Writes all bytes at the descriptor's position, resuming after interruptions and short writes.
// Returns 0 or the errno (EIO when the descriptor takes nothing).
int vgWriteAll(int fd, const void *bytes, size_t size);

} // namespace murmelo
