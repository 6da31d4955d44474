#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace murmelo {

// The shape of the store, described in code: entities, their attributes with stored types, the
// schema version written to the file, and the steps that bring an older file up to date.
enum class AttributeType { String, DateTime, Float, Boolean, Data };

struct AttributeDescription {
    QString name;
    AttributeType type;
};

struct EntityDescription {
    QString name;  // "Recording"
    QString table; // SQL table holding it; row ids are the records' identities
    QList<AttributeDescription> attributes;
    QStringList indexedAttributes;

    // Index of the attribute in `attributes`, or -1.
    int indexOf(const QString &attribute) const;
};

// Upgrades a file from `fromVersion` to `fromVersion + 1`. The statements are fixed text.
struct SchemaMigration {
    int fromVersion;
    QStringList statements;
};

struct StoreSchema {
    int version;
    QList<EntityDescription> entities;
    QList<SchemaMigration> migrations;
    // Tables, indexes and triggers beyond the entities' own (phrase markers), made with a new
    // store.
    QStringList extraStatements;

    const EntityDescription *entity(const QString &name) const;
    // Statements that create an empty store of this version (tables and indexes).
    QStringList creationStatements() const;
};

// The application's store. Version 1 had no `isImported` and no `playing`; version 2 added them
// and an index on `date` for the newest-first list; version 3 never reuses a record's id;
// version 4 adds the phrase markers a recording owns; version 5 a search index over titles,
// messages and marker texts; version 6 gives that index tables of the words' first letters.
const StoreSchema &recordingStoreSchema();

// The statements that rebuild one recording's row of the search index from its title, message
// and markers; `recordingID` is an SQL expression (a number, NEW.id in a trigger).
QString recordingSearchRefresh(const QString &recordingID);

} // namespace murmelo
