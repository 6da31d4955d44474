#include "library/RecordingSearch.h"

#include "library/StoreContext.h"
#include "platform/SystemLog.h"

#include <QRegularExpression>
#include <algorithm>
#include <numeric>
#include <vector>

namespace murmelo {

namespace {
QStringList typedWords(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[\\s\"*^:()+\\-]+"));
    return text.split(separators, Qt::SkipEmptyParts);
}

// What a typed word counts for where it begins a word: a title outweighs a message, a message a
// marker.
constexpr int kTitleWeight = 10;
constexpr int kMessageWeight = 4;
constexpr int kMarkerWeight = 1;

// The row ids a statement yields, in its order; `ok` turns false when the file cannot be read.
QList<qint64> rowIds(SqliteDatabase &db, const QString &sql, const QString &match, bool &ok)
{
    SqliteStatement statement = db.prepare(sql);
    if (!match.isEmpty())
        statement.bind(1, match);
    QList<qint64> ids;
    int rc;
    while ((rc = statement.step()) == SQLITE_ROW)
        ids << statement.columnInt64(0);
    ok = ok && rc == SQLITE_DONE;
    return ids;
}

// The recordings where `word` begins a word of one column, by row id.
QList<qint64> inColumn(SqliteDatabase &db, const QString &column, const QString &word, bool &ok)
{
    return rowIds(db,
                  QStringLiteral("SELECT rowid FROM recording_search WHERE recording_search"
                                 " MATCH ?1 ORDER BY rowid"),
                  QStringLiteral("{%1} : \"%2\"*").arg(column, word), ok);
}

// The matches best first: each typed word adds the weight of the weightiest column it is found
// in, and equal scores keep their newest-first order. Only the title and message are looked up;
// a word found in neither is in a marker, or the recording would not match.
QList<qint64> bestFirst(SqliteDatabase &db, const QList<qint64> &newestFirst,
                        const QStringList &words, bool &ok)
{
    std::vector<int> score(size_t(newestFirst.size()), 0);
    for (const QString &word : words) {
        const QList<qint64> title = inColumn(db, QStringLiteral("name"), word, ok);
        const QList<qint64> message = inColumn(db, QStringLiteral("message"), word, ok);
        for (qsizetype i = 0; i < newestFirst.size(); ++i) {
            const qint64 id = newestFirst[i];
            score[size_t(i)] += std::binary_search(title.begin(), title.end(), id) ? kTitleWeight
                                : std::binary_search(message.begin(), message.end(), id)
                                    ? kMessageWeight
                                    : kMarkerWeight;
        }
    }
    std::vector<qsizetype> order(score.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](qsizetype a, qsizetype b) { return score[size_t(a)] > score[size_t(b)]; });
    QList<qint64> ids;
    ids.reserve(newestFirst.size());
    for (const qsizetype i : order)
        ids << newestFirst[i];
    return ids;
}
} // namespace

QString RecordingSearch::matchExpression(const QString &text)
{
    QStringList terms;
    for (const QString &word : typedWords(text))
        terms << QLatin1Char('"') + word + QStringLiteral("\"*");
    return terms.join(u' ');
}

QList<qint64> RecordingSearch::search(const QString &text, StoreError *error)
{
    const auto fail = [&](StoreError::Code code, const QString &why) {
        systemLog(QStringLiteral("Library: search failed: %1").arg(why));
        if (error)
            *error = {code, why, {}};
        return QList<qint64>();
    };
    if (!context_.hasStore())
        return fail(StoreError::NoStore, context_.openError().description);
    SqliteDatabase &db = context_.database();
    const QString expression = matchExpression(text);
    bool ok = true;
    QList<qint64> ids =
        expression.isEmpty()
            ? rowIds(db, QStringLiteral("SELECT id FROM recording ORDER BY date DESC, id DESC"), {},
                     ok)
            : rowIds(db,
                     QStringLiteral(
                         "SELECT s.rowid FROM recording_search s JOIN recording r ON r.id = s.rowid"
                         " WHERE recording_search MATCH ?1 ORDER BY r.date DESC, r.id DESC"),
                     expression, ok);
    if (ok && ids.size() > 1)
        ids = bestFirst(db, ids, typedWords(text), ok);
    if (!ok)
        return fail(StoreError::Corrupt, db.lastError());
    return ids;
}

} // namespace murmelo
