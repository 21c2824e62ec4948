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

namespace {

// Reads a hive in steps, each checking what it reads, so a damaged or
// hostile file is refused with the reason and nothing of it is used.
class HiveReader {
 public:
  explicit HiveReader(const QString& file) : file_(file) {}

  Subtree Read() {
    Open();
    ReadTransaction snapshot(hive_.db);
    CheckIntegrity(hive_.db, "PRAGMA integrity_check");
    CheckSchema(hive_.db, kKindHive);
    ReadKeys();
    LinkParents();
    BuildTree();
    ReadValues();
    CheckDigest();
    return std::move(tree_);
  }

 private:
  struct Row {
    qint64 id;
    std::optional<qint64> parent;
    QString name;
  };

  KeyStoreError Invalid(const QString& why) const {
    return KeyStoreError(QStringLiteral("'%1' is not a valid registry hive: %2").arg(file_, why));
  }

  void Open() {
    const QFileInfo info(file_);
    if (!info.exists()) {
      throw KeyStoreError(QStringLiteral("'%1' does not exist").arg(file_));
    }
    if (!info.isFile() || info.size() == 0) {
      throw KeyStoreError(QStringLiteral("'%1' is not a registry hive").arg(file_));
    }
    const int rc = Sqlite().open_v2(QFile::encodeName(file_).constData(), &hive_.db,
                                    SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) {
      throw KeyStoreError(
          QStringLiteral("Cannot open '%1': %2")
              .arg(file_, QString::fromUtf8(hive_.db != nullptr ? Sqlite().errmsg(hive_.db)
                                                                : Sqlite().errstr(rc))));
    }
    PrepareConnection(hive_.db);
  }

  void ReadKeys() {
    Statement keys(hive_.db, "SELECT id, parent, name, folded FROM keys ORDER BY id");
    while (keys.Step()) {
      if (keys.Type(0) != SQLITE_INTEGER || keys.Type(2) != SQLITE_TEXT ||
          keys.Type(3) != SQLITE_TEXT ||
          (keys.Type(1) != SQLITE_INTEGER && keys.Type(1) != SQLITE_NULL)) {
        throw Invalid(QStringLiteral("a key row is not well-typed"));
      }
      Row row{keys.Int(0), std::nullopt, keys.Text(2)};
      if (keys.Type(1) == SQLITE_INTEGER) {
        row.parent = keys.Int(1);
      }
      if (row.name.isEmpty() || row.name.contains(QLatin1Char('\\'))) {
        throw Invalid(QStringLiteral("a key has an invalid name '%1'").arg(row.name));
      }
      if (rowOf_.contains(row.id)) {
        throw Invalid(QStringLiteral("key id %1 is duplicated").arg(row.id));
      }
      const int index = int(rows_.size());
      rowOf_.insert(row.id, index);
      if (!row.parent) {
        if (top_) {
          throw Invalid(QStringLiteral("it has more than one top key"));
        }
        top_ = index;
      }
      rows_.push_back(row);
    }
    if (!top_) {
      throw Invalid(QStringLiteral("it has no top key"));
    }
  }

  void LinkParents() {
    for (int i = 0; i < int(rows_.size()); ++i) {
      if (rows_[i].parent) {
        if (!rowOf_.contains(*rows_[i].parent)) {
          throw Invalid(QStringLiteral("key '%1' has no parent").arg(rows_[i].name));
        }
        children_[*rows_[i].parent].push_back(i);
      }
    }
  }

  // Walking down from the top reaches every key exactly once only when the
  // parent links form one tree; a cycle or a detached key is left over.
  void BuildTree() {
    std::vector<int> order{*top_};
    tree_.keys.push_back({rows_[*top_].name, -1});
    treeIndex_.insert(rows_[*top_].id, 0);
    for (size_t i = 0; i < order.size(); ++i) {
      QSet<QString> siblings;
      for (int child : children_.value(rows_[order[i]].id)) {
        if (treeIndex_.contains(rows_[child].id)) {
          throw Invalid(QStringLiteral("the keys form a cycle"));
        }
        if (siblings.contains(Fold(rows_[child].name))) {
          throw Invalid(QStringLiteral("key '%1' is duplicated").arg(rows_[child].name));
        }
        siblings.insert(Fold(rows_[child].name));
        treeIndex_.insert(rows_[child].id, int(tree_.keys.size()));
        tree_.keys.push_back({rows_[child].name, int(i)});
        order.push_back(child);
      }
    }
    if (tree_.keys.size() != rows_.size()) {
      throw Invalid(QStringLiteral("some keys are not below the top key"));
    }
  }

  void ReadValues() {
    std::vector<QSet<QString>> valueNames(tree_.keys.size());
    Statement values(hive_.db, "SELECT key, name, folded, type, data FROM vals ORDER BY rowid");
    while (values.Step()) {
      if (values.Type(0) != SQLITE_INTEGER || values.Type(1) != SQLITE_TEXT ||
          values.Type(2) != SQLITE_TEXT) {
        throw Invalid(QStringLiteral("a value row is not well-typed"));
      }
      const QString name = values.Text(1);
      const auto value = values.Value(3);
      if (!value) {
        throw Invalid(QStringLiteral("value '%1' is not well-typed").arg(name));
      }
      const auto key = treeIndex_.constFind(values.Int(0));
      if (key == treeIndex_.constEnd()) {
        throw Invalid(QStringLiteral("value '%1' belongs to no key").arg(name));
      }
      if (valueNames[*key].contains(Fold(name))) {
        throw Invalid(QStringLiteral("value '%1' is duplicated").arg(name));
      }
      valueNames[*key].insert(Fold(name));
      tree_.values.push_back({*key, name, *value});
    }
  }

  void CheckDigest() {
    Statement digest(hive_.db, "SELECT value FROM meta WHERE name = 'digest'");
    if (!digest.Step() || digest.Type(0) != SQLITE_TEXT || digest.Text(0) != Digest(tree_)) {
      throw Invalid(QStringLiteral("its content does not match its checksum"));
    }
  }

  const QString file_;
  Connection hive_;
  std::vector<Row> rows_;
  QHash<qint64, int> rowOf_;
  QHash<qint64, std::vector<int>> children_;
  std::optional<int> top_;
  Subtree tree_;
  QHash<qint64, int> treeIndex_;
};

}  // namespace

// Opens an existing hive read-only and validates all of it into memory.
Subtree LoadHive(const QString& file) {
  const SqliteHold sqlite = HoldSqlite();
  return HiveReader(file).Read();
}

void WriteHive(const QString& file, const Subtree& tree) {
  const SqliteHold sqlite = HoldSqlite();
  Connection hive;
  if (Sqlite().open_v2(QFile::encodeName(file).constData(), &hive.db, SQLITE_OPEN_READWRITE,
                       nullptr) != SQLITE_OK) {
    throw KeyStoreError(QStringLiteral("Cannot open '%1': %2")
                            .arg(file, QString::fromUtf8(Sqlite().errmsg(hive.db))));
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
  if (Sqlite().close(hive.db) != SQLITE_OK) {
    Raise(hive.db, QStringLiteral("cannot close the hive"));
  }
  hive.db = nullptr;
}

}  // namespace velmar::keystore_sql
