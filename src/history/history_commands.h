#pragma once

#include <QString>

#include "history/day_key_dates.h"
#include "history/history_maintenance.h"
#include "platform/data_locations.h"

namespace velmar {

// The Reporting tab's history and profile buttons as a person meets them:
// the questions, file choices and messages around HistoryMaintenance, all
// through the UserInterface seam. `locations` names the folders of
// "HistoryBackups" and "Profiles".
class HistoryCommands {
 public:
  HistoryCommands(HistoryMaintenance& maintenance, DayKeyDates& dates, DataLocations locations)
      : maintenance_(maintenance), dates_(dates), locations_(std::move(locations)) {}

  // "Purge/backup History": a cut-off date (cancelled: nothing), an offered
  // backup into HistoryBackups (an existing file chosen is replaced whole),
  // then the purge once confirmed. A backup that fails is reported and
  // ends the command before the purge.
  void PurgeWithBackup();
  // "Restore saved History": a hive file, confirmed, restored; a failed
  // restore changes nothing and shows nothing.
  void RestoreBackup();
  // "Delete Profiles": a profile folder chosen, confirmed and deleted;
  // anything outside "Profiles" refused.
  void DeleteProfile();

 private:
  HistoryMaintenance& maintenance_;
  DayKeyDates& dates_;
  DataLocations locations_;
};

}  // namespace velmar
