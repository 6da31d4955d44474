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
    return statements;
}

const StoreSchema &recordingStoreSchema()
{
    static const StoreSchema schema{
        3,
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
           QStringLiteral("CREATE INDEX recording_date ON recording (date)")}}}};
    return schema;
}

} // namespace murmelo
