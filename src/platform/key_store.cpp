#include "platform/key_store.h"

#include <fcntl.h>
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

#include "platform/data_locations.h"
#include "platform/key_store_sql.h"

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

using namespace keystore_sql;

StoredValue StoredValue::String(const QString& text) {
  StoredValue value;
  value.type = ValueKind::kText;
  value.text = text;
  return value;
}

StoredValue StoredValue::Integer(qint32 number) {
  StoredValue value;
  value.type = ValueKind::kInteger;
  value.integer = number;
  return value;
}

StoredValue StoredValue::Binary(const QByteArray& data) {
  StoredValue value;
  value.type = ValueKind::kBytes;
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

  sqlite_ = HoldSqlite();
  OpenFile(false);
  if (readOnly_) {
    // A read-only WAL database needs its -wal and -shm files, which cannot be
    // created in a directory we may not write. With no -wal file all data is
    // in the main file, so reading it as immutable loses nothing.
    const int rc =
        Sqlite().exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    const int primary = rc & 0xff;
    if ((primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN) &&
        !QFileInfo::exists(path + QStringLiteral("-wal"))) {
      Sqlite().close_v2(std::exchange(db_, nullptr));
      immutable_ = true;
      OpenFile(true);
    }
  }
  try {
    Initialise();
  } catch (...) {
    Sqlite().close_v2(std::exchange(db_, nullptr));
    throw;
  }
}

KeyStore::~KeyStore() {
  if (db_ != nullptr) {
    Sqlite().close_v2(db_);
  }
}

void KeyStore::Unload() {
  std::lock_guard lock(mutex_);
  if (db_ != nullptr) {
    Sqlite().close_v2(std::exchange(db_, nullptr));
  }
  sqlite_.reset();
}

sqlite3* KeyStore::Db() {
  if (db_ != nullptr) {
    return db_;
  }
  // The file was checked whole when the store was first opened; a reopened
  // connection only checks that it is still the store.
  sqlite_ = HoldSqlite();
  try {
    OpenFile(immutable_);
    if (!readOnly_) {
      Exec(db_, wal_ ? "PRAGMA synchronous = NORMAL" : "PRAGMA synchronous = FULL");
    }
    CheckSchema(db_, kKindStore);
  } catch (...) {
    if (db_ != nullptr) {
      Sqlite().close_v2(std::exchange(db_, nullptr));
    }
    sqlite_.reset();
    throw;
  }
  return db_;
}

