#pragma once

#include "library/StoreError.h"

#include <QList>
#include <QString>

namespace murmelo {

class StoreContext;

// Finds saved recordings by the words of their title, message and phrase markers. Every word
// typed must begin a word of the recording (so "gru" finds "Grüße": accents and case are
// folded); the best matches come first, each word counting for the weightiest place it is found
// in (a title more than a message, a message more than a marker), then the newest; from the
// first letter typed on. The index is kept in step by the store file itself, whatever writes to
// it.
class RecordingSearch {
public:
    explicit RecordingSearch(StoreContext &context) : context_(context) {}

    // Row ids of the matching recordings, best first; every recording, newest first, for text
    // without words. Empty, with the error set, when the store cannot be read.
    QList<qint64> search(const QString &text, StoreError *error = nullptr);

    // The full-text query for typed text: each word a quoted prefix, all of them required.
    // Quotes, stars and operators typed by the user are words, never query syntax.
    static QString matchExpression(const QString &text);

private:
    StoreContext &context_;
};

} // namespace murmelo
