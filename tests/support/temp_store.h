#pragma once

#include <QTemporaryDir>
#include <memory>

#include "platform/key_store.h"

namespace velmar::test {

// A key store of its own in a fresh directory, removed afterwards.
struct TempStore {
  QTemporaryDir dir;
  std::unique_ptr<KeyStore> store =
      std::make_unique<KeyStore>(dir.filePath(QStringLiteral("registry.db")));
};

}  // namespace velmar::test
