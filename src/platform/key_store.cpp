#include "key_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace velmar {

// Durability: the store runs in WAL mode with synchronous=NORMAL. A commit
// appends its frames to the -wal file with write(2) before sqlite3_step()
// returns, so once a write call has returned its data is in the kernel's page
// cache, which outlives the process: SIGKILL, a crash or _exit cannot lose it,
// and the next opener replays the WAL. Only a power cut or kernel crash may
// drop the last few commits (never corrupting the file); settings do not
// justify an fsync per write. WAL also lets a second meter read while the
// first writes. Where WAL is unavailable the store falls back to the rollback
// journal with synchronous=FULL, which is durable in every case.

namespace {

// Long enough to ride out another process's commit, short enough that a
// stuck peer shows up as an error rather than a hung meter.
constexpr int kBusyTimeoutMs = 2000;

constexpr KeyStore::KeyId kLocalMachineId = 1;
constexpr KeyStore::KeyId kCurrentUserId = 2;

const char kFormat[] = "velmar-registry";
constexpr qint64 kVersion = 1;
const char kKindStore[] = "store";
const char kKindHive[] = "hive";

// Compared verbatim with sqlite_master, so a file is accepted only when its
// tables are exactly these. AUTOINCREMENT keeps key ids from being reused, so
// an id held by an accessor whose key was deleted cannot end up naming a new,
// unrelated key. Values are a rowid table so rowid order is creation order.
const char* const kTables[][2] = {
    {"meta", "CREATE TABLE meta(name TEXT PRIMARY KEY NOT NULL, value NOT NULL)"},
    {"keys",
     "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER, "
     "name TEXT NOT NULL, folded TEXT NOT NULL, UNIQUE(parent, folded))"},
    {"vals",
     "CREATE TABLE vals(key INTEGER NOT NULL, name TEXT NOT NULL, folded TEXT NOT NULL, "
     "type INTEGER NOT NULL, data, UNIQUE(key, folded))"},
};

QString Fold(const QString& name) {
  return name.toCaseFolded();
}

QString DbFile(sqlite3* db) {
  const char* name = sqlite3_db_filename(db, "main");
  return name != nullptr ? QString::fromUtf8(name) : QString();
}

[[noreturn]] void Raise(sqlite3* db, const QString& what) {
  throw KeyStoreError(QStringLiteral("Registry '%1': %2: %3")
                          .arg(DbFile(db), what, QString::fromUtf8(sqlite3_errmsg(db))));
}

void Exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    Raise(db, QString::fromUtf8(sql));
  }
}

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
      Raise(db_, QStringLiteral("cannot run a query"));
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& BindInt(int index, qint64 value) {
    Check(sqlite3_bind_int64(stmt_, index, value));
    return *this;
  }
  Statement& BindText(int index, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    Check(sqlite3_bind_text(stmt_, index, utf8.constData(), utf8.size(), SQLITE_TRANSIENT));
    return *this;
  }
  Statement& BindNull(int index) {
    Check(sqlite3_bind_null(stmt_, index));
    return *this;
  }
  Statement& BindValue(int index, const RegValue& value) {
    switch (value.type) {
      case REG_SZ:
        return BindText(index, value.text);
      case REG_DWORD:
        return BindInt(index, value.dword);
      case REG_BINARY:
        // A null pointer would bind NULL; an empty value must stay a blob.
        Check(value.binary.isEmpty() ? sqlite3_bind_zeroblob(stmt_, index, 0)
                                     : sqlite3_bind_blob(stmt_, index, value.binary.constData(),
                                                         value.binary.size(), SQLITE_TRANSIENT));
        return *this;
      case REG_NONE:
        break;
    }
    throw KeyStoreError(QStringLiteral("Registry '%1': unknown value type %2")
                            .arg(DbFile(db_))
                            .arg(int(value.type)));
  }

  // True while there is a row.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
      return true;
    }
    if (rc == SQLITE_DONE) {
      return false;
    }
    Raise(db_, QString::fromUtf8(sqlite3_sql(stmt_)));
  }
  void Run() {
    while (Step()) {
    }
  }

  // Ready to run again with new parameters.
  void Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  int Type(int col) const { return sqlite3_column_type(stmt_, col); }
  qint64 Int(int col) const { return sqlite3_column_int64(stmt_, col); }
  QString Text(int col) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
    return QString::fromUtf8(text, sqlite3_column_bytes(stmt_, col));
  }
  QByteArray Blob(int col) const {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, col));
    return QByteArray(data, sqlite3_column_bytes(stmt_, col));
  }

  // The value in columns `typeCol` and `typeCol + 1`; empty when the row is
  // not a well-typed value.
  std::optional<RegValue> Value(int typeCol) const {
    if (Type(typeCol) != SQLITE_INTEGER) {
      return std::nullopt;
    }
    const int dataCol = typeCol + 1;
    switch (Int(typeCol)) {
      case REG_SZ:
        if (Type(dataCol) == SQLITE_TEXT) {
          return RegValue::String(Text(dataCol));
        }
        break;
      case REG_DWORD:
        if (Type(dataCol) == SQLITE_INTEGER) {
          const qint64 number = Int(dataCol);
          if (number >= INT32_MIN && number <= INT32_MAX) {
            return RegValue::DWord(qint32(number));
          }
        }
        break;
      case REG_BINARY:
        if (Type(dataCol) == SQLITE_BLOB) {
          return RegValue::Binary(Blob(dataCol));
        }
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
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
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
  ~ReadTransaction() { sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr); }
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
  ~Connection() { sqlite3_close_v2(db); }
  sqlite3* Release() { return std::exchange(db, nullptr); }
};

