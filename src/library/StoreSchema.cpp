#include "library/StoreSchema.h"

namespace murmelo {

namespace {
QString sqlType(AttributeType type)
{
    switch (type) {
    case AttributeType::String:
        return QStringLiteral("TEXT");
    case AttributeType::DateTime: // milliseconds since the epoch, UTC
    case AttributeType::Boolean:
        return QStringLiteral("INTEGER");
    case AttributeType::Float:
        return QStringLiteral("REAL");
    case AttributeType::Data:
        return QStringLiteral("BLOB");
    }
    return {};
}
} // namespace

int EntityDescription::indexOf(const QString &attribute) const
{
    for (int i = 0; i < attributes.size(); ++i) {
        if (attributes[i].name == attribute)
            return i;
    }
    return -1;
}

const EntityDescription *StoreSchema::entity(const QString &name) const
{
    for (const auto &e : entities) {
        if (e.name == name)
            return &e;
    }
    return nullptr;
}

QStringList StoreSchema::creationStatements() const
{
    QStringList statements;
    for (const auto &e : entities) {
        // AUTOINCREMENT: a plain rowid table hands the id of a deleted newest row to the next
        // insert, and an identity given out earlier (a listed URI, a command's argument) would
        // then name another recording.
        QStringList columns{QStringLiteral("id INTEGER PRIMARY KEY AUTOINCREMENT")};
        for (const auto &a : e.attributes)
            columns << a.name + QLatin1Char(' ') + sqlType(a.type);
        statements << QStringLiteral("CREATE TABLE %1 (%2)").arg(e.table, columns.join(u", "));
        for (const auto &a : e.indexedAttributes)
            statements << QStringLiteral("CREATE INDEX %1_%2 ON %1 (%2)").arg(e.table, a);
    }
    return statements + extraStatements;
}

QString recordingSearchRefresh(const QString &recordingID)
{
    return QStringLiteral("DELETE FROM recording_search WHERE rowid = %1;"
                          " INSERT INTO recording_search (rowid, name, message, markers)"
                          " SELECT id, name, message, (SELECT group_concat(text, ' ') FROM marker"
                          " WHERE recordingId = recording.id) FROM recording WHERE id = %1;")
        .arg(recordingID);
}

namespace {
// Phrase markers as version 4 made them. A marker is a stretch of whole frames [startFrame,
// endFrame) on the reversal's time line, with the text the user heard there. The triggers keep
// markers and recordings in step without relying on the connection's foreign-key setting: a
// marker cannot name a missing recording, and deleting a recording deletes its markers in the
// same transaction.
QStringList versionFourMarkers()
{
    return {QStringLiteral("CREATE TABLE marker (id INTEGER PRIMARY KEY AUTOINCREMENT,"
                           " recordingId INTEGER NOT NULL, startFrame INTEGER NOT NULL,"
                           " endFrame INTEGER NOT NULL, text TEXT NOT NULL DEFAULT '',"
                           " CHECK (startFrame >= 0 AND endFrame >= startFrame))"),
            QStringLiteral("CREATE INDEX marker_recordingId ON marker (recordingId, startFrame)"),
            QStringLiteral("CREATE TRIGGER marker_needs_recording BEFORE INSERT ON marker"
                           " WHEN NOT EXISTS (SELECT 1 FROM recording WHERE id = NEW.recordingId)"
                           " BEGIN SELECT RAISE(ABORT, 'no such recording'); END"),
            QStringLiteral("CREATE TRIGGER recording_deletes_markers AFTER DELETE ON recording"
                           " BEGIN DELETE FROM marker WHERE recordingId = OLD.id; END")};
}

// The search index: one row per recording (same rowid) with its title, message and the text of
// all its markers. Words are matched with accents and case folded. Version 6 adds tables of the
// words' first one and two letters, so that the first letters typed find their matches without
// going through every word that begins with them.
QString searchTable(bool prefixTables)
{
    return QStringLiteral("CREATE VIRTUAL TABLE recording_search USING fts5(name, message, markers,"
                          " tokenize = 'unicode61 remove_diacritics 2'%1)")
        .arg(prefixTables ? QStringLiteral(", prefix = '1 2'") : QString());
}

QString fillSearch()
{
    return QStringLiteral("INSERT INTO recording_search (rowid, name, message, markers)"
                          " SELECT id, name, message, (SELECT group_concat(text, ' ') FROM marker"
                          " WHERE recordingId = recording.id) FROM recording");
}

// The index of version 5, and the triggers that keep it in step with every write to the two
// tables, inside the writing transaction.
QStringList versionFiveSearch(bool prefixTables)
{
    const auto refresh = [](const char *id) { return recordingSearchRefresh(QLatin1String(id)); };
    const auto trigger = [](const QString &name, const QString &when, const QString &body) {
        return QStringLiteral("CREATE TRIGGER %1 %2 BEGIN %3 END").arg(name, when, body);
    };
    return {
        searchTable(prefixTables),
        fillSearch(),
        trigger(QStringLiteral("recording_search_insert"),
                QStringLiteral("AFTER INSERT ON recording"), refresh("NEW.id")),
        trigger(QStringLiteral("recording_search_update"),
                QStringLiteral("AFTER UPDATE OF name, message ON recording"), refresh("NEW.id")),
        trigger(QStringLiteral("recording_search_delete"),
                QStringLiteral("AFTER DELETE ON recording"),
                QStringLiteral("DELETE FROM recording_search WHERE rowid = OLD.id;")),
        trigger(QStringLiteral("marker_search_insert"), QStringLiteral("AFTER INSERT ON marker"),
                refresh("NEW.recordingId")),
        trigger(QStringLiteral("marker_search_update"), QStringLiteral("AFTER UPDATE ON marker"),
                refresh("OLD.recordingId") + refresh("NEW.recordingId")),
        trigger(QStringLiteral("marker_search_delete"), QStringLiteral("AFTER DELETE ON marker"),
                refresh("OLD.recordingId"))};
}

// Version 7 keeps the words said forward under each marker (see MarkerWordsStore); NULL until
// they are recognised, so every row from before stays as it was.
QStringList versionSevenWords()
{
    return {QStringLiteral("ALTER TABLE marker ADD COLUMN forwardWords TEXT")};
}

// The triggers name the index by name only, so they keep working on the table made anew.
QStringList versionSixPrefixTables()
{
    return {QStringLiteral("DROP TABLE recording_search"), searchTable(true), fillSearch()};
}
} // namespace

const StoreSchema &recordingStoreSchema()
{
    static const StoreSchema schema{
        7,
        {{QStringLiteral("Recording"),
          QStringLiteral("recording"),
          {{QStringLiteral("name"), AttributeType::String},
           {QStringLiteral("message"), AttributeType::String},
           {QStringLiteral("date"), AttributeType::DateTime},
           {QStringLiteral("audioPath"), AttributeType::String},
           {QStringLiteral("reverseAudioPath"), AttributeType::String},
           {QStringLiteral("speed"), AttributeType::Float},
           {QStringLiteral("isImported"), AttributeType::Boolean},
           {QStringLiteral("playing"), AttributeType::Boolean},
           {QStringLiteral("waveformImageData"), AttributeType::Data}},
          {QStringLiteral("date")}}},
        {{1,
          {QStringLiteral("ALTER TABLE recording ADD COLUMN isImported INTEGER"),
           QStringLiteral("ALTER TABLE recording ADD COLUMN playing INTEGER"),
           QStringLiteral("CREATE INDEX IF NOT EXISTS recording_date ON recording (date)")}},
         // SQLite cannot add AUTOINCREMENT to a table, so it is rebuilt with every row under its
         // own id. The copy's explicit ids raise sqlite_sequence to the highest one present;
         // the id of a newest row deleted before this step is not known to the file any more.
         // The table is spelled out, not derived from the entity, so a later version that adds
         // a column still finds this step creating exactly the version-3 table.
         {2,
          {QStringLiteral("CREATE TABLE recording_v3 (id INTEGER PRIMARY KEY AUTOINCREMENT,"
                          " name TEXT, message TEXT, date INTEGER, audioPath TEXT,"
                          " reverseAudioPath TEXT, speed REAL, isImported INTEGER,"
                          " playing INTEGER, waveformImageData BLOB)"),
           QStringLiteral("INSERT INTO recording_v3 (id, name, message, date, audioPath,"
                          " reverseAudioPath, speed, isImported, playing, waveformImageData)"
                          " SELECT id, name, message, date, audioPath, reverseAudioPath, speed,"
                          " isImported, playing, waveformImageData FROM recording ORDER BY id"),
           QStringLiteral("DROP TABLE recording"),
           QStringLiteral("ALTER TABLE recording_v3 RENAME TO recording"),
           QStringLiteral("CREATE INDEX recording_date ON recording (date)")}},
         {3, versionFourMarkers()},
         {4, versionFiveSearch(false)},
         {5, versionSixPrefixTables()},
         {6, versionSevenWords()}},
        versionFourMarkers() + versionFiveSearch(true) + versionSevenWords()};
    return schema;
}

} // namespace murmelo
