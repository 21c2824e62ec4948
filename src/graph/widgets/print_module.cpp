#include "graph/widgets/print_module.h"

#include "platform/app_paths.h"
#include "platform/dynamic_library.h"
#include "platform/exception.h"

namespace velmar {

const PrintEntries& PrintModule() {
  static DynamicLibrary* library = new DynamicLibrary;
  static const PrintEntries* entries = nullptr;
  if (entries == nullptr) {
    const QString path = AgentLibraryPath(QStringLiteral("libvelmarprint.so"));
    if (!library->Load(path.toStdString())) {
      throw Exception(QStringLiteral("The print library %1 cannot be loaded: %2")
                          .arg(path, QString::fromStdString(library->LastError())));
    }
    const auto get = reinterpret_cast<PrintEntriesGet>(library->Symbol(VELMAR_PRINT_ENTRIES_NAME));
    if (get == nullptr) {
      library->Unload();
      throw Exception(QStringLiteral("%1 has no %2 entry.")
                          .arg(path, QStringLiteral(VELMAR_PRINT_ENTRIES_NAME)));
    }
    entries = get();
  }
  return *entries;
}

}  // namespace velmar
