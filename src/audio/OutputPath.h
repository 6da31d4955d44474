#pragma once

#include <QString>

class QFile;

namespace murmelo {

// True when writing `output` would destroy `input`: the same file by device and inode, so a
// hard link or a symbolic link to the input counts as well as the same name.
bool wouldOverwrite(const QString &input, const QString &output);

// Why `path` cannot be read as an input file (missing, a folder, a FIFO, a device), or empty
// when it is a regular file. Symbolic links are followed. Nothing is opened, so a FIFO never
// blocks the caller.
QString inputProblem(const QString &path);

// Opens a regular file for reading without ever blocking on a FIFO or a device; false with the
// reason otherwise.
bool openRegularFile(QFile &file, const QString &path, QString &error);

// A file written under a fresh hidden name in its destination's folder and renamed into place
// only once complete. A failure, a cancel or a kill never leaves a partial file under the
// destination's name, and nothing is written through whatever that name points at: the rename
// replaces a symbolic link there, never its target. Unfinished files are removed by the
// destructor, and by removeUnfinished() when a signal ends the process.
class OutputFile {
public:
    explicit OutputFile(const QString &destination);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Creates the temporary file exclusively (it never existed before); false with the reason.
    bool create(QString &error);
    // Where to write: the temporary file.
    const QString &path() const { return temporary_; }
    const QString &destination() const { return destination_; }
    // Renames the finished file over the destination; false with the reason (the temporary file
    // is removed then).
    bool commit(QString &error);
    // Removes the temporary file.
    void discard();

    // Removes every temporary file of this process not yet committed. Safe to call from a
    // thread other than the writers' while they are blocked.
    static void removeUnfinished();

private:
    QString destination_;
    QString temporary_;
};

// Creates `path` as a new empty file, failing when anything (a file, a folder, a dangling
// symbolic link) already has that name: for names the program picks itself, which must never
// replace or write through anything.
bool createExclusively(const QString &path, QString &error);

} // namespace murmelo
