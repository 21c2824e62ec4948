#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>
#include <cerrno>
#include <cstring>

#include "platform/key_store_sql.h"

namespace velmar::keystore_sql {

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

}  // namespace velmar::keystore_sql
