#pragma once

#include "library/SqliteDatabase.h"
#include "library/StoreError.h"
#include "library/StoreSchema.h"

namespace murmelo {

// Opens the store file and brings it to the schema's version. An older file is migrated in one
// transaction; a newer, foreign or damaged file is refused before anything is written to it, so
// the user's data stays as it was for a later version (or a repair) to read.
StoreError openStoreFile(SqliteDatabase &db, const QString &path, const StoreSchema &schema);

} // namespace murmelo
