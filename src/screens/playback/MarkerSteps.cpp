#include "screens/playback/MarkerSteps.h"

#include "library/PhraseMarkerStore.h"
#include "library/Recording.h"
#include "library/StoreContext.h"

#include <QCoreApplication>

namespace murmelo {

QString MarkerStep::recordingProblem() const
{
    if (!store_.hasStore())
        return store_.openError().description;
    if (!store_.objectWithID(Recording::entityName(), recordingID_))
        return QCoreApplication::translate("EditHistory",
                                           "The recording is no longer in the library.");
    return {};
}

MarkerPresenceStep::MarkerPresenceStep(Kind kind, StoreContext &store, qint64 recordingID,
                                       qint64 markerID)
    : MarkerStep(kind == Add ? QCoreApplication::translate("EditHistory", "Add Marker")
                             : QCoreApplication::translate("EditHistory", "Delete Marker"),
                 store, recordingID),
      kind_(kind), markerID_(markerID)
{
}

bool MarkerPresenceStep::takeAway(QString *why)
{
    SqliteDatabase &db = store_.database();
    StoreTransaction transaction(db);
    if (!transaction.isOpen()) {
        *why = db.failureReason();
        return false;
    }
    // Read at the moment it goes, so what was stored with it since comes back too.
    QString reason;
    auto rows = StoreRows::ofMarker(db, markerID_, &reason);
    if (!rows) {
        *why = reason.isEmpty()
                   ? QCoreApplication::translate("EditHistory", "The marker is no longer there.")
                   : reason;
        return false;
    }
    if (!rows->remove(db, why) || !transaction.commit(why))
        return false;
    rows_ = std::move(*rows);
    return true;
}

bool MarkerPresenceStep::bringBack(QString *why)
{
    SqliteDatabase &db = store_.database();
    StoreTransaction transaction(db);
    if (!transaction.isOpen()) {
        *why = db.failureReason();
        return false;
    }
    return rows_.insert(db, why) && transaction.commit(why);
}

MarkerChangeStep::MarkerChangeStep(Kind kind, StoreContext &store, qint64 recordingID,
                                   const PhraseMarker &before, const PhraseMarker &after)
    : MarkerStep(kind == Move    ? QCoreApplication::translate("EditHistory", "Move Marker")
                 : kind == Nudge ? QCoreApplication::translate("EditHistory", "Nudge Marker")
                                 : QCoreApplication::translate("EditHistory", "Change Marker Text"),
                 store, recordingID),
      kind_(kind), before_(before), after_(after)
{
}

bool MarkerChangeStep::mergeWith(const QUndoCommand *other)
{
    const auto *next = static_cast<const MarkerChangeStep *>(other);
    if (next->kind_ != Nudge || next->before_.id != after_.id)
        return false;
    after_ = next->after_;
    return true;
}

bool MarkerChangeStep::write(const PhraseMarker &marker, QString *why)
{
    // One statement: a transaction of its own.
    StoreError error;
    if (PhraseMarkerStore(store_).updateMarker(marker, &error))
        return true;
    *why = error.description;
    return false;
}

} // namespace murmelo
