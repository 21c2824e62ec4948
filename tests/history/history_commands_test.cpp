#include "history/history_commands.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "history/history_recorder.h"
#include "platform/registry.h"
#include "support/scripted_ui.h"
#include "support/temp_store.h"

namespace velmar {
namespace {

class HistoryCommandsTest : public ::testing::Test {
 protected:
  HistoryCommandsTest()
      : maintenance(store.store.get(), dates),
        locations(DataLocations::Folders{app.path(), app.path(), app.path(), false},
                  [](const QString&) { return true; }),
        commands(maintenance, dates, locations) {
    dates.Format = [] { return QString("dd.MM.yyyy"); };
    dates.Now = [] { return QDateTime(QDate(2026, 12, 8), QTime(10, 0)); };
  }
  void Day(const QString& name) {
    Registry reg(*store.store);
    reg.SetRootKey(KeyRoot::kMachine);
    ASSERT_TRUE(reg.OpenKey(HistoryRecorder::kHistoryKey + "\\" + name, true));
    reg.WriteInteger("HighWater", 1);
  }
  QStringList Days() {
    Registry reg(*store.store);
    reg.SetRootKey(KeyRoot::kMachine);
    return reg.OpenKey(HistoryRecorder::kHistoryKey, false) ? reg.GetKeyNames() : QStringList();
  }
  QString App(const QString& rel) { return app.filePath(rel); }

  QTemporaryDir app;
  test::TempStore store;
  DayKeyDates dates;
  HistoryMaintenance maintenance;
  DataLocations locations;
  HistoryCommands commands;
  test::ScriptedUi ui;
};

TEST_F(HistoryCommandsTest, DeleteProfilesTakesAFolderEvenOneWithoutFiles) {
  QDir(app.path()).mkpath("Profiles/empty");
  QDir(app.path()).mkpath("Profiles/nested/charts");

  ui.files = {App("Profiles/empty")};
  ui.answers = {UserInterface::Answer::Yes};
  commands.DeleteProfile();
  EXPECT_EQ(ui.fileDialogs.last(), "folder:" + App("Profiles"));
  EXPECT_EQ(ui.messages.last(), "Profile " + App("Profiles/empty") + "/ deleted");
  EXPECT_FALSE(QFileInfo::exists(App("Profiles/empty")));

  // A folder holding only folders can be chosen; "No" keeps it.
  ui.files = {App("Profiles/nested")};
  commands.DeleteProfile();
  EXPECT_EQ(ui.questions.last(),
            "Delete the report profile " + App("Profiles/nested") + " and all its files?");
  EXPECT_TRUE(QFileInfo::exists(App("Profiles/nested/charts")));
}

TEST_F(HistoryCommandsTest, ABackupReplacesAnExistingFileOrStopsBeforeThePurge) {
  Day("06.12.2026");
  Day("08.12.2026");
  QDir(app.path()).mkpath("HistoryBackups/taken.reg");
  const QString existing = App("HistoryBackups/H_120826.reg");
  QFile old(existing);
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("an older backup");
  old.close();

  // Nowhere to write it, or a folder in the way: said, and no purge.
  for (const QString& file : {App("missing/H.reg"), App("HistoryBackups/taken.reg")}) {
    ui.dates = {QDate(2026, 12, 8)};
    ui.answers = {UserInterface::Answer::Yes, UserInterface::Answer::Yes};
    ui.files = {file};
    ui.questions.clear();
    commands.PurgeWithBackup();
    ASSERT_FALSE(ui.messages.isEmpty());
    EXPECT_TRUE(ui.messages.last().startsWith("No backup was written: "))
        << ui.messages.last().toStdString();
    EXPECT_TRUE(ui.messages.last().endsWith("Nothing was cleared from the history."));
    EXPECT_EQ(ui.questions.size(), 1) << "the purge is not offered";
    EXPECT_EQ(Days().size(), 2);
  }

  // The existing file chosen (the dialog confirmed it): replaced whole, and
  // the purge goes on.
  ui.dates = {QDate(2026, 12, 8)};
  ui.answers = {UserInterface::Answer::Yes, UserInterface::Answer::Yes};
  ui.files = {existing};
  commands.PurgeWithBackup();
  EXPECT_TRUE(ui.messages.last().startsWith("Velmar History is saved"))
      << ui.messages.last().toStdString();
  EXPECT_EQ(Days(), QStringList{"08.12.2026"});
  maintenance.Restore(existing);
  EXPECT_EQ(Days(), (QStringList{"06.12.2026", "08.12.2026"}));
  EXPECT_EQ(
      QDir(App("HistoryBackups")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
      (QStringList{"H_120826.reg", "taken.reg"}))
      << "no scratch file is left behind";
  EXPECT_THROW(maintenance.Backup(existing), Exception) << "without the confirmation: refused";

  // The restore dialog asks for the backups' extension.
  commands.RestoreBackup();
  EXPECT_EQ(ui.fileDialogs.last(), "open:" + App("HistoryBackups") + "||reg");
}

}  // namespace
}  // namespace velmar