KeyStore::KeyId RootId(RegRoot root) {
  return root == HKEY_LOCAL_MACHINE ? kLocalMachineId : kCurrentUserId;
}

std::optional<KeyStore::KeyId> FindChild(sqlite3* db, KeyStore::KeyId parent, const QString& name) {
  Statement find(db, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2");
  find.BindInt(1, parent).BindText(2, Fold(name));
  if (find.Step()) {
    return find.Int(0);
  }
  return std::nullopt;
}

std::optional<KeyStore::KeyId> FindKey(sqlite3* db, RegRoot root, const QStringList& parts) {
  KeyStore::KeyId id = RootId(root);
  for (const QString& part : parts) {
    const auto child = FindChild(db, id, part);
    if (!child) {
      return std::nullopt;
    }
    id = *child;
  }
  return id;
}

bool KeyRowExists(sqlite3* db, KeyStore::KeyId key) {
  Statement find(db, "SELECT 1 FROM keys WHERE id = ?1");
  find.BindInt(1, key);
  return find.Step();
}

KeyStore::KeyId InsertKey(sqlite3* db, std::optional<KeyStore::KeyId> parent, const QString& name) {
  Statement insert(db, "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)");
  if (parent) {
    insert.BindInt(1, *parent);
  } else {
    insert.BindNull(1);
  }
  insert.BindText(2, name).BindText(3, Fold(name)).Run();
  return sqlite3_last_insert_rowid(db);
}

KeyStore::KeyId CreateKey(sqlite3* db, RegRoot root, const QStringList& parts) {
  KeyStore::KeyId id = RootId(root);
  for (const QString& part : parts) {
    const auto child = FindChild(db, id, part);
    id = child ? *child : InsertKey(db, id, part);
  }
  return id;
}

void InsertValue(sqlite3* db, KeyStore::KeyId key, const QString& name, const RegValue& value) {
  Statement insert(db,
                   "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5)");
  insert.BindInt(1, key).BindText(2, name).BindText(3, Fold(name)).BindInt(4, value.type);
  insert.BindValue(5, value).Run();
}

// The values and subkeys of `key`, and the key itself unless `keepKey`.
void DeleteTree(sqlite3* db, KeyStore::KeyId key, bool keepKey) {
  static const char kDescendants[] =
      "WITH RECURSIVE sub(id) AS (SELECT id FROM keys WHERE parent = ?1 "
      "UNION ALL SELECT keys.id FROM keys JOIN sub ON keys.parent = sub.id) ";
  Statement values(db, (QByteArray(kDescendants) +
                        "DELETE FROM vals WHERE key = ?1 OR key IN (SELECT id FROM sub)")
                           .constData());
  values.BindInt(1, key).Run();
  Statement keys(
      db,
      (QByteArray(kDescendants) + "DELETE FROM keys WHERE id IN (SELECT id FROM sub)").constData());
  keys.BindInt(1, key).Run();
  if (!keepKey) {
    Statement self(db, "DELETE FROM keys WHERE id = ?1");
    self.BindInt(1, key).Run();
  }
}

// A subtree in memory, parents before children; keys[0] is its top.
struct Subtree {
  struct Key {
    QString name;
    int parent;  // index into keys; -1 for the top
  };
  struct Value {
    int key;  // index into keys
    QString name;
    RegValue value;
  };
  std::vector<Key> keys;
  std::vector<Value> values;
};

// Hex SHA-256 of the subtree's content. SQLite's own checks only see the
// file's structure; this catches bytes that changed inside a record.
QString Digest(const Subtree& tree) {
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out.setVersion(QDataStream::Qt_6_0);
  out << qint64(tree.keys.size());
  for (const auto& key : tree.keys) {
    out << qint32(key.parent) << key.name;
  }
  out << qint64(tree.values.size());
  for (const auto& value : tree.values) {
    out << qint32(value.key) << value.name << qint32(value.value.type) << value.value.text
        << value.value.dword << value.value.binary;
  }
  return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

Subtree ReadSubtree(sqlite3* db, KeyStore::KeyId top) {
  Subtree tree;
  std::vector<KeyStore::KeyId> ids{top};
  {
    Statement name(db, "SELECT name FROM keys WHERE id = ?1");
    name.BindInt(1, top);
    if (!name.Step()) {
      throw KeyStoreError(
          QStringLiteral("Registry '%1': the key no longer exists").arg(DbFile(db)));
    }
    tree.keys.push_back({name.Text(0), -1});
  }
  for (size_t i = 0; i < ids.size(); ++i) {
    Statement children(db, "SELECT id, name FROM keys WHERE parent = ?1 ORDER BY id");
    children.BindInt(1, ids[i]);
    while (children.Step()) {
      ids.push_back(children.Int(0));
      tree.keys.push_back({children.Text(1), int(i)});
    }
  }
  for (size_t i = 0; i < ids.size(); ++i) {
    Statement values(db, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY rowid");
    values.BindInt(1, ids[i]);
    while (values.Step()) {
      const auto value = values.Value(1);
      if (!value) {
        throw KeyStoreError(
            QStringLiteral("Registry '%1': value '%2' is damaged").arg(DbFile(db), values.Text(0)));
      }
      tree.values.push_back({int(i), values.Text(0), *value});
    }
  }
  return tree;
}

// Runs the check pragma; a damaged or foreign file raises here before
// anything writes to it.
void CheckIntegrity(sqlite3* db, const char* pragma) {
  Statement check(db, pragma);
  QStringList problems;
  while (check.Step()) {
    problems << check.Text(0);
  }
  if (problems != QStringList{QStringLiteral("ok")}) {
    throw KeyStoreError(QStringLiteral("Registry '%1' is damaged: %2")
                            .arg(DbFile(db), problems.mid(0, 3).join(QStringLiteral("; "))));
  }
}

int TableCount(sqlite3* db) {
  Statement count(db, "SELECT count(*) FROM sqlite_master");
  count.Step();
  return int(count.Int(0));
}

// Raises unless the file's tables and marker are those of a store or hive of
// `kind`; the message says what the file is instead.
void CheckSchema(sqlite3* db, const char* kind) {
  const QString file = DbFile(db);
  for (const auto& table : kTables) {
    Statement sql(db, "SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1");
    sql.BindText(1, QString::fromLatin1(table[0]));
    if (!sql.Step() || sql.Text(0) != QLatin1String(table[1])) {
      throw KeyStoreError(
          QStringLiteral("'%1' is not a Velmar registry file (table %2 is missing or different)")
              .arg(file, QLatin1String(table[0])));
    }
  }
  QHash<QString, std::pair<int, QString>> meta;
  Statement rows(db, "SELECT name, value FROM meta");
  while (rows.Step()) {
    meta.insert(rows.Text(0), {rows.Type(1), rows.Text(1)});
  }
  const auto field = [&](const char* name) { return meta.value(QString::fromLatin1(name)); };
  if (field("format") != std::pair<int, QString>{SQLITE_TEXT, QString::fromLatin1(kFormat)}) {
    throw KeyStoreError(
        QStringLiteral("'%1' is not a Velmar registry file (no format marker)").arg(file));
  }
  if (field("version") != std::pair<int, QString>{SQLITE_INTEGER, QString::number(kVersion)}) {
    throw KeyStoreError(QStringLiteral("'%1' has an unsupported registry format version %2")
                            .arg(file, field("version").second));
  }
  const auto actual = field("kind");
  if (actual != std::pair<int, QString>{SQLITE_TEXT, QString::fromLatin1(kind)}) {
    throw KeyStoreError(QStringLiteral("'%1' is a registry %2, not a registry %3")
                            .arg(file, actual.second, QLatin1String(kind)));
  }
}

void WriteMeta(sqlite3* db, const char* kind) {
  Statement meta(db, "INSERT INTO meta(name, value) VALUES(?1, ?2)");
  meta.BindText(1, QStringLiteral("format")).BindText(2, QString::fromLatin1(kFormat)).Run();
  Statement version(db, "INSERT INTO meta(name, value) VALUES('version', ?1)");
  version.BindInt(1, kVersion).Run();
  Statement kindRow(db, "INSERT INTO meta(name, value) VALUES('kind', ?1)");
  kindRow.BindText(1, QString::fromLatin1(kind)).Run();
}

void CreateTables(sqlite3* db, const char* kind) {
  for (const auto& table : kTables) {
    Exec(db, table[1]);
  }
  WriteMeta(db, kind);
}

void PrepareConnection(sqlite3* db) {
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // A hive may come from anywhere; its schema must not run functions.
  Exec(db, "PRAGMA trusted_schema = OFF");
}

// True when the file is (now) in WAL mode. Switching a new file to WAL takes
// an exclusive lock; when two processes create the store at once, SQLite
// reports their lock conflict as SQLITE_BUSY straight away instead of calling
// the busy handler, so wait here as long as the busy timeout would.
bool EnableWal(sqlite3* db) {
  constexpr int kPauseMs = 5;
  for (int waited = 0;; waited += kPauseMs) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA journal_mode = WAL", -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
      rc = sqlite3_step(stmt);
    }
    if (rc == SQLITE_ROW) {
      const bool wal =
          QLatin1String(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))) == "wal";
      sqlite3_finalize(stmt);
      return wal;
    }
    const QString message = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(stmt);
    if ((rc & 0xff) != SQLITE_BUSY || waited >= kBusyTimeoutMs) {
      throw KeyStoreError(
          QStringLiteral("Registry '%1': cannot enable WAL: %2").arg(DbFile(db), message));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs));
  }
}

