#include "history_commands.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "history_recorder.h"
#include "registry.h"
#include "scripted_ui.h"
#include "temp_store.h"

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
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(HistoryRecorder::kHistoryKey + "\\" + name, true));
    reg.WriteInteger("HighWater", 1);
  }
  QStringList Days() {
    Registry reg(*store.store);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
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
  QDir(app.path()).mkpath("Elsewhere");

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

  // Outside the profiles folder, or the folder itself: refused untouched.
  for (const QString& folder : {App("Elsewhere"), App("Profiles")}) {
    ui.files = {folder};
    const int asked = ui.questions.size();
    commands.DeleteProfile();
    EXPECT_TRUE(ui.messages.last().startsWith(folder + " is not a report profile"));
    EXPECT_EQ(ui.questions.size(), asked);
    EXPECT_TRUE(QFileInfo(folder).isDir());
  }
  // Cancelled: nothing asked, nothing said.
  const int said = ui.messages.size();
  commands.DeleteProfile();
  EXPECT_EQ(ui.messages.size(), said);
}

}  // namespace
}  // namespace velmar
