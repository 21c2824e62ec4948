#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include "history/day_key_dates.h"

namespace velmar {

class KeyStore;

// Purge, backup and restore of the history, and the deletion of report
// profiles.
class HistoryMaintenance {
 public:
  HistoryMaintenance(KeyStore* store, DayKeyDates& dates) : store_(store), dates_(dates) {}

  void SetStore(KeyStore* store) { store_ = store; }

  // "H_" and today as MMddyy.
  static QString DefaultBackupName(const QDate& today);

  // Deletes every day key (with its alarm log) whose date is earlier than
  // `cutOff`. Keys whose name is not a date in the current format are
  // kept. Returns the names deleted.
  QStringList Purge(const QDate& cutOff);

  // The History key to a hive file; raises when the save fails. An
  // existing `file` raises too, unless `replaceExisting`: then the hive is
  // written whole beside it first and renamed over it, so the old file is
  // only ever replaced by a complete backup.
  void Backup(const QString& file, bool replaceExisting = false);
  // Replaces the History key with a hive file's content; raises, changing
  // nothing, when the file is not a sound hive.
  void Restore(const QString& file);

  struct ProfileResult {
    bool refused = false;  // outside the profiles folder: nothing touched
    bool allDeleted = true;
    QString folder;  // the profile folder as the messages name it
  };
  // Deletes the files of `folder`, then the folder if it is empty. Refuses
  // any folder that is not strictly inside `profilesRoot` once links and
  // ".." are resolved.
  static bool IsProfileFolder(const QString& folder, const QString& profilesRoot);
  static ProfileResult DeleteProfile(const QString& folder, const QString& profilesRoot);

 private:
  KeyStore* store_;
  DayKeyDates& dates_;
};

}  // namespace velmar