// Opens an existing hive read-only and validates all of it into memory.
Subtree LoadHive(const QString& file) {
  const QFileInfo info(file);
  if (!info.exists()) {
    throw KeyStoreError(QStringLiteral("'%1' does not exist").arg(file));
  }
  if (!info.isFile() || info.size() == 0) {
    throw KeyStoreError(QStringLiteral("'%1' is not a registry hive").arg(file));
  }
  Connection hive;
  const int rc =
      sqlite3_open_v2(QFile::encodeName(file).constData(), &hive.db, SQLITE_OPEN_READONLY, nullptr);
  if (rc != SQLITE_OK) {
    throw KeyStoreError(
        QStringLiteral("Cannot open '%1': %2")
            .arg(file, QString::fromUtf8(hive.db != nullptr ? sqlite3_errmsg(hive.db)
                                                            : sqlite3_errstr(rc))));
  }
  PrepareConnection(hive.db);
  ReadTransaction snapshot(hive.db);
  CheckIntegrity(hive.db, "PRAGMA integrity_check");
  CheckSchema(hive.db, kKindHive);

  const auto fail = [&](const QString& why) -> KeyStoreError {
    return KeyStoreError(QStringLiteral("'%1' is not a valid registry hive: %2").arg(file, why));
  };

  struct Row {
    qint64 id;
    std::optional<qint64> parent;
    QString name;
  };
  std::vector<Row> rows;
  QHash<qint64, int> rowOf;
  QHash<qint64, std::vector<int>> children;
  std::optional<int> top;
  Statement keys(hive.db, "SELECT id, parent, name, folded FROM keys ORDER BY id");
  while (keys.Step()) {
    if (keys.Type(0) != SQLITE_INTEGER || keys.Type(2) != SQLITE_TEXT ||
        keys.Type(3) != SQLITE_TEXT ||
        (keys.Type(1) != SQLITE_INTEGER && keys.Type(1) != SQLITE_NULL)) {
      throw fail(QStringLiteral("a key row is not well-typed"));
    }
    Row row{keys.Int(0), std::nullopt, keys.Text(2)};
    if (keys.Type(1) == SQLITE_INTEGER) {
      row.parent = keys.Int(1);
    }
    if (row.name.isEmpty() || row.name.contains(QLatin1Char('\\'))) {
      throw fail(QStringLiteral("a key has an invalid name '%1'").arg(row.name));
    }
    if (rowOf.contains(row.id)) {
      throw fail(QStringLiteral("key id %1 is duplicated").arg(row.id));
    }
    const int index = int(rows.size());
    rowOf.insert(row.id, index);
    if (!row.parent) {
      if (top) {
        throw fail(QStringLiteral("it has more than one top key"));
      }
      top = index;
    }
    rows.push_back(row);
  }
  if (!top) {
    throw fail(QStringLiteral("it has no top key"));
  }
  for (int i = 0; i < int(rows.size()); ++i) {
    if (rows[i].parent) {
      if (!rowOf.contains(*rows[i].parent)) {
        throw fail(QStringLiteral("key '%1' has no parent").arg(rows[i].name));
      }
      children[*rows[i].parent].push_back(i);
    }
  }

  // Walking down from the top reaches every key exactly once only when the
  // parent links form one tree; a cycle or a detached key is left over.
  Subtree tree;
  std::vector<int> order{*top};
  QHash<qint64, int> treeIndex;
  tree.keys.push_back({rows[*top].name, -1});
  treeIndex.insert(rows[*top].id, 0);
  for (size_t i = 0; i < order.size(); ++i) {
    QSet<QString> siblings;
    for (int child : children.value(rows[order[i]].id)) {
      if (treeIndex.contains(rows[child].id)) {
        throw fail(QStringLiteral("the keys form a cycle"));
      }
      if (siblings.contains(Fold(rows[child].name))) {
        throw fail(QStringLiteral("key '%1' is duplicated").arg(rows[child].name));
      }
      siblings.insert(Fold(rows[child].name));
      treeIndex.insert(rows[child].id, int(tree.keys.size()));
      tree.keys.push_back({rows[child].name, int(i)});
      order.push_back(child);
    }
  }
  if (tree.keys.size() != rows.size()) {
    throw fail(QStringLiteral("some keys are not below the top key"));
  }

  std::vector<QSet<QString>> valueNames(tree.keys.size());
  Statement values(hive.db, "SELECT key, name, folded, type, data FROM vals ORDER BY rowid");
  while (values.Step()) {
    if (values.Type(0) != SQLITE_INTEGER || values.Type(1) != SQLITE_TEXT ||
        values.Type(2) != SQLITE_TEXT) {
      throw fail(QStringLiteral("a value row is not well-typed"));
    }
    const QString name = values.Text(1);
    const auto value = values.Value(3);
    if (!value) {
      throw fail(QStringLiteral("value '%1' is not well-typed").arg(name));
    }
    const auto key = treeIndex.constFind(values.Int(0));
    if (key == treeIndex.constEnd()) {
      throw fail(QStringLiteral("value '%1' belongs to no key").arg(name));
    }
    if (valueNames[*key].contains(Fold(name))) {
      throw fail(QStringLiteral("value '%1' is duplicated").arg(name));
    }
    valueNames[*key].insert(Fold(name));
    tree.values.push_back({*key, name, *value});
  }
  Statement digest(hive.db, "SELECT value FROM meta WHERE name = 'digest'");
  if (!digest.Step() || digest.Type(0) != SQLITE_TEXT || digest.Text(0) != Digest(tree)) {
    throw fail(QStringLiteral("its content does not match its checksum"));
  }
  return tree;
}

