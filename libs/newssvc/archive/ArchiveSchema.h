// The archive's tables, and the steps that bring a file of any earlier layout to the current one. The
// layout's number is kept in PRAGMA user_version.
#pragma once

#include "libs/newssvc/archive/Sqlite.h"

namespace newssvc {

constexpr int kArchiveSchemaVersion = 3;

enum class SchemaResult {
  kCurrent,  // the file has (now) the current layout
  kNewer,    // the file comes from a later version of the service: left as it is
  kFailed,   // a step failed (locked, read-only, full): nothing changed, try again later
};

// Brings the file to the current layout, each step in a transaction of its own.
SchemaResult MigrateSchema(CSqliteDb& db);

}  // namespace newssvc
