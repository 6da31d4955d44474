#include "screens/playback/MarkerSteps.h"

#include "library/PhraseMarkerStore.h"
#include "library/Recording.h"
#include "library/StoreContext.h"
#include "screens/playback/MarkerEditor.h"

#include <QCoreApplication>

namespace murmelo {

namespace {

QString stepName(UnstoredMarkerStep::Kind kind)
{
    switch (kind) {
    case UnstoredMarkerStep::Add:
        return QCoreApplication::translate("EditHistory", "Add Marker");
    case UnstoredMarkerStep::Delete:
        return QCoreApplication::translate("EditHistory", "Delete Marker");
    case UnstoredMarkerStep::Move:
        return QCoreApplication::translate("EditHistory", "Move Marker");
    case UnstoredMarkerStep::Nudge:
        return QCoreApplication::translate("EditHistory", "Nudge Marker");
    case UnstoredMarkerStep::Text:
        break;
    }
    return QCoreApplication::translate("EditHistory", "Change Marker Text");
}

} // namespace

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
    : MarkerStep(stepName(kind == Add ? UnstoredMarkerStep::Add : UnstoredMarkerStep::Delete),
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
    : MarkerStep(stepName(kind == Move    ? UnstoredMarkerStep::Move
                          : kind == Nudge ? UnstoredMarkerStep::Nudge
                                          : UnstoredMarkerStep::Text),
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

UnstoredMarkerStep::UnstoredMarkerStep(Kind kind, MarkerEditor &editor, int index,
                                       std::optional<PhraseMarker> before,
                                       std::optional<PhraseMarker> after)
    : EditStep(stepName(kind)), kind_(kind), editor_(editor), index_(index),
      before_(std::move(before)), after_(std::move(after))
{
}

bool UnstoredMarkerStep::mergeWith(const QUndoCommand *other)
{
    const auto *next = static_cast<const UnstoredMarkerStep *>(other);
    if (next->kind_ != Nudge || next->index_ != index_ || next->before_ != after_)
        return false;
    after_ = next->after_;
    return true;
}

QString UnstoredMarkerStep::problem(const std::optional<PhraseMarker> &expected) const
{
    // The text open belongs to a row the step would move under it.
    if (editor_.editing() >= 0)
        return QCoreApplication::translate("EditHistory", "A marker's text is still open.");
    const QList<PhraseMarker> &markers = editor_.markers();
    const bool found = expected ? editor_.contains(index_) && markers[index_] == *expected
                                : index_ >= 0 && index_ <= markers.size();
    return found ? QString()
                 : QCoreApplication::translate("EditHistory", "The marker is no longer there.");
}

bool UnstoredMarkerStep::put(const std::optional<PhraseMarker> &from,
                             const std::optional<PhraseMarker> &to, QString *why)
{
    if (*why = problem(from); !why->isEmpty())
        return false;
    QList<PhraseMarker> markers = editor_.markers();
    if (from && to)
        markers[index_] = *to;
    else if (to)
        markers.insert(index_, *to);
    else
        markers.removeAt(index_);
    editor_.replace(std::move(markers));
    return true;
}

} // namespace murmelo
