#include "history/history_maintenance.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "history/history_recorder.h"
#include "platform/registry.h"

namespace velmar {

namespace {

KeyStore& Store(KeyStore* store) {
  if (store == nullptr) {
    throw RegistryError("Failed to get data for 'History'");
  }
  return *store;
}

}  // namespace

QString HistoryMaintenance::DefaultBackupName(const QDate& today) {
  return QStringLiteral("H_") + today.toString(QStringLiteral("MMddyy"));
}

QStringList HistoryMaintenance::Purge(const QDate& cutOff) {
  QStringList names;
  {
    Registry reg(Store(store_));
    reg.SetRootKey(KeyRoot::kMachine);
    if (reg.OpenKey(HistoryRecorder::kHistoryKey, true)) {
      names = reg.GetKeyNames();
    }
  }
  QStringList deleted;
  for (const QString& name : names) {
    try {
      const std::optional<QDate> date = dates_.Parse(name);
      if (!date || *date >= cutOff) {
        continue;
      }
      Registry reg(Store(store_));
      reg.SetRootKey(KeyRoot::kMachine);
      const QString day = HistoryRecorder::DayKey(name);
      if (reg.OpenKey(day, false) && reg.KeyExists(QStringLiteral("alarms"))) {
        reg.DeleteKey(QStringLiteral("alarms"));
      }
      reg.CloseKey();
      if (reg.DeleteKey(day)) {
        deleted << name;
      }
    } catch (const Exception&) {
      // One day key that cannot be handled is kept; the others go on.
    }
  }
  return deleted;
}

void HistoryMaintenance::Backup(const QString& file, bool replaceExisting) {
  Registry reg(Store(store_));
  reg.SetRootKey(KeyRoot::kMachine);
  if (!replaceExisting) {
    reg.SaveKey(HistoryRecorder::kHistoryKey, file);
    return;
  }
  // A folder of our own beside the target: the hive is written there as a
  // new file (the store never writes over one) and then renamed into place
  // on the same file system.
  const QFileInfo target(file);
  QTemporaryDir scratch(target.absolutePath() + QStringLiteral("/.velmar-backup-XXXXXX"));
  if (!scratch.isValid()) {
    throw RegistryError(QStringLiteral("Cannot write in '%1': %2")
                            .arg(target.absolutePath(), scratch.errorString()));
  }
  const QString written = scratch.filePath(QStringLiteral("history.reg"));
  reg.SaveKey(HistoryRecorder::kHistoryKey, written);
  if (::rename(QFile::encodeName(written).constData(), QFile::encodeName(file).constData()) != 0) {
    throw RegistryError(QStringLiteral("Cannot replace '%1': %2")
                            .arg(file, QString::fromLocal8Bit(std::strerror(errno))));
  }
}

void HistoryMaintenance::Restore(const QString& file) {
  Registry reg(Store(store_));
  reg.SetRootKey(KeyRoot::kMachine);
  reg.RestoreKey(HistoryRecorder::kHistoryKey, file);
}

bool HistoryMaintenance::IsProfileFolder(const QString& folder, const QString& profilesRoot) {
  // Links and ".." resolved first: only a real folder below the profiles
  // folder qualifies, never the profiles folder itself.
  const QString root = QFileInfo(profilesRoot).canonicalFilePath();
  const QString target = QFileInfo(folder).canonicalFilePath();
  return !root.isEmpty() && !target.isEmpty() && QFileInfo(target).isDir() &&
         target.startsWith(root + QLatin1Char('/'));
}

HistoryMaintenance::ProfileResult HistoryMaintenance::DeleteProfile(const QString& folder,
                                                                    const QString& profilesRoot) {
  ProfileResult result;
  result.folder = QDir(folder).absolutePath() + QLatin1Char('/');
  if (!IsProfileFolder(folder, profilesRoot)) {
    result.refused = true;
    result.allDeleted = false;
    return result;
  }
  const QString root = QFileInfo(profilesRoot).canonicalFilePath();
  const QString target = QFileInfo(folder).canonicalFilePath();
  QDir dir(target);
  const QFileInfoList entries =
      dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  for (const QFileInfo& entry : entries) {
    // A link inside the profile is removed as a link; what it points to
    // is never touched.
    if (!QFile::remove(entry.absoluteFilePath())) {
      result.allDeleted = false;
    }
  }
  // Removing fails, unreported, while a subfolder or a file remains.
  QDir(root).rmdir(target);
  return result;
}

}  // namespace velmar
