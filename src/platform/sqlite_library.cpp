#include "platform/sqlite_library.h"

#include <dlfcn.h>

#include <mutex>

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
  void* handle = ::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    throw KeyStoreError(
        QStringLiteral("Cannot load %1: %2").arg(kLibrary, QString::fromLocal8Bit(::dlerror())));
  }
  SqliteEntries loaded;
#define VELMAR_SQLITE_RESOLVE(name)                                                         \
  loaded.name = reinterpret_cast<decltype(loaded.name)>(::dlsym(handle, "sqlite3_" #name)); \
  if (loaded.name == nullptr) {                                                             \
    ::dlclose(handle);                                                                      \
    throw KeyStoreError(QStringLiteral("%1 lacks sqlite3_%2").arg(kLibrary, #name));        \
  }
  VELMAR_SQLITE_ENTRIES(VELMAR_SQLITE_RESOLVE)
#undef VELMAR_SQLITE_RESOLVE
  entries = loaded;
  SqliteHold hold(&entries, [handle](const SqliteEntries*) {
    std::lock_guard unload(loadMutex);
    ::dlclose(handle);
  });
  current = hold;
  return hold;
}

const SqliteEntries& Sqlite() {
  return entries;
}

}  // namespace velmar