void WriteHive(const QString& file, const Subtree& tree) {
  Connection hive;
  if (sqlite3_open_v2(QFile::encodeName(file).constData(), &hive.db, SQLITE_OPEN_READWRITE,
                      nullptr) != SQLITE_OK) {
    throw KeyStoreError(QStringLiteral("Cannot open '%1': %2")
                            .arg(file, QString::fromUtf8(sqlite3_errmsg(hive.db))));
  }
  PrepareConnection(hive.db);
  WriteTransaction tx(hive.db);
  CreateTables(hive.db, kKindHive);
  // Ids follow the order of tree.keys, so a key's id is its index + 1.
  for (const auto& key : tree.keys) {
    InsertKey(hive.db, key.parent < 0 ? std::nullopt : std::optional<qint64>(key.parent + 1),
              key.name);
  }
  for (const auto& value : tree.values) {
    InsertValue(hive.db, value.key + 1, value.name, value.value);
  }
  {
    Statement digest(hive.db, "INSERT INTO meta(name, value) VALUES('digest', ?1)");
    digest.BindText(1, Digest(tree)).Run();
  }
  tx.Commit();
  if (sqlite3_close(hive.db) != SQLITE_OK) {
    Raise(hive.db, QStringLiteral("cannot close the hive"));
  }
  hive.db = nullptr;
}

}  // namespace

