#pragma once

// The SQL side of the key store, shared by its files: the schema and its
// checks, statements and transactions, key and value rows, and hive files.
// Internal to the platform library.
#include "platform/sqlite_library.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

#include "platform/key_store.h"

namespace velmar::keystore_sql {

// Long enough to ride out another process's commit, short enough that a
// stuck peer shows up as an error rather than a hung meter.
inline constexpr int kBusyTimeoutMs = 2000;

inline constexpr KeyStore::KeyId kLocalMachineId = 1;
inline constexpr KeyStore::KeyId kCurrentUserId = 2;

inline constexpr char kFormat[] = "velmar-registry";
inline constexpr qint64 kVersion = 1;
inline constexpr char kKindStore[] = "store";
inline constexpr char kKindHive[] = "hive";

// Compared verbatim with sqlite_master, so a file is accepted only when its
// tables are exactly these. AUTOINCREMENT keeps key ids from being reused, so
// an id held by an accessor whose key was deleted cannot end up naming a new,
// unrelated key. Values are a rowid table so rowid order is creation order.
inline constexpr const char* kTables[][2] = {
    {"meta", "CREATE TABLE meta(name TEXT PRIMARY KEY NOT NULL, value NOT NULL)"},
    {"keys",
     "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER, "
     "name TEXT NOT NULL, folded TEXT NOT NULL, UNIQUE(parent, folded))"},
    {"vals",
     "CREATE TABLE vals(key INTEGER NOT NULL, name TEXT NOT NULL, folded TEXT NOT NULL, "
     "type INTEGER NOT NULL, data, UNIQUE(key, folded))"},
};

QString Fold(const QString& name);
QString DbFile(sqlite3* db);
[[noreturn]] void Raise(sqlite3* db, const QString& what);
void Exec(sqlite3* db, const char* sql);

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (Sqlite().prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
      Raise(db_, QStringLiteral("cannot run a query"));
    }
  }
  ~Statement() { Sqlite().finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& BindInt(int index, qint64 value) {
    Check(Sqlite().bind_int64(stmt_, index, value));
    return *this;
  }
  Statement& BindText(int index, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    Check(Sqlite().bind_text(stmt_, index, utf8.constData(), utf8.size(), SQLITE_TRANSIENT));
    return *this;
  }
  Statement& BindNull(int index) {
    Check(Sqlite().bind_null(stmt_, index));
    return *this;
  }
  Statement& BindValue(int index, const StoredValue& value) {
    switch (value.type) {
      case ValueKind::kText:
        return BindText(index, value.text);
      case ValueKind::kInteger:
        return BindInt(index, value.integer);
      case ValueKind::kBytes:
        // A null pointer would bind NULL; an empty value must stay a blob.
        Check(value.binary.isEmpty() ? Sqlite().bind_zeroblob(stmt_, index, 0)
                                     : Sqlite().bind_blob(stmt_, index, value.binary.constData(),
                                                          value.binary.size(), SQLITE_TRANSIENT));
        return *this;
      case ValueKind::kNone:
        break;
    }
    throw KeyStoreError(QStringLiteral("Registry '%1': unknown value type %2")
                            .arg(DbFile(db_))
                            .arg(int(value.type)));
  }

  // True while there is a row.
  bool Step() {
    const int rc = Sqlite().step(stmt_);
    if (rc == SQLITE_ROW) {
      return true;
    }
    if (rc == SQLITE_DONE) {
      return false;
    }
    Raise(db_, QString::fromUtf8(Sqlite().sql(stmt_)));
  }
  void Run() {
    while (Step()) {
    }
  }

  // Ready to run again with new parameters.
  void Reset() {
    Sqlite().reset(stmt_);
    Sqlite().clear_bindings(stmt_);
  }
  int Type(int col) const { return Sqlite().column_type(stmt_, col); }
  qint64 Int(int col) const { return Sqlite().column_int64(stmt_, col); }
  QString Text(int col) const {
    const auto* text = reinterpret_cast<const char*>(Sqlite().column_text(stmt_, col));
    return QString::fromUtf8(text, Sqlite().column_bytes(stmt_, col));
  }
  QByteArray Blob(int col) const {
    const auto* data = static_cast<const char*>(Sqlite().column_blob(stmt_, col));
    return QByteArray(data, Sqlite().column_bytes(stmt_, col));
  }

  // The value in columns `typeCol` and `typeCol + 1`; empty when the row is
  // not a well-typed value.
  std::optional<StoredValue> Value(int typeCol) const {
    if (Type(typeCol) != SQLITE_INTEGER) {
      return std::nullopt;
    }
    const int dataCol = typeCol + 1;
    const qint64 stored = Int(typeCol);
    if (stored < INT32_MIN || stored > INT32_MAX) {
      return std::nullopt;
    }
    switch (static_cast<ValueKind>(stored)) {
      case ValueKind::kText:
        if (Type(dataCol) == SQLITE_TEXT) {
          return StoredValue::String(Text(dataCol));
        }
        break;
      case ValueKind::kInteger:
        if (Type(dataCol) == SQLITE_INTEGER) {
          const qint64 number = Int(dataCol);
          if (number >= INT32_MIN && number <= INT32_MAX) {
            return StoredValue::Integer(qint32(number));
          }
        }
        break;
      case ValueKind::kBytes:
        if (Type(dataCol) == SQLITE_BLOB) {
          return StoredValue::Binary(Blob(dataCol));
        }
        break;
      case ValueKind::kNone:
        break;
    }
    return std::nullopt;
  }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK) {
      Raise(db_, QStringLiteral("cannot bind a parameter"));
    }
  }

  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN IMMEDIATE takes the write lock up front, where the busy timeout
