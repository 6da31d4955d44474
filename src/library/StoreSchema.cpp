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
        QStringList columns{QStringLiteral("id INTEGER PRIMARY KEY")};
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
        2,
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
           QStringLiteral("CREATE INDEX IF NOT EXISTS recording_date ON recording (date)")}}}};
    return schema;
}

} // namespace murmelo