RegValue RegValue::String(const QString& text) {
  RegValue value;
  value.type = REG_SZ;
  value.text = text;
  return value;
}

RegValue RegValue::DWord(qint32 number) {
  RegValue value;
  value.type = REG_DWORD;
  value.dword = number;
  return value;
}

RegValue RegValue::Binary(const QByteArray& data) {
  RegValue value;
  value.type = REG_BINARY;
  value.binary = data;
  return value;
}

KeyStore::KeyStore(const QString& path, Access access) : path_(path) {
  if (path.isEmpty()) {
    throw KeyStoreError("The registry file name is empty");
  }
  const QFileInfo info(path);
  const QString dir = info.absolutePath();
  readOnly_ = access == Access::ReadOnly;
  if (!readOnly_) {
    if (!QDir().mkpath(dir)) {
      throw KeyStoreError(QStringLiteral("Cannot create the registry directory '%1'").arg(dir));
    }
    // WAL needs to create the -wal and -shm files beside the database, so a
    // directory that is not writable makes the store read-only too.
    const bool fileWritable = !info.exists() || ::access(QFile::encodeName(path), W_OK) == 0;
    readOnly_ = !fileWritable || ::access(QFile::encodeName(dir), W_OK) != 0;
  }
  if (info.exists() && !info.isFile()) {
    throw KeyStoreError(QStringLiteral("Registry '%1' is not a file").arg(path));
  }
  if (readOnly_ && !info.exists()) {
    throw KeyStoreError(
        QStringLiteral("Registry '%1' does not exist and cannot be created").arg(path));
  }

  OpenFile(false);
  if (readOnly_) {
    // A read-only WAL database needs its -wal and -shm files, which cannot be
    // created in a directory we may not write. With no -wal file all data is
    // in the main file, so reading it as immutable loses nothing.
    const int rc =
        sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    const int primary = rc & 0xff;
    if ((primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN) &&
        !QFileInfo::exists(path + QStringLiteral("-wal"))) {
      sqlite3_close_v2(std::exchange(db_, nullptr));
      OpenFile(true);
    }
  }
  try {
    Initialise();
  } catch (...) {
    sqlite3_close_v2(std::exchange(db_, nullptr));
    throw;
  }
}

