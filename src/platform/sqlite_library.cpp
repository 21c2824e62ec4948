#include "platform/sqlite_library.h"

#include <memory>
#include <mutex>

#include "platform/dynamic_library.h"
#include "platform/key_store.h"

namespace velmar {
namespace {

constexpr char kLibrary[] = "libsqlite3.so.0";

std::mutex loadMutex;
std::weak_ptr<const SqliteEntries> current;
// Written only while nobody holds the library, so readers under a hold
// always see the table of the load they hold.
SqliteEntries entries;

}  // namespace

SqliteHold HoldSqlite() {
  std::lock_guard lock(loadMutex);
  if (SqliteHold held = current.lock()) {
    return held;
  }
  // Unloaded when the last hold goes, or here when an entry is missing.
  auto library = std::make_shared<DynamicLibrary>();
  if (!library->Load(kLibrary)) {
    throw KeyStoreError(QStringLiteral("Cannot load %1: %2")
                            .arg(kLibrary, QString::fromStdString(library->LastError())));
  }
  SqliteEntries loaded;
#define VELMAR_SQLITE_RESOLVE(name)                                                         \
  loaded.name = reinterpret_cast<decltype(loaded.name)>(library->Symbol("sqlite3_" #name)); \
  if (loaded.name == nullptr) {                                                             \
    throw KeyStoreError(QStringLiteral("%1 lacks sqlite3_%2").arg(kLibrary, #name));        \
  }
  VELMAR_SQLITE_ENTRIES(VELMAR_SQLITE_RESOLVE)
#undef VELMAR_SQLITE_RESOLVE
  entries = loaded;
  SqliteHold hold(&entries, [library](const SqliteEntries*) {
    std::lock_guard unload(loadMutex);
    library->Unload();
  });
  current = hold;
  return hold;
}

const SqliteEntries& Sqlite() {
  return entries;
}

}  // namespace velmar
