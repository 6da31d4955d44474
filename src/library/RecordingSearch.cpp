#include "library/RecordingSearch.h"

#include "library/StoreContext.h"
#include "platform/SystemLog.h"

#include <QRegularExpression>
#include <algorithm>

namespace murmelo {

namespace {
QStringList typedWords(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[\\s\"*^:()+\\-]+"));
    return text.split(separators, Qt::SkipEmptyParts);
}
} // namespace

QString RecordingSearch::matchExpression(const QString &text)
{
    QStringList terms;
    for (const QString &word : typedWords(text))
        terms << QLatin1Char('"') + word + QStringLiteral("\"*");
    return terms.join(u' ');
}

bool RecordingSearch::ranks(const QString &text)
{
    const QStringList words = typedWords(text);
    return std::any_of(words.begin(), words.end(),
                       [](const QString &word) { return word.size() >= 2; });
}

QList<qint64> RecordingSearch::search(const QString &text, StoreError *error)
{
    const auto fail = [&](StoreError::Code code, const QString &why) {
        systemLog(QStringLiteral("Library: search failed: %1").arg(why));
        if (error)
            *error = {code, why, {}};
        return QList<qint64>();
    };
    if (!m_context.hasStore())
        return fail(StoreError::NoStore, m_context.openError().description);
    SqliteDatabase &db = m_context.database();
    const QString expression = matchExpression(text);
    // bm25 is smaller for better matches; its weights follow the column order.
    SqliteStatement statement =
        expression.isEmpty()
            ? db.prepare(QStringLiteral("SELECT id FROM recording ORDER BY date DESC, id DESC"))
        : ranks(text)
            ? db.prepare(QStringLiteral(
                  "SELECT s.rowid FROM recording_search s JOIN recording r ON r.id = s.rowid"
                  " WHERE recording_search MATCH ?1"
                  " ORDER BY bm25(recording_search, 10.0, 4.0, 1.0), r.date DESC, r.id DESC"))
            : db.prepare(QStringLiteral(
                  "SELECT s.rowid FROM recording_search s JOIN recording r ON r.id = s.rowid"
                  " WHERE recording_search MATCH ?1 ORDER BY r.date DESC, r.id DESC"));
    if (!expression.isEmpty())
        statement.bind(1, expression);
    QList<qint64> ids;
    int rc;
    while ((rc = statement.step()) == SQLITE_ROW)
        ids << statement.columnInt64(0);
    if (rc != SQLITE_DONE)
        return fail(StoreError::Corrupt, db.lastError());
    return ids;
}

} // namespace murmelo