KeyStore::~KeyStore() {
  sqlite3_close_v2(db_);
}

void KeyStore::OpenFile(bool immutable) {
  Connection connection;
  QByteArray name = QFile::encodeName(path_);
  int flags = readOnly_ ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (immutable) {
    name = QUrl::fromLocalFile(QFileInfo(path_).absoluteFilePath()).toEncoded() + "?immutable=1";
    flags |= SQLITE_OPEN_URI;
  }
  const int rc = sqlite3_open_v2(name.constData(), &connection.db, flags, nullptr);
  if (rc != SQLITE_OK) {
    throw KeyStoreError(
        QStringLiteral("Cannot open the registry '%1': %2")
            .arg(path_, QString::fromUtf8(connection.db != nullptr ? sqlite3_errmsg(connection.db)
                                                                   : sqlite3_errstr(rc))));
  }
  PrepareConnection(connection.db);
  db_ = connection.Release();
}

void KeyStore::Initialise() {
  // Only reads until the file is known to be ours: a damaged or foreign file
  // must come out of this byte for byte unchanged.
  CheckIntegrity(db_, "PRAGMA quick_check");
  const bool empty = TableCount(db_) == 0;
  if (empty && readOnly_) {
    throw KeyStoreError(QStringLiteral("Registry '%1' is empty and read-only").arg(path_));
  }
  if (!empty) {
    CheckSchema(db_, kKindStore);
  }
  if (!readOnly_) {
    Exec(db_, EnableWal(db_) ? "PRAGMA synchronous = NORMAL" : "PRAGMA synchronous = FULL");
  }
  if (empty) {
    WriteTransaction tx(db_);
    // Another process may have initialised the file since we looked.
    if (TableCount(db_) == 0) {
      CreateTables(db_, kKindStore);
      InsertKey(db_, std::nullopt, QStringLiteral("HKEY_LOCAL_MACHINE"));
      InsertKey(db_, std::nullopt, QStringLiteral("HKEY_CURRENT_USER"));
    }
    tx.Commit();
    CheckSchema(db_, kKindStore);
  }
  Statement roots(db_, "SELECT count(*) FROM keys WHERE id IN (?1, ?2) AND parent IS NULL");
  roots.BindInt(1, kLocalMachineId).BindInt(2, kCurrentUserId).Step();
  if (roots.Int(0) != 2) {
    throw KeyStoreError(
        QStringLiteral("Registry '%1' is damaged: a root key is missing").arg(path_));
  }
}

