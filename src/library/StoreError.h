#pragma once

#include <QString>

namespace murmelo {

// A store failure the application can show: a code, a one-line description and what the user
// can do about it.
struct StoreError {
    enum Code {
        None,
        CannotOpen,   // the file or its folder cannot be opened at all
        Corrupt,      // not a database, truncated or failing its integrity check
        NewerVersion, // written by a later version of the application
        ForeignFile,  // a database, but not one of ours
        MigrationFailed,
        NoStore, // the context has no open store file
        WriteFailed,
        BadRequest, // a fetch naming an unknown entity or attribute
    };

    Code code = None;
    QString description;
    QString recoverySuggestion;

    explicit operator bool() const { return code != None; }
};

} // namespace murmelo
