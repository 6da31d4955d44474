#pragma once

#include <QString>

namespace murmelo {

// Why an import or a file-fed input stopped. `description` is the decoder's own wording
// (av_strerror) or the file system's.
struct MediaImportError {
    enum class Kind {
        None,
        Unreadable,  // the file cannot be opened or holds no audio we can decode
        SetupFailed, // the decoder or the sample converter cannot be set up
        ReadFailed,  // reading or decoding failed part-way
        WriteFailed, // the WAV file could not be written
        Cancelled,
    };

    Kind kind = Kind::None;
    QString description;

    bool ok() const { return kind == Kind::None; }
    static MediaImportError failure(Kind kind, const QString &description)
    {
        return {kind, description};
    }
};

} // namespace murmelo