void KeyStore::RequireWritable() const {
  if (readOnly_) {
    throw KeyStoreError(QStringLiteral("Registry '%1' is read-only").arg(path_));
  }
}

QString KeyStore::DefaultPath() {
  const QString over = qEnvironmentVariable("VELMAR_REGISTRY");
  if (!over.isEmpty()) {
    return over;
  }
  QString data = qEnvironmentVariable("XDG_DATA_HOME");
  // The XDG rules say to ignore a relative value.
  if (data.isEmpty() || QDir::isRelativePath(data)) {
    data = QDir::homePath() + QStringLiteral("/.local/share");
  }
  return data + QStringLiteral("/velmar/registry.db");
}

KeyStore& KeyStore::Default() {
  static KeyStore store(DefaultPath());
  return store;
}

QStringList KeyStore::SplitPath(const QString& path) {
  return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

std::optional<KeyStore::KeyId> KeyStore::OpenKey(RegRoot root, const QString& path, bool create) {
  std::lock_guard lock(mutex_);
  const QStringList parts = SplitPath(path);
  if (const auto id = FindKey(db_, root, parts); id || !create) {
    return id;
  }
  RequireWritable();
  WriteTransaction tx(db_);
  const KeyId id = CreateKey(db_, root, parts);
  tx.Commit();
  return id;
}

bool KeyStore::KeyExists(RegRoot root, const QString& path) {
  return OpenKey(root, path, false).has_value();
}

QStringList KeyStore::SubkeyNames(KeyId key) {
  std::lock_guard lock(mutex_);
  Statement names(db_, "SELECT name FROM keys WHERE parent = ?1 ORDER BY folded");
  names.BindInt(1, key);
  QStringList result;
  while (names.Step()) {
    result << names.Text(0);
  }
  return result;
}

bool KeyStore::DeleteKey(RegRoot root, const QString& path) {
  std::lock_guard lock(mutex_);
  const QStringList parts = SplitPath(path);
  if (parts.isEmpty()) {
    throw KeyStoreError(QStringLiteral("Registry '%1': a root key cannot be deleted").arg(path_));
  }
  RequireWritable();
  WriteTransaction tx(db_);
  const auto id = FindKey(db_, root, parts);
  if (!id) {
    return false;
  }
  DeleteTree(db_, *id, false);
  tx.Commit();
  return true;
}

bool KeyStore::ValueExists(KeyId key, const QString& name) {
  return ValueType(key, name).has_value();
}

std::optional<RegValue> KeyStore::ReadValue(KeyId key, const QString& name) {
  std::lock_guard lock(mutex_);
  Statement read(db_, "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2");
  read.BindInt(1, key).BindText(2, Fold(name));
  if (!read.Step()) {
    return std::nullopt;
  }
  const auto value = read.Value(0);
  if (!value) {
    throw KeyStoreError(QStringLiteral("Registry '%1': value '%2' is damaged").arg(path_, name));
  }
  return value;
}

std::optional<RegDataType> KeyStore::ValueType(KeyId key, const QString& name) {
  const auto value = ReadValue(key, name);
  if (!value) {
    return std::nullopt;
  }
  return value->type;
}

void KeyStore::WriteValue(KeyId key, const QString& name, const RegValue& value) {
  WriteValues(key, {NamedValue{name, value}});
}

void KeyStore::WriteValues(KeyId key, const std::vector<NamedValue>& values) {
  if (values.empty()) {
    return;
  }
  std::lock_guard lock(mutex_);
  RequireWritable();
  WriteTransaction tx(db_);
  if (!KeyRowExists(db_, key)) {
    throw KeyStoreError(QStringLiteral("Registry '%1': the key of value '%2' no longer exists")
                            .arg(path_, values.front().name));
  }
  Statement write(
      db_,
      "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
      "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data");
  for (const NamedValue& value : values) {
    write.Reset();
    write.BindInt(1, key).BindText(2, value.name).BindText(3, Fold(value.name));
    write.BindInt(4, value.value.type).BindValue(5, value.value).Run();
  }
  tx.Commit();
}

bool KeyStore::DeleteValue(KeyId key, const QString& name) {
  std::lock_guard lock(mutex_);
  RequireWritable();
  WriteTransaction tx(db_);
  Statement erase(db_, "DELETE FROM vals WHERE key = ?1 AND folded = ?2");
  erase.BindInt(1, key).BindText(2, Fold(name)).Run();
  const bool deleted = sqlite3_changes(db_) > 0;
  tx.Commit();
  return deleted;
}

QStringList KeyStore::ValueNames(KeyId key) {
  std::lock_guard lock(mutex_);
  Statement names(db_, "SELECT name FROM vals WHERE key = ?1 ORDER BY rowid");
  names.BindInt(1, key);
  QStringList result;
  while (names.Step()) {
    result << names.Text(0);
  }
  return result;
}

std::vector<std::pair<KeyStore::KeyId, QString>> KeyStore::Subkeys(KeyId key) {
  std::lock_guard lock(mutex_);
  Statement rows(db_, "SELECT id, name FROM keys WHERE parent = ?1 ORDER BY folded");
  rows.BindInt(1, key);
  std::vector<std::pair<KeyId, QString>> result;
  while (rows.Step()) {
    result.emplace_back(rows.Int(0), rows.Text(1));
  }
  return result;
}

std::vector<NamedValue> KeyStore::Values(KeyId key) {
  return std::move(Values(std::vector<KeyId>{key}).front());
}

std::vector<std::vector<NamedValue>> KeyStore::Values(const std::vector<KeyId>& keys) {
  // Past a few keys one pass over the whole values table in storage order
  // beats a lookup through the index for every value: a year of history
  // is 735,000 values in 365 keys.
  constexpr size_t kScanFrom = 32;
  std::vector<std::vector<NamedValue>> result(keys.size());
  QHash<KeyId, size_t> slot;
  for (size_t i = 0; i < keys.size(); ++i) {
    slot.insert(keys[i], i);
  }
  const auto take = [&](Statement& rows, size_t i) {
    const QString name = rows.Text(1);
    std::optional<RegValue> value = rows.Value(2);
    if (!value) {
      throw KeyStoreError(QStringLiteral("Registry '%1': value '%2' is damaged").arg(path_, name));
    }
    result[i].push_back(NamedValue{name, std::move(*value)});
  };
  std::lock_guard lock(mutex_);
  ReadTransaction snapshot(db_);
  if (keys.size() >= kScanFrom) {
    Statement rows(db_, "SELECT key, name, type, data FROM vals NOT INDEXED ORDER BY rowid");
    while (rows.Step()) {
      const auto found = slot.constFind(rows.Int(0));
      if (found != slot.constEnd()) {
        take(rows, *found);
      }
    }
  } else {
    Statement rows(db_, "SELECT key, name, type, data FROM vals WHERE key = ?1 ORDER BY rowid");
    for (size_t i = 0; i < keys.size(); ++i) {
      rows.Reset();
      rows.BindInt(1, keys[i]);
      while (rows.Step()) {
        take(rows, i);
      }
    }
  }
  return result;
}

void KeyStore::SaveKey(RegRoot root, const QString& path, const QString& file) {
  std::lock_guard lock(mutex_);
  Subtree tree;
  {
    ReadTransaction snapshot(db_);
    const auto id = FindKey(db_, root, SplitPath(path));
    if (!id) {
      throw KeyStoreError(
          QStringLiteral("Registry '%1': key '%2' does not exist").arg(path_, path));
    }
    tree = ReadSubtree(db_, *id);
  }
  // O_EXCL both refuses an existing file and makes the file ours, so the
  // clean-up below can never remove something the user had.
  const QByteArray name = QFile::encodeName(file);
  const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int error = errno;
    throw KeyStoreError(
        error == EEXIST
            ? QStringLiteral("'%1' already exists; a hive is never overwritten").arg(file)
            : QStringLiteral("Cannot create '%1': %2")
                  .arg(file, QString::fromLocal8Bit(std::strerror(error))));
  }
  ::close(fd);
  try {
    WriteHive(file, tree);
  } catch (...) {
    QFile::remove(file);
    QFile::remove(file + QStringLiteral("-journal"));
    throw;
  }
}

void KeyStore::RestoreKey(RegRoot root, const QString& path, const QString& file) {
  std::lock_guard lock(mutex_);
  RequireWritable();
  const Subtree tree = LoadHive(file);
  WriteTransaction tx(db_);
  const KeyId top = CreateKey(db_, root, SplitPath(path));
  DeleteTree(db_, top, true);
  std::vector<KeyId> ids(tree.keys.size());
  ids[0] = top;
  for (size_t i = 1; i < tree.keys.size(); ++i) {
    ids[i] = InsertKey(db_, ids[tree.keys[i].parent], tree.keys[i].name);
  }
  for (const auto& value : tree.values) {
    InsertValue(db_, ids[value.key], value.name, value.value);
  }
  tx.Commit();
}

}  // namespace velmar
