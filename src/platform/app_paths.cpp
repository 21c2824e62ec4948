#include "platform/app_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "platform/install_layout.h"

namespace velmar {

namespace {

QString Installed(const char* relativeDir, const QString& name = QString()) {
  const QString dir =
      QDir::cleanPath(ExecutableDir() + QLatin1Char('/') + QString::fromLatin1(relativeDir));
  return name.isEmpty() ? dir : dir + QLatin1Char('/') + name;
}

QString BesideOrInstalled(const QString& beside, const QString& installed) {
  if (QFileInfo::exists(beside) || !QFileInfo::exists(installed)) {
    return beside;
  }
  return installed;
}

}  // namespace

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

QString AgentLibraryPath(const QString& fileName) {
  return BesideOrInstalled(ExecutableDir() + QLatin1Char('/') + fileName,
                           Installed(install_layout::kAgentLibraryDir, fileName));
}

QString HelpIndexPath() {
  const QString page = QStringLiteral("help/index.html");
  return BesideOrInstalled(ExecutableDir() + QLatin1Char('/') + page,
                           Installed(install_layout::kDataDir, page));
}

QString IconThemeDir() {
  const QString dir = Installed(install_layout::kIconThemeDir);
  return QFileInfo(dir).isDir() ? dir : QString();
}

bool RunsFromInstalledTree() {
  return QFileInfo(Installed(install_layout::kDataDir)).isDir();
}

}  // namespace velmar
