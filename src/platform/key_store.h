#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/exception.h"

struct sqlite3;

namespace velmar {

struct SqliteEntries;

// The two trees of the store: the meter's own data (settings kept in the
// store, window placement, history, report profiles) and the user's
// secrets (a device's SNMP credentials).
enum class KeyRoot { kMachine, kUser };

// What a value holds. The numbers are those the database stores.
enum class ValueKind : int { kNone = 0, kText = 1, kBytes = 3, kInteger = 4 };

// One typed value; only the member that matches `type` carries data.
struct StoredValue {
  ValueKind type = ValueKind::kNone;
  QString text;
  qint32 integer = 0;
  QByteArray binary;

  static StoredValue String(const QString& text);
  static StoredValue Integer(qint32 value);
  static StoredValue Binary(const QByteArray& data);

  bool operator==(const StoredValue&) const = default;
};

// A value with its name, as several-at-once reads and writes carry them.
struct NamedValue {
  QString name;
  StoredValue value;
};

// Raised for every failure of the store: a file that cannot be opened or is
// damaged, a write to a read-only store, a hive that does not validate.
class KeyStoreError : public Exception {
 public:
  using Exception::Exception;
};

// The hierarchical key store standing in for the registry: one SQLite file
// holding both roots. Key paths are backslash separated; a leading backslash
// is optional and empty components are ignored, so "" names the root itself.
// Key and value names compare case-insensitively (Unicode case folding) and
// are reported as first written. Every change is its own transaction, so a
// call that returned has committed.
//
// Usable from several threads (one lock serialises the calls) and several
// processes (SQLite locking with a busy timeout).
class KeyStore {
 public:
  using KeyId = qint64;

  enum class Access {
    // Read-write, unless the file or its directory is not writable for this
    // process (access(2)); then read-only. Root passes that check everywhere.
    Automatic,
    // Never writes, not even to create or upgrade the file.
    ReadOnly,
  };

  // Opens or creates the store at `path` (its directory is created when
  // missing). Raises KeyStoreError when the file is not a SQLite database,
  // is damaged or is another program's database; such a file is left as it is.
  explicit KeyStore(const QString& path, Access access = Access::Automatic);
  ~KeyStore();
  KeyStore(const KeyStore&) = delete;
  KeyStore& operator=(const KeyStore&) = delete;

  // $VELMAR_REGISTRY, else $XDG_DATA_HOME/velmar/registry.db with the XDG
  // default ~/.local/share.
  static QString DefaultPath();
  // The process-wide store on DefaultPath(), opened at first use. Raises
  // like the constructor; a later call tries again.
  static KeyStore& Default();

  const QString& Path() const { return path_; }
  // Closes the connection and lets SQLite go (unmapped once nothing else
  // holds it); the next call opens them again. For a program that uses the
  // store now and then and would rather not keep the library mapped.
  void Unload();
  bool IsReadOnly() const { return readOnly_; }

  // The key's id, creating the missing keys of the path when `create` is set.
  // Empty when the key does not exist and `create` is false. Raises when the
  // key has to be created and cannot be (read-only store, I/O failure).
  std::optional<KeyId> OpenKey(KeyRoot root, const QString& path, bool create);
  bool KeyExists(KeyRoot root, const QString& path);
  // Sorted case-insensitively, like the registry enumerates subkeys.
  QStringList SubkeyNames(KeyId key);
  // Deletes the key with all its subkeys and values. False when it does not
  // exist; raises for a root (empty path) or on failure.
  bool DeleteKey(KeyRoot root, const QString& path);

  bool ValueExists(KeyId key, const QString& name);
  // Empty when the key or the value does not exist.
  std::optional<StoredValue> ReadValue(KeyId key, const QString& name);
  std::optional<ValueKind> ValueType(KeyId key, const QString& name);
  // Creates or replaces the value; a replaced value keeps its first name and
  // its place in ValueNames(). Raises when the key was deleted meanwhile.
  void WriteValue(KeyId key, const QString& name, const StoredValue& value);
  // False when the value does not exist.
  bool DeleteValue(KeyId key, const QString& name);
  // In the order the values were created.
  QStringList ValueNames(KeyId key);
  // The subkeys with their ids, sorted as SubkeyNames sorts them.
  std::vector<std::pair<KeyId, QString>> Subkeys(KeyId key);
  // Every value of the key with its name, in creation order, in one query:
  // a reader of many values does not pay a query per value. Raises when a
  // value is damaged.
  std::vector<NamedValue> Values(KeyId key);
  // The same for many keys at once (element i for keys[i]), all read in one
  // snapshot. Many keys are read in one pass over the values in the order
  // they are stored, rather than a lookup per value.
  std::vector<std::vector<NamedValue>> Values(const std::vector<KeyId>& keys);
  // Creates or replaces several values in one transaction: all of them are
  // written, or none (a crash in between never leaves a part).
  void WriteValues(KeyId key, const std::vector<NamedValue>& values);

  // Writes the key's values and all its subkeys to a new standalone SQLite
  // file (a hive). Raises when the key does not exist or `file` exists; an
  // existing file is never touched.
  void SaveKey(KeyRoot root, const QString& path, const QString& file);
  // Replaces the key's values and subkeys (creating the key if needed) with
  // those of a hive written by SaveKey. The file is validated completely
  // first; a file that is not a hive, or is truncated or damaged, raises and
  // changes nothing.
  void RestoreKey(KeyRoot root, const QString& path, const QString& file);

  // The non-empty components of a backslash path.
  static QStringList SplitPath(const QString& path);

 private:
  void OpenFile(bool immutable);
  void Initialise();
  void RequireWritable() const;
  // The connection, opened again after Unload.
  sqlite3* Db();

  QString path_;
  bool readOnly_ = false;
  bool immutable_ = false;
  bool wal_ = false;
  std::shared_ptr<const SqliteEntries> sqlite_;
  sqlite3* db_ = nullptr;
  std::mutex mutex_;
};

}  // namespace velmar
