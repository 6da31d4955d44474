#include "library/MarkerWordsStore.h"

#include "library/StoreContext.h"
#include "platform/SystemLog.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>

namespace murmelo {

namespace {
double milliseconds(double seconds)
{
    return std::round(seconds * 1000) / 1000;
}
} // namespace

QByteArray MarkerWordsStore::encode(const QList<SpokenWord> &words)
{
    QJsonArray list;
    for (const SpokenWord &word : words)
        list.append(QJsonArray{word.text, milliseconds(word.start), milliseconds(word.end)});
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

std::optional<QList<SpokenWord>> MarkerWordsStore::decode(const QByteArray &text)
{
    QJsonParseError problem{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &problem);
    if (problem.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<SpokenWord> words;
    for (const QJsonValue &entry : document.array()) {
        const QJsonArray fields = entry.toArray();
        if (fields.size() != 3 || !fields[0].isString() || !fields[1].isDouble() ||
            !fields[2].isDouble())
            return std::nullopt;
        words << SpokenWord{fields[0].toString(), fields[1].toDouble(), fields[2].toDouble()};
    }
    return words;
}

bool MarkerWordsStore::fail(StoreError *error, StoreError::Code code, const QString &description)
{
    systemLog(QStringLiteral("Library: %1").arg(description));
    if (error)
        *error = {code, description, {}};
    return false;
}

QHash<qint64, QList<SpokenWord>> MarkerWordsStore::words(qint64 recordingID, StoreError *error)
{
    if (!context_.hasStore()) {
        fail(error, StoreError::NoStore, context_.openError().description);
        return {};
    }
    SqliteDatabase &db = context_.database();
    SqliteStatement statement =
        db.prepare(QStringLiteral("SELECT id, forwardWords FROM marker WHERE recordingId = ?1"
                                  " AND forwardWords IS NOT NULL"));
    statement.bind(1, recordingID);
    QHash<qint64, QList<SpokenWord>> result;
    int rc;
    while ((rc = statement.step()) == SQLITE_ROW) {
        // Words that no longer read are recognised again rather than shown wrong.
        if (const auto words = decode(statement.columnText(1).toUtf8()))
            result.insert(statement.columnInt64(0), *words);
    }
    if (rc != SQLITE_DONE) {
        fail(error, StoreError::Corrupt, db.lastError());
        return {};
    }
    return result;
}

bool MarkerWordsStore::setWords(qint64 markerID, FrameRange stretch, const QList<SpokenWord> &words,
                                StoreError *error)
{
    if (!context_.hasStore())
        return fail(error, StoreError::NoStore, context_.openError().description);
    SqliteDatabase &db = context_.database();
    SqliteStatement statement = db.prepare(
        QStringLiteral("UPDATE marker SET forwardWords = ?1 WHERE id = ?2 AND startFrame = ?3"
                       " AND endFrame = ?4"));
    statement.bind(1, QString::fromUtf8(encode(words)));
    statement.bind(2, markerID);
    statement.bind(3, stretch.start);
    statement.bind(4, stretch.end);
    if (!statement.exec())
        return fail(error, StoreError::WriteFailed,
                    QCoreApplication::translate("Store", "The forward words could not be saved: %1")
                        .arg(db.lastError()));
    if (sqlite3_changes(db.handle()) == 0)
        return fail(error, StoreError::BadRequest,
                    QCoreApplication::translate("Store", "The marker %1 has changed or is gone.")
                        .arg(markerID));
    return true;
}

} // namespace murmelo
