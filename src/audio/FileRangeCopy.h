#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

namespace murmelo {

// Copies a byte range from one open file to another. The kernel's copy (copy_file_range) moves
// the bytes without passing them through this process, and shares the blocks instead where the
// file system can (a reflink); where the kernel cannot copy between the two files (another file
// system, no support) the rest goes through a buffer of ours.
class FileRangeCopy {
public:
    enum class Method { Kernel, Buffered };

    explicit FileRangeCopy(Method method = Method::Kernel) : method_(method) {}

    // Called between chunks with the bytes copied so far; returning false stops the copy.
    using Step = std::function<bool(qint64 copied)>;

    // Copies `bytes` from `inOffset` of `in` to `outOffset` of `out` (neither descriptor's own
    // offset moves). False with the reason in `error`; an input that ends early is a failure,
    // and a stop from `step` leaves `error` empty.
    bool copy(int in, qint64 inOffset, int out, qint64 outOffset, qint64 bytes, QString &error,
              const Step &step = {});

    // How the last bytes went: the kernel's copy until it refused.
    Method method() const { return method_; }

private:
    Method method_;
};

} // namespace murmelo
