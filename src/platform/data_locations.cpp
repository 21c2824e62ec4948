#include "platform/data_locations.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/app_paths.h"

namespace velmar {

namespace {

QString XdgFolder(const char* variable, const QString& fallbackBelowHome) {
  const QString value = qEnvironmentVariable(variable);
  if (value.isEmpty() || QDir::isRelativePath(value)) {
    return QDir::homePath() + QLatin1Char('/') + fallbackBelowHome;
  }
  return value;
}

}  // namespace

DataLocations::DataLocations(Folders folders, const WritableProbe& writable)
    : dataHome_(std::move(folders.dataHome)) {
  const QString beside = folders.executableDir;
  if (QFileInfo::exists(beside + QLatin1Char('/') + QLatin1String(kSettingsFileName))) {
    besideExecutable_ = true;
  } else {
    // An installed tree keeps its users' files out of bin/ even where bin/
    // could be written (root, a prefix in the user's home).
    besideExecutable_ = !folders.installedTree && writable(beside);
  }
  folder_ = besideExecutable_ ? beside : folders.configHome + QStringLiteral("/velmar");
}

DataLocations DataLocations::Current() {
  return DataLocations({ExecutableDir(), ConfigHome(), DataHome(), RunsFromInstalledTree()});
}

QString DataLocations::SettingsFile() const {
  return folder_ + QLatin1Char('/') + QLatin1String(kSettingsFileName);
}

QString DataLocations::ProfilesFolder() const {
  return folder_ + QStringLiteral("/Profiles");
}

QString DataLocations::BackupsFolder() const {
  return folder_ + QStringLiteral("/HistoryBackups");
}

QString DataLocations::DataFolder() const {
  return dataHome_ + QStringLiteral("/velmar");
}

QString DataLocations::ConfigHome() {
  return XdgFolder("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

QString DataLocations::DataHome() {
  return XdgFolder("XDG_DATA_HOME", QStringLiteral(".local/share"));
}

bool DataLocations::IsWritableFolder(const QString& folder) {
  // access() asks with the real user's rights, the ones a file created
  // here would get.
  return QFileInfo(folder).isDir() && ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

}  // namespace velmar
