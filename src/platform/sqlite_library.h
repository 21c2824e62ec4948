#pragma once

// SQLite loaded at run time rather than linked: a program maps its 1.3 MB
// only while it holds the library, so the window can let it go between its
// uses of the key store (KeyStore::Unload).
#include <sqlite3.h>

#include <memory>

namespace velmar {

// clang-format off
#define VELMAR_SQLITE_ENTRIES(X)                                                          \
  X(bind_blob) X(bind_int64) X(bind_null) X(bind_text) X(bind_zeroblob) X(busy_timeout)  \
  X(changes) X(clear_bindings) X(close) X(close_v2) X(column_blob) X(column_bytes)       \
  X(column_int64) X(column_text) X(column_type) X(db_filename) X(errmsg) X(errstr)       \
  X(exec) X(extended_result_codes) X(finalize) X(last_insert_rowid) X(open_v2)           \
  X(prepare_v2) X(reset) X(sql) X(step)
// clang-format on

struct SqliteEntries {
#define VELMAR_SQLITE_FIELD(name) decltype(&::sqlite3_##name) name = nullptr;
  VELMAR_SQLITE_ENTRIES(VELMAR_SQLITE_FIELD)
#undef VELMAR_SQLITE_FIELD
};

// Keeps the library loaded while any holder lives; the last one to go
// unloads it.
using SqliteHold = std::shared_ptr<const SqliteEntries>;

// Loads the library, or shares the load already held. Raises KeyStoreError
// when it cannot be loaded or lacks an entry.
SqliteHold HoldSqlite();

// The entries; only valid while a hold is alive.
const SqliteEntries& Sqlite();

}  // namespace velmar
