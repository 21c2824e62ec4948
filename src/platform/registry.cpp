#include "registry.h"

#include <QtDebug>

namespace velmar {

namespace {

ERegistryException SetFailed(const QString& name) {
  return ERegistryException(QStringLiteral("Failed to set data for '%1'").arg(name));
}

ERegistryException GetFailed(const QString& name) {
  return ERegistryException(QStringLiteral("Failed to get data for '%1'").arg(name));
}

}  // namespace

TRegistry::TRegistry() : TRegistry(KeyStore::Default()) {}

TRegistry::TRegistry(KeyStore& store) : store_(store) {}

void TRegistry::SetRootKey(RegRoot root) {
  CloseKey();
  root_ = root;
}

QString TRegistry::Resolve(const QString& key) const {
  QStringList parts = KeyStore::SplitPath(key);
  if (key_ && !key.startsWith(QLatin1Char('\\'))) {
    parts = KeyStore::SplitPath(currentPath_) + parts;
  }
  return parts.join(QLatin1Char('\\'));
}

bool TRegistry::OpenKey(const QString& key, bool canCreate) {
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

void TRegistry::CloseKey() {
  key_.reset();
  currentPath_.clear();
}

std::optional<RegValue> TRegistry::Read(const QString& name) {
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

RegValue TRegistry::ReadTyped(const QString& name, RegDataType type) {
  const auto value = Read(name);
  if (!value) {
    throw GetFailed(name);
  }
  if (value->type != type) {
    throw ERegistryException(QStringLiteral("Invalid data type for '%1'").arg(name));
  }
  return *value;
}

void TRegistry::Write(const QString& name, const RegValue& value) {
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

QString TRegistry::ReadString(const QString& name) {
  return ReadTyped(name, REG_SZ).text;
}

void TRegistry::WriteString(const QString& name, const QString& value) {
  Write(name, RegValue::String(value));
}

qint32 TRegistry::ReadInteger(const QString& name) {
  return ReadTyped(name, REG_DWORD).dword;
}

void TRegistry::WriteInteger(const QString& name, qint32 value) {
  Write(name, RegValue::DWord(value));
}

bool TRegistry::ReadBool(const QString& name) {
  return ReadInteger(name) != 0;
}

void TRegistry::WriteBool(const QString& name, bool value) {
  WriteInteger(name, value ? 1 : 0);
}

QByteArray TRegistry::ReadBinaryData(const QString& name) {
  return ReadTyped(name, REG_BINARY).binary;
}

void TRegistry::WriteBinaryData(const QString& name, const QByteArray& value) {
  Write(name, RegValue::Binary(value));
}

bool TRegistry::ValueExists(const QString& name) {
  return GetDataType(name) != REG_NONE;
}

RegDataType TRegistry::GetDataType(const QString& name) {
  const auto value = Read(name);
  return value ? value->type : REG_NONE;
}

int TRegistry::GetDataSize(const QString& name) {
  const auto value = Read(name);
  if (!value) {
    return -1;
  }
  switch (value->type) {
    case REG_SZ:
      return int(value->text.toUtf8().size());
    case REG_DWORD:
      return int(sizeof(qint32));
    case REG_BINARY:
      return int(value->binary.size());
    case REG_NONE:
      break;
  }
  return -1;
}

QStringList TRegistry::GetValueNames() {
  if (!key_) {
    return {};
  }
  return store_.ValueNames(*key_);
}

bool TRegistry::DeleteValue(const QString& name) {
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

bool TRegistry::KeyExists(const QString& key) {
  return store_.KeyExists(root_, Resolve(key));
}

QStringList TRegistry::GetKeyNames() {
  if (!key_) {
    return {};
  }
  return store_.SubkeyNames(*key_);
}

bool TRegistry::DeleteKey(const QString& key) {
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

void TRegistry::SaveKey(const QString& key, const QString& file) {
  try {
    store_.SaveKey(root_, Resolve(key), file);
  } catch (const Exception& error) {
    throw ERegistryException(
        QStringLiteral("Failed to save key '%1' to '%2': %3").arg(key, file, error.Message()));
  }
}

void TRegistry::RestoreKey(const QString& key, const QString& file) {
  try {
    store_.RestoreKey(root_, Resolve(key), file);
  } catch (const Exception& error) {
    throw ERegistryException(
        QStringLiteral("Failed to restore key '%1' from '%2': %3").arg(key, file, error.Message()));
  }
}

}  // namespace velmar
