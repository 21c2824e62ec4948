#include "history/history_commands.h"

#include <QDir>
#include <QFileInfo>
#include <optional>

#include "platform/exception.h"
#include "platform/user_interface.h"

namespace velmar {

void HistoryCommands::PurgeWithBackup() {
  UserInterface& ui = UserInterface::Get();
  ui.Beep();
  const QDate today = dates_.Now().date();
  const std::optional<QDate> cutOff = ui.PickDate(today);
  if (!cutOff) {
    return;  // a cancelled date is a cancelled purge
  }
  if (ui.Question(QStringLiteral("Do you want to save a backup of history before any data is "
                                 "cleared from the registry?")) == UserInterface::Answer::Yes) {
    const QString backups = locations_.BackupsFolder();
    const QString folder = QDir().mkpath(backups) ? backups : locations_.Folder();
    const QString file = ui.SaveFileName(folder, HistoryMaintenance::DefaultBackupName(today),
                                         QStringLiteral("reg"));
    if (!file.isEmpty()) {
      try {
        // The save dialog has asked before offering an existing file, so
        // it is replaced, by a complete backup only.
        maintenance_.Backup(file, true);
        // The folder named is the one the file went to.
        ui.Message(QStringLiteral("Velmar History is saved as \"hive file\" in directory ") +
                   QFileInfo(file).absolutePath() +
                   QStringLiteral("\r\nThis file can be restored by using the \"Restore saved "
                                  "History\" function on the Velmar \"Reporting\" tab-page."));
      } catch (const Exception& error) {
        // The user wanted a backup before anything is deleted: without one
        // the purge does not go on.
        ui.Message(QStringLiteral("No backup was written: ") + error.Message() +
                   QStringLiteral("\r\nNothing was cleared from the history."));
        return;
      }
    }
  }
  if (ui.Question(QStringLiteral("This will clear all recorded history events up to (but not "
                                 "including) ") +
                  dates_.Name(*cutOff) + QStringLiteral(". Are you sure?")) !=
      UserInterface::Answer::Yes) {
    return;
  }
  maintenance_.Purge(*cutOff);
}

void HistoryCommands::RestoreBackup() {
  UserInterface& ui = UserInterface::Get();
  const QString backups = locations_.BackupsFolder();
  const QString folder = QFileInfo(backups).isDir() ? backups : locations_.Folder();
  const QString file = ui.OpenFileName(folder, QString(), QStringLiteral("reg"));
  if (file.isEmpty()) {
    return;
  }
  if (ui.Question(QStringLiteral(
          "Are you sure you want to restore all history events stored in this file?")) !=
      UserInterface::Answer::Yes) {
    return;
  }
  try {
    maintenance_.Restore(file);
    ui.Message(QStringLiteral("History data was succesfully added/restored to the registry!"));
  } catch (const Exception&) {
    // A file that is not a sound hive changes nothing and, like any failed
    // restore, shows nothing.
  }
}

void HistoryCommands::DeleteProfile() {
  UserInterface& ui = UserInterface::Get();
  const QString root = locations_.ProfilesFolder();
  // A profile is a folder: the user chooses the folder itself, so one with
  // no plain files in it can be chosen as well.
  const QString chosen = ui.FolderName(root);
  if (chosen.isEmpty()) {
    return;
  }
  const QString folder = QDir(chosen).absolutePath();
  if (!HistoryMaintenance::IsProfileFolder(folder, root)) {
    ui.Message(QStringLiteral("%1 is not a report profile: only folders inside %2 can be "
                              "deleted.")
                   .arg(folder, root));
    return;
  }
  if (ui.Question(QStringLiteral("Delete the report profile %1 and all its files?").arg(folder)) !=
      UserInterface::Answer::Yes) {
    return;
  }
  const HistoryMaintenance::ProfileResult result = HistoryMaintenance::DeleteProfile(folder, root);
  if (result.allDeleted) {
    ui.Message(QStringLiteral("Profile ") + result.folder + QStringLiteral(" deleted"));
  } else {
    ui.Message(QStringLiteral("Error deleting Profile ") + result.folder +
               QStringLiteral(" or one of it's components! Please try manually using a file "
                              "manager..."));
  }
}

}  // namespace velmar
