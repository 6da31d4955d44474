#include "library/PhraseMarkerStore.h"

#include "library/StoreContext.h"
#include "library/StoreSchema.h"
#include "platform/SystemLog.h"

#include <QCoreApplication>

namespace murmelo {

namespace {
// Text is never NULL in the file: an untitled marker is an empty text.
QVariant textValue(const QString &text)
{
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

bool validStretch(const FrameRange &frames)
{
    return frames.start >= 0 && frames.end >= frames.start;
}
} // namespace

bool PhraseMarkerStore::fail(StoreError *error, StoreError::Code code, const QString &description)
{
    systemLog(QStringLiteral("Library: %1").arg(description));
    if (error)
        *error = {code, description, {}};
    return false;
}

bool PhraseMarkerStore::ready(StoreError *error)
{
    if (context_.hasStore())
        return true;
    return fail(error, StoreError::NoStore, context_.openError().description);
}

bool PhraseMarkerStore::insert(qint64 recordingID, const PhraseMarker &marker, qint64 *newID)
{
    SqliteDatabase &db = context_.database();
    SqliteStatement statement = db.prepare(QStringLiteral(
        "INSERT INTO marker (recordingId, startFrame, endFrame, text) VALUES (?1, ?2, ?3, ?4)"));
    statement.bind(1, recordingID);
    statement.bind(2, marker.frames.start);
    statement.bind(3, marker.frames.end);
    statement.bind(4, textValue(marker.text));
    if (!statement.exec())
        return false;
    *newID = sqlite3_last_insert_rowid(db.handle());
    return true;
}

QList<PhraseMarker> PhraseMarkerStore::markers(qint64 recordingID, StoreError *error)
{
    if (!ready(error))
        return {};
    SqliteDatabase &db = context_.database();
    SqliteStatement statement =
        db.prepare(QStringLiteral("SELECT id, startFrame, endFrame, text FROM marker WHERE"
                                  " recordingId = ?1 ORDER BY startFrame, endFrame, id"));
    statement.bind(1, recordingID);
    QList<PhraseMarker> result;
    int rc;
    while ((rc = statement.step()) == SQLITE_ROW) {
        result << PhraseMarker{statement.columnInt64(0),
                               {statement.columnInt64(1), statement.columnInt64(2)},
                               statement.columnText(3)};
    }
    if (rc != SQLITE_DONE) {
        fail(error, StoreError::Corrupt, db.lastError());
        return {};
    }
    return result;
}

std::optional<PhraseMarker>
PhraseMarkerStore::addMarker(qint64 recordingID, const PhraseMarker &marker, StoreError *error)
{
    if (!ready(error))
        return std::nullopt;
    if (!validStretch(marker.frames)) {
        fail(error, StoreError::BadRequest,
             QCoreApplication::translate("Store", "A marker must end at or after its start."));
        return std::nullopt;
    }
    PhraseMarker stored = marker;
    if (!insert(recordingID, marker, &stored.id)) {
        fail(error, StoreError::WriteFailed,
             QCoreApplication::translate("Store", "The marker could not be saved: %1")
                 .arg(context_.database().lastError()));
        return std::nullopt;
    }
    return stored;
}

bool PhraseMarkerStore::updateMarker(const PhraseMarker &marker, StoreError *error)
{
    if (!ready(error))
        return false;
    if (!validStretch(marker.frames))
        return fail(error, StoreError::BadRequest,
                    QCoreApplication::translate("Store", "A marker must end at or after its "
                                                         "start."));
    SqliteDatabase &db = context_.database();
    // Words recognised under the old stretch were said somewhere else: they go when it moves.
    SqliteStatement statement = db.prepare(QStringLiteral(
        "UPDATE marker SET forwardWords = CASE WHEN startFrame = ?1 AND endFrame = ?2"
        " THEN forwardWords END, startFrame = ?1, endFrame = ?2, text = ?3 WHERE id = ?4"));
    statement.bind(1, marker.frames.start);
    statement.bind(2, marker.frames.end);
    statement.bind(3, textValue(marker.text));
    statement.bind(4, marker.id);
    if (!statement.exec())
        return fail(error, StoreError::WriteFailed,
                    QCoreApplication::translate("Store", "The marker could not be saved: %1")
                        .arg(db.lastError()));
    if (sqlite3_changes(db.handle()) == 0)
        return fail(error, StoreError::BadRequest,
                    QCoreApplication::translate("Store", "There is no marker %1.").arg(marker.id));
    return true;
}

bool PhraseMarkerStore::removeMarker(qint64 markerID, StoreError *error)
{
    if (!ready(error))
        return false;
    SqliteDatabase &db = context_.database();
    SqliteStatement statement = db.prepare(QStringLiteral("DELETE FROM marker WHERE id = ?1"));
    statement.bind(1, markerID);
    if (!statement.exec())
        return fail(error, StoreError::WriteFailed,
                    QCoreApplication::translate("Store", "The marker could not be removed: %1")
                        .arg(db.lastError()));
    return true;
}

bool PhraseMarkerStore::replaceMarkers(qint64 recordingID, const QList<PhraseMarker> &markers,
                                       StoreError *error)
{
    if (!ready(error))
        return false;
    for (const PhraseMarker &marker : markers) {
        if (!validStretch(marker.frames))
            return fail(error, StoreError::BadRequest,
                        QCoreApplication::translate("Store", "A marker must end at or after its "
                                                             "start."));
    }
    SqliteDatabase &db = context_.database();
    const auto failed = [&] {
        // The first failure is the one to tell: a failed statement may already have ended the
        // transaction, and the rollback's own complaint would hide it.
        const QString reason = db.failureReason();
        if (!sqlite3_get_autocommit(db.handle()))
            db.exec(QStringLiteral("ROLLBACK"));
        return fail(
            error, StoreError::WriteFailed,
            QCoreApplication::translate("Store", "The markers could not be saved: %1").arg(reason));
    };
    if (!db.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return fail(error, StoreError::WriteFailed, db.lastError());

    // The search triggers rebuild the recording's whole index row for each marker row written,
    // which makes a large replacement quadratic. They are set aside for this transaction only
    // (a rollback or a crash brings them back with it) and the row is rebuilt once at the end.
    QStringList searchTriggers;
    {
        SqliteStatement triggers = db.prepare(
            QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'trigger' AND"
                           " tbl_name = 'marker' AND sql LIKE '%recording_search%'"));
        QStringList names;
        while (triggers.step() == SQLITE_ROW) {
            names << triggers.columnText(0);
            searchTriggers << triggers.columnText(1);
        }
        for (const QString &name : std::as_const(names)) {
            if (!db.exec(QStringLiteral("DROP TRIGGER \"%1\"").arg(name)))
                return failed();
        }
    }
    {
        SqliteStatement clear =
            db.prepare(QStringLiteral("DELETE FROM marker WHERE recordingId = ?1"));
        clear.bind(1, recordingID);
        if (!clear.exec())
            return failed();
    }
    // Without markers to insert, the trigger never checks the recording; an empty replacement
    // of a missing recording is refused as one with markers would be.
    bool recordingExists;
    {
        SqliteStatement exists =
            db.prepare(QStringLiteral("SELECT 1 FROM recording WHERE id = ?1"));
        exists.bind(1, recordingID);
        recordingExists = exists.step() == SQLITE_ROW;
    }
    if (!recordingExists) {
        db.exec(QStringLiteral("ROLLBACK"));
        return fail(error, StoreError::BadRequest,
                    QCoreApplication::translate("Store", "There is no saved recording %1.")
                        .arg(recordingID));
    }
    for (const PhraseMarker &marker : markers) {
        qint64 ignored;
        if (!insert(recordingID, marker, &ignored))
            return failed();
    }
    if (!db.exec(recordingSearchRefresh(QString::number(recordingID))))
        return failed();
    for (const QString &trigger : std::as_const(searchTriggers)) {
        if (!db.exec(trigger))
            return failed();
    }
    if (!db.exec(QStringLiteral("COMMIT")))
        return failed();
    return true;
}

} // namespace murmelo
