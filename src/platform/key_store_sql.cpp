#include "platform/key_store_sql.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QHash>
#include <QIODevice>
#include <chrono>
#include <thread>

namespace velmar::keystore_sql {

QString Fold(const QString& name) {
  return name.toCaseFolded();
}

QString DbFile(sqlite3* db) {
  const char* name = Sqlite().db_filename(db, "main");
  return name != nullptr ? QString::fromUtf8(name) : QString();
}

[[noreturn]] void Raise(sqlite3* db, const QString& what) {
  throw KeyStoreError(QStringLiteral("Registry '%1': %2: %3")
                          .arg(DbFile(db), what, QString::fromUtf8(Sqlite().errmsg(db))));
}

void Exec(sqlite3* db, const char* sql) {
  if (Sqlite().exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    Raise(db, QString::fromUtf8(sql));
  }
}

KeyStore::KeyId RootId(KeyRoot root) {
  return root == KeyRoot::kMachine ? kLocalMachineId : kCurrentUserId;
}

std::optional<KeyStore::KeyId> FindChild(sqlite3* db, KeyStore::KeyId parent, const QString& name) {
  Statement find(db, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2");
  find.BindInt(1, parent).BindText(2, Fold(name));
  if (find.Step()) {
    return find.Int(0);
  }
  return std::nullopt;
}

std::optional<KeyStore::KeyId> FindKey(sqlite3* db, KeyRoot root, const QStringList& parts) {
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
  return Sqlite().last_insert_rowid(db);
}

KeyStore::KeyId CreateKey(sqlite3* db, KeyRoot root, const QStringList& parts) {
  KeyStore::KeyId id = RootId(root);
  for (const QString& part : parts) {
    const auto child = FindChild(db, id, part);
    id = child ? *child : InsertKey(db, id, part);
  }
  return id;
}

void InsertValue(sqlite3* db, KeyStore::KeyId key, const QString& name, const StoredValue& value) {
  Statement insert(db,
                   "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5)");
  insert.BindInt(1, key)
      .BindText(2, name)
      .BindText(3, Fold(name))
      .BindInt(4, static_cast<int>(value.type));
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
        << value.value.integer << value.value.binary;
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
  Sqlite().extended_result_codes(db, 1);
  Sqlite().busy_timeout(db, kBusyTimeoutMs);
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
    int rc = Sqlite().prepare_v2(db, "PRAGMA journal_mode = WAL", -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
      rc = Sqlite().step(stmt);
    }
    if (rc == SQLITE_ROW) {
      const bool wal =
          QLatin1String(reinterpret_cast<const char*>(Sqlite().column_text(stmt, 0))) == "wal";
      Sqlite().finalize(stmt);
      return wal;
    }
    const QString message = QString::fromUtf8(Sqlite().errmsg(db));
    Sqlite().finalize(stmt);
    if ((rc & 0xff) != SQLITE_BUSY || waited >= kBusyTimeoutMs) {
      throw KeyStoreError(
          QStringLiteral("Registry '%1': cannot enable WAL: %2").arg(DbFile(db), message));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs));
  }
}

}  // namespace velmar::keystore_sql
