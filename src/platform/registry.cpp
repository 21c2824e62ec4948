#include "platform/registry.h"

#include <QtDebug>

namespace velmar {

namespace {

RegistryError SetFailed(const QString& name) {
  return RegistryError(QStringLiteral("Failed to set data for '%1'").arg(name));
}

RegistryError GetFailed(const QString& name) {
  return RegistryError(QStringLiteral("Failed to get data for '%1'").arg(name));
}

}  // namespace

Registry::Registry() : Registry(KeyStore::Default()) {}

Registry::Registry(KeyStore& store) : store_(store) {}

void Registry::SetRootKey(KeyRoot root) {
  CloseKey();
  root_ = root;
}

QString Registry::Resolve(const QString& key) const {
  QStringList parts = KeyStore::SplitPath(key);
  if (key_ && !key.startsWith(QLatin1Char('\\'))) {
    parts = KeyStore::SplitPath(currentPath_) + parts;
  }
  return parts.join(QLatin1Char('\\'));
}

bool Registry::OpenKey(const QString& key, bool canCreate) {
  const QString path = Resolve(key);
  try {
    const auto id = store_.OpenKey(root_, path, canCreate);
    if (!id) {
      return false;
    }
    key_ = id;
    currentPath_ = path;
    return true;
  } catch (const Exception& error) {
    // The caller only learns "false", like from Delphi; keep the cause.
    qWarning().noquote() << error.Message();
    return false;
  }
}

void Registry::CloseKey() {
  key_.reset();
  currentPath_.clear();
}

std::optional<StoredValue> Registry::Read(const QString& name) {
  if (!key_) {
    return std::nullopt;
  }
  try {
    return store_.ReadValue(*key_, name);
  } catch (const Exception& error) {
    qWarning().noquote() << error.Message();
    throw GetFailed(name);
  }
}

StoredValue Registry::ReadTyped(const QString& name, ValueKind type) {
  const auto value = Read(name);
  if (!value) {
    throw GetFailed(name);
  }
  if (value->type != type) {
    throw RegistryError(QStringLiteral("Invalid data type for '%1'").arg(name));
  }
  return *value;
}

void Registry::Write(const QString& name, const StoredValue& value) {
  if (!key_) {
    throw SetFailed(name);
  }
  try {
    store_.WriteValue(*key_, name, value);
  } catch (const Exception& error) {
    qWarning().noquote() << error.Message();
    throw SetFailed(name);
  }
}

void Registry::WriteValues(const std::vector<NamedValue>& values) {
  if (values.empty()) {
    return;
  }
  if (!key_) {
    throw SetFailed(values.front().name);
  }
  try {
    store_.WriteValues(*key_, values);
  } catch (const Exception& error) {
    qWarning().noquote() << error.Message();
    throw SetFailed(values.front().name);
  }
}

QString Registry::ReadString(const QString& name) {
  return ReadTyped(name, ValueKind::kText).text;
}

void Registry::WriteString(const QString& name, const QString& value) {
  Write(name, StoredValue::String(value));
}

qint32 Registry::ReadInteger(const QString& name) {
  return ReadTyped(name, ValueKind::kInteger).integer;
}

void Registry::WriteInteger(const QString& name, qint32 value) {
  Write(name, StoredValue::Integer(value));
}

bool Registry::ReadBool(const QString& name) {
  return ReadInteger(name) != 0;
}

void Registry::WriteBool(const QString& name, bool value) {
  WriteInteger(name, value ? 1 : 0);
}

QByteArray Registry::ReadBinaryData(const QString& name) {
  return ReadTyped(name, ValueKind::kBytes).binary;
}

void Registry::WriteBinaryData(const QString& name, const QByteArray& value) {
  Write(name, StoredValue::Binary(value));
}

bool Registry::ValueExists(const QString& name) {
  return GetDataType(name) != ValueKind::kNone;
}

ValueKind Registry::GetDataType(const QString& name) {
  const auto value = Read(name);
  return value ? value->type : ValueKind::kNone;
}

int Registry::GetDataSize(const QString& name) {
  const auto value = Read(name);
  if (!value) {
    return -1;
  }
  switch (value->type) {
    case ValueKind::kText:
      return int(value->text.toUtf8().size());
    case ValueKind::kInteger:
      return int(sizeof(qint32));
    case ValueKind::kBytes:
      return int(value->binary.size());
    case ValueKind::kNone:
      break;
  }
  return -1;
}

QStringList Registry::GetValueNames() {
  if (!key_) {
    return {};
  }
  return store_.ValueNames(*key_);
}

bool Registry::DeleteValue(const QString& name) {
  if (!key_) {
    return false;
  }
  try {
    return store_.DeleteValue(*key_, name);
  } catch (const Exception& error) {
    qWarning().noquote() << error.Message();
    return false;
  }
}

bool Registry::KeyExists(const QString& key) {
  return store_.KeyExists(root_, Resolve(key));
}

QStringList Registry::GetKeyNames() {
  if (!key_) {
    return {};
  }
  return store_.SubkeyNames(*key_);
}

bool Registry::DeleteKey(const QString& key) {
  // An empty path would name the key it is relative to; wiping the open key
  // or a whole root by passing "" is too easy a mistake to allow.
  if (KeyStore::SplitPath(key).isEmpty()) {
    return false;
  }
  try {
    return store_.DeleteKey(root_, Resolve(key));
  } catch (const Exception& error) {
    qWarning().noquote() << error.Message();
    return false;
  }
}

void Registry::SaveKey(const QString& key, const QString& file) {
  try {
    store_.SaveKey(root_, Resolve(key), file);
  } catch (const Exception& error) {
    throw RegistryError(
        QStringLiteral("Failed to save key '%1' to '%2': %3").arg(key, file, error.Message()));
  }
}

void Registry::RestoreKey(const QString& key, const QString& file) {
  try {
    store_.RestoreKey(root_, Resolve(key), file);
  } catch (const Exception& error) {
    throw RegistryError(
        QStringLiteral("Failed to restore key '%1' from '%2': %3").arg(key, file, error.Message()));
  }
}

}  // namespace velmar