void KeyStore::OpenFile(bool immutable) {
  Connection connection;
  QByteArray name = QFile::encodeName(path_);
  int flags = readOnly_ ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (immutable) {
    name = QUrl::fromLocalFile(QFileInfo(path_).absoluteFilePath()).toEncoded() + "?immutable=1";
    flags |= SQLITE_OPEN_URI;
  }
  const int rc = Sqlite().open_v2(name.constData(), &connection.db, flags, nullptr);
  if (rc != SQLITE_OK) {
    throw KeyStoreError(
        QStringLiteral("Cannot open the registry '%1': %2")
            .arg(path_, QString::fromUtf8(connection.db != nullptr ? Sqlite().errmsg(connection.db)
                                                                   : Sqlite().errstr(rc))));
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
    wal_ = EnableWal(db_);
    Exec(db_, wal_ ? "PRAGMA synchronous = NORMAL" : "PRAGMA synchronous = FULL");
  }
  if (empty) {
    WriteTransaction tx(db_);
    // Another process may have initialised the file since we looked.
    if (TableCount(db_) == 0) {
      CreateTables(db_, kKindStore);
      InsertKey(db_, std::nullopt, QStringLiteral("KeyRoot::kMachine"));
      InsertKey(db_, std::nullopt, QStringLiteral("KeyRoot::kUser"));
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
  return DataLocations::DataHome() + QStringLiteral("/velmar/registry.db");
}

KeyStore& KeyStore::Default() {
  static KeyStore store(DefaultPath());
  return store;
}

QStringList KeyStore::SplitPath(const QString& path) {
  return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

std::optional<KeyStore::KeyId> KeyStore::OpenKey(KeyRoot root, const QString& path, bool create) {
  std::lock_guard lock(mutex_);
  const QStringList parts = SplitPath(path);
  if (const auto id = FindKey(Db(), root, parts); id || !create) {
    return id;
  }
  RequireWritable();
  WriteTransaction tx(Db());
  const KeyId id = CreateKey(Db(), root, parts);
  tx.Commit();
  return id;
}

bool KeyStore::KeyExists(KeyRoot root, const QString& path) {
  return OpenKey(root, path, false).has_value();
}

QStringList KeyStore::SubkeyNames(KeyId key) {
  std::lock_guard lock(mutex_);
  Statement names(Db(), "SELECT name FROM keys WHERE parent = ?1 ORDER BY folded");
  names.BindInt(1, key);
  QStringList result;
  while (names.Step()) {
    result << names.Text(0);
  }
  return result;
}

bool KeyStore::DeleteKey(KeyRoot root, const QString& path) {
  std::lock_guard lock(mutex_);
  const QStringList parts = SplitPath(path);
  if (parts.isEmpty()) {
    throw KeyStoreError(QStringLiteral("Registry '%1': a root key cannot be deleted").arg(path_));
  }
  RequireWritable();
  WriteTransaction tx(Db());
  const auto id = FindKey(Db(), root, parts);
  if (!id) {
    return false;
  }
  DeleteTree(Db(), *id, false);
  tx.Commit();
  return true;
}

bool KeyStore::ValueExists(KeyId key, const QString& name) {
  return ValueType(key, name).has_value();
}

std::optional<StoredValue> KeyStore::ReadValue(KeyId key, const QString& name) {
  std::lock_guard lock(mutex_);
  Statement read(Db(), "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2");
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

std::optional<ValueKind> KeyStore::ValueType(KeyId key, const QString& name) {
  const auto value = ReadValue(key, name);
  if (!value) {
    return std::nullopt;
  }
  return value->type;
}

void KeyStore::WriteValue(KeyId key, const QString& name, const StoredValue& value) {
  WriteValues(key, {NamedValue{name, value}});
}

void KeyStore::WriteValues(KeyId key, const std::vector<NamedValue>& values) {
  if (values.empty()) {
    return;
  }
  std::lock_guard lock(mutex_);
  RequireWritable();
  WriteTransaction tx(Db());
  if (!KeyRowExists(Db(), key)) {
    throw KeyStoreError(QStringLiteral("Registry '%1': the key of value '%2' no longer exists")
                            .arg(path_, values.front().name));
  }
  Statement write(
      Db(),
      "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
      "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data");
  for (const NamedValue& value : values) {
    write.Reset();
    write.BindInt(1, key).BindText(2, value.name).BindText(3, Fold(value.name));
    write.BindInt(4, static_cast<int>(value.value.type)).BindValue(5, value.value).Run();
  }
  tx.Commit();
}

bool KeyStore::DeleteValue(KeyId key, const QString& name) {
  std::lock_guard lock(mutex_);
  RequireWritable();
  WriteTransaction tx(Db());
  Statement erase(Db(), "DELETE FROM vals WHERE key = ?1 AND folded = ?2");
  erase.BindInt(1, key).BindText(2, Fold(name)).Run();
  const bool deleted = Sqlite().changes(Db()) > 0;
  tx.Commit();
  return deleted;
}

QStringList KeyStore::ValueNames(KeyId key) {
  std::lock_guard lock(mutex_);
  Statement names(Db(), "SELECT name FROM vals WHERE key = ?1 ORDER BY rowid");
  names.BindInt(1, key);
  QStringList result;
  while (names.Step()) {
    result << names.Text(0);
  }
  return result;
}

std::vector<std::pair<KeyStore::KeyId, QString>> KeyStore::Subkeys(KeyId key) {
  std::lock_guard lock(mutex_);
  Statement rows(Db(), "SELECT id, name FROM keys WHERE parent = ?1 ORDER BY folded");
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
    std::optional<StoredValue> value = rows.Value(2);
    if (!value) {
      throw KeyStoreError(QStringLiteral("Registry '%1': value '%2' is damaged").arg(path_, name));
    }
    result[i].push_back(NamedValue{name, std::move(*value)});
  };
  std::lock_guard lock(mutex_);
  ReadTransaction snapshot(Db());
  if (keys.size() >= kScanFrom) {
    Statement rows(Db(), "SELECT key, name, type, data FROM vals NOT INDEXED ORDER BY rowid");
    while (rows.Step()) {
      const auto found = slot.constFind(rows.Int(0));
      if (found != slot.constEnd()) {
        take(rows, *found);
      }
    }
  } else {
    Statement rows(Db(), "SELECT key, name, type, data FROM vals WHERE key = ?1 ORDER BY rowid");
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

void KeyStore::SaveKey(KeyRoot root, const QString& path, const QString& file) {
  std::lock_guard lock(mutex_);
  Subtree tree;
  {
    ReadTransaction snapshot(Db());
    const auto id = FindKey(Db(), root, SplitPath(path));
    if (!id) {
      throw KeyStoreError(
          QStringLiteral("Registry '%1': key '%2' does not exist").arg(path_, path));
    }
    tree = ReadSubtree(Db(), *id);
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

void KeyStore::RestoreKey(KeyRoot root, const QString& path, const QString& file) {
  std::lock_guard lock(mutex_);
  RequireWritable();
  const Subtree tree = LoadHive(file);
  WriteTransaction tx(Db());
  const KeyId top = CreateKey(Db(), root, SplitPath(path));
  DeleteTree(Db(), top, true);
  std::vector<KeyId> ids(tree.keys.size());
  ids[0] = top;
  for (size_t i = 1; i < tree.keys.size(); ++i) {
    ids[i] = InsertKey(Db(), ids[tree.keys[i].parent], tree.keys[i].name);
  }
  for (const auto& value : tree.values) {
    InsertValue(Db(), ids[value.key], value.name, value.value);
  }
  tx.Commit();
}

}  // namespace velmar