// applies; a deferred transaction upgrading from read to write in WAL mode
// fails at once with SQLITE_BUSY when another process committed meanwhile.
class WriteTransaction {
 public:
  explicit WriteTransaction(sqlite3* db) : db_(db) { Exec(db_, "BEGIN IMMEDIATE"); }
  ~WriteTransaction() {
    if (!done_) {
      Sqlite().exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
  }
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;

  void Commit() {
    Exec(db_, "COMMIT");
    done_ = true;
  }

 private:
  sqlite3* db_;
  bool done_ = false;
};

// Makes several reads see one snapshot.
class ReadTransaction {
 public:
  explicit ReadTransaction(sqlite3* db) : db_(db) { Exec(db_, "BEGIN"); }
  ~ReadTransaction() { Sqlite().exec(db_, "COMMIT", nullptr, nullptr, nullptr); }
  ReadTransaction(const ReadTransaction&) = delete;
  ReadTransaction& operator=(const ReadTransaction&) = delete;

 private:
  sqlite3* db_;
};

// Closes a connection that has not been handed over yet.
struct Connection {
  sqlite3* db = nullptr;
  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection() {
    if (db != nullptr) {
      Sqlite().close_v2(db);
    }
  }
  sqlite3* Release() { return std::exchange(db, nullptr); }
};

// Key and value rows.
KeyStore::KeyId RootId(KeyRoot root);
std::optional<KeyStore::KeyId> FindChild(sqlite3* db, KeyStore::KeyId parent, const QString& name);
std::optional<KeyStore::KeyId> FindKey(sqlite3* db, KeyRoot root, const QStringList& parts);
bool KeyRowExists(sqlite3* db, KeyStore::KeyId key);
KeyStore::KeyId InsertKey(sqlite3* db, std::optional<KeyStore::KeyId> parent, const QString& name);
KeyStore::KeyId CreateKey(sqlite3* db, KeyRoot root, const QStringList& parts);
void InsertValue(sqlite3* db, KeyStore::KeyId key, const QString& name, const StoredValue& value);
void DeleteTree(sqlite3* db, KeyStore::KeyId key, bool keepKey);

// A subtree in memory, parents before children; keys[0] is its top.
struct Subtree {
  struct Key {
    QString name;
    int parent;  // index into keys; -1 for the top
  };
  struct Value {
    int key;  // index into keys
    QString name;
    StoredValue value;
  };
  std::vector<Key> keys;
  std::vector<Value> values;
};

QString Digest(const Subtree& tree);
Subtree ReadSubtree(sqlite3* db, KeyStore::KeyId top);

// The schema, its checks and the connection's settings.
void CheckIntegrity(sqlite3* db, const char* pragma);
int TableCount(sqlite3* db);
void CheckSchema(sqlite3* db, const char* kind);
void WriteMeta(sqlite3* db, const char* kind);
void CreateTables(sqlite3* db, const char* kind);
void PrepareConnection(sqlite3* db);
bool EnableWal(sqlite3* db);

// Hive files: a standalone file holding one subtree.
Subtree LoadHive(const QString& file);
void WriteHive(const QString& file, const Subtree& tree);

}  // namespace velmar::keystore_sql
