#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

#include "platform/exception.h"
#include "platform/key_store.h"

namespace velmar {

// What Registry raises; the texts are the ones the meter always showed.
class RegistryError : public Exception {
 public:
  using Exception::Exception;
};

// The short-lived accessor over a KeyStore, shaped like Delphi's Registry so
// the settings code keeps its familiar form:
//
//   Registry reg;
//   if (reg.OpenKey("\\Software\\Tollera Works\\Velmar2000", true)) {
//     reg.WriteInteger("RCWidth", 420);
//   }
//
// Key arguments follow Delphi: a key starting with a backslash, or any key
// while none is open, is relative to RootKey(); otherwise it is relative to
// the open key. OpenKey("\\") opens the root key itself.
//
// Value calls act on the open key; with none open, reads raise "Failed to
// get data", writes "Failed to set data", and the queries answer false/empty.
class Registry {
 public:
  // Uses KeyStore::Default(); raises KeyStoreError when it cannot be opened.
  Registry();
  explicit Registry(KeyStore& store);
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // KeyRoot::kUser until set. Setting it closes the open key.
  KeyRoot RootKey() const { return root_; }
  void SetRootKey(KeyRoot root);

  // False when the key does not exist and `canCreate` is false, or when it
  // cannot be created (read-only store). The previous key stays open then.
  bool OpenKey(const QString& key, bool canCreate);
  void CloseKey();
  // The open key's path below the root, without a leading backslash; empty
  // when no key (or the root itself) is open.
  QString CurrentPath() const { return currentPath_; }
  bool HasCurrentKey() const { return key_.has_value(); }

  QString ReadString(const QString& name);
  void WriteString(const QString& name, const QString& value);
  qint32 ReadInteger(const QString& name);
  void WriteInteger(const QString& name, qint32 value);
  // Stored as a ValueKind::kInteger 0 or 1, read as non-zero.
  bool ReadBool(const QString& name);
  void WriteBool(const QString& name, bool value);
  QByteArray ReadBinaryData(const QString& name);
  void WriteBinaryData(const QString& name, const QByteArray& value);
  // Several values in one transaction: all written, or none. A failure
  // raises "Failed to set data" naming the first value.
  void WriteValues(const std::vector<NamedValue>& values);

  bool ValueExists(const QString& name);
  // ValueKind::kNone when the value does not exist.
  ValueKind GetDataType(const QString& name);
  // Bytes for binary data, UTF-8 bytes for a string, 4 for an integer; -1
  // when the value does not exist.
  int GetDataSize(const QString& name);
  QStringList GetValueNames();
  // False when the value does not exist or cannot be deleted.
  bool DeleteValue(const QString& name);

  bool KeyExists(const QString& key);
  // The subkeys of the open key, sorted case-insensitively.
  QStringList GetKeyNames();
  // Deletes the key and everything below it. False when it does not exist,
  // cannot be deleted, or names the base it is relative to (an empty path).
  bool DeleteKey(const QString& key);

  // Save the key's subtree to a new file / replace it from one written by
  // SaveKey. Raise RegistryError saying why on any failure; a failed
  // restore changes nothing.
  void SaveKey(const QString& key, const QString& file);
  void RestoreKey(const QString& key, const QString& file);

 private:
  // The path below the root that `key` names, following the rules above.
  QString Resolve(const QString& key) const;
  std::optional<StoredValue> Read(const QString& name);
  StoredValue ReadTyped(const QString& name, ValueKind type);
  void Write(const QString& name, const StoredValue& value);

  KeyStore& store_;
  KeyRoot root_ = KeyRoot::kUser;
  std::optional<KeyStore::KeyId> key_;
  QString currentPath_;
};

}  // namespace velmar
