#include "app_paths.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace velmar {

QString ExecutableDir() {
  const QString over = qEnvironmentVariable("VELMAR_APP_DIR");
  if (!over.isEmpty()) {
    return over;
  }
  if (QCoreApplication::instance() != nullptr) {
    return QCoreApplication::applicationDirPath();
  }
  return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section('/', 0, -2);
}

}  // namespace velmar
