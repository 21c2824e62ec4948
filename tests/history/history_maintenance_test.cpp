#include "history/history_maintenance.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "history/history_recorder.h"
#include "platform/registry.h"
#include "support/temp_store.h"

namespace velmar {
namespace {

class HistoryMaintenanceTest : public ::testing::Test {
 protected:
  HistoryMaintenanceTest() : maintenance(store.store.get(), dates) {
    dates.Format = [] { return QString("dd.MM.yyyy"); };
    dates.Now = [] { return QDateTime(QDate(2026, 12, 8), QTime(10, 0)); };
  }
  void Day(const QString& name, int records, bool alarms = false) {
    Registry reg(*store.store);
    reg.SetRootKey(KeyRoot::kMachine);
    ASSERT_TRUE(reg.OpenKey(HistoryRecorder::kHistoryKey + "\\" + name, true));
    reg.WriteInteger("HighWater", records);
    for (int i = 1; i <= records; ++i)
      reg.WriteInteger(QString("AvgDownSpeed_%1").arg(i), i);
    if (alarms) {
      ASSERT_TRUE(reg.OpenKey("Alarms", true));
      reg.WriteString(name + " 10:00:00", "1");
    }
  }
  QStringList Days() {
    Registry reg(*store.store);
    reg.SetRootKey(KeyRoot::kMachine);
    if (!reg.OpenKey(HistoryRecorder::kHistoryKey, false))
      return {"(no History key)"};
    return reg.GetKeyNames();
  }
  // A text picture of the whole History tree, to compare before and after.
  QString Dump() {
    QString out;
    Registry reg(*store.store);
    reg.SetRootKey(KeyRoot::kMachine);
    std::function<void(const QString&)> walk = [&](const QString& path) {
      if (!reg.OpenKey(path, false))
        return;
      out += path + "\n";
      for (const QString& v : reg.GetValueNames()) {
        out += "  " + v + "=" +
               (reg.GetDataType(v) == ValueKind::kInteger ? QString::number(reg.ReadInteger(v))
                                                          : reg.ReadString(v)) +
               "\n";
      }
      const QStringList keys = reg.GetKeyNames();
      for (const QString& k : keys)
        walk(path + "\\" + k);
    };
    walk(HistoryRecorder::kHistoryKey);
    return out;
  }

  test::TempStore store;
  DayKeyDates dates;
  HistoryMaintenance maintenance;
};

TEST_F(HistoryMaintenanceTest, PurgeKeepsTheCutOffDayLaterDaysAndUnreadableNames) {
  Day("06.12.2026", 3, true);
  Day("07.12.2026", 1, true);
  Day("08.12.2026", 2, true);
  Day("09.12.2026", 1);
  Day("12/07/26", 1);  // written under another format
  Day("not a date", 1);
  const QStringList deleted = maintenance.Purge(QDate(2026, 12, 8));
  EXPECT_EQ(deleted, (QStringList{"06.12.2026", "07.12.2026"}));
  EXPECT_EQ(Days(), (QStringList{"08.12.2026", "09.12.2026", "12/07/26", "not a date"}));
  Registry reg(*store.store);
  reg.SetRootKey(KeyRoot::kMachine);
  EXPECT_TRUE(reg.KeyExists(HistoryRecorder::kHistoryKey + "\\08.12.2026\\Alarms"));

  // Empty and missing History keys.
  EXPECT_TRUE(maintenance.Purge(QDate(2030, 1, 1)).size() == 2);
  reg.DeleteKey(HistoryRecorder::kHistoryKey);
  EXPECT_TRUE(maintenance.Purge(QDate(2030, 1, 1)).isEmpty());
  EXPECT_EQ(Days(), QStringList()) << "a missing key is created empty";
}

TEST_F(HistoryMaintenanceTest, BackupAndRestoreGiveBackTheSavedTreeExactly) {
  QTemporaryDir dir;
  Day("07.12.2026", 2, true);
  Day("08.12.2026", 1);
  const QString saved = Dump();
  const QString file =
      dir.filePath(HistoryMaintenance::DefaultBackupName(QDate(2026, 12, 7)) + ".reg");
  EXPECT_TRUE(file.endsWith("/H_120726.reg"));
  maintenance.Backup(file);
  EXPECT_THROW(maintenance.Backup(file), Exception) << "an existing file is never overwritten";

  Day("09.12.2026", 4);  // recorded after the backup
  Day("08.12.2026", 5);
  maintenance.Restore(file);
  EXPECT_EQ(Dump(), saved);

  // Bad files change nothing.
  Day("10.12.2026", 1);
  const QString before = Dump();
  QFile garbage(dir.filePath("bad.reg"));
  ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
  garbage.write(QByteArray(5000, 'x'));
  garbage.close();
  EXPECT_THROW(maintenance.Restore(garbage.fileName()), Exception);
  QFile good(file);
  ASSERT_TRUE(good.open(QIODevice::ReadOnly));
  const QByteArray bytes = good.readAll();
  QFile truncated(dir.filePath("truncated.reg"));
  ASSERT_TRUE(truncated.open(QIODevice::WriteOnly));
  truncated.write(bytes.left(bytes.size() / 2));
  truncated.close();
  EXPECT_THROW(maintenance.Restore(truncated.fileName()), Exception);
  EXPECT_THROW(maintenance.Restore(dir.filePath("missing.reg")), Exception);
  EXPECT_EQ(Dump(), before);
}

TEST(ProfileDeletionTest, OnlyFoldersInsideProfilesAndOnlyTheirFiles) {
  QTemporaryDir app;
  QDir(app.path()).mkpath("Profiles/weekly/charts");
  QDir(app.path()).mkpath("Profiles/daily");
  QDir(app.path()).mkpath("Elsewhere");
  const auto touch = [&](const QString& rel) {
    QFile f(app.filePath(rel));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
  };
  touch("Profiles/weekly/a.prf");
  touch("Profiles/weekly/.hidden");
  touch("Profiles/weekly/charts/c.png");
  touch("Profiles/daily/d.prf");
  touch("Elsewhere/keep.txt");
  const QString root = app.filePath("Profiles");

  // A subfolder is left in place, with the folder around it.
  auto result = HistoryMaintenance::DeleteProfile(app.filePath("Profiles/weekly"), root);
  EXPECT_FALSE(result.refused);
  EXPECT_TRUE(result.allDeleted);
  EXPECT_FALSE(QFile::exists(app.filePath("Profiles/weekly/a.prf")));
  EXPECT_FALSE(QFile::exists(app.filePath("Profiles/weekly/.hidden")));
  EXPECT_TRUE(QFile::exists(app.filePath("Profiles/weekly/charts/c.png")));
  EXPECT_TRUE(QFileInfo(app.filePath("Profiles/weekly")).isDir());

  // An emptied folder goes.
  result = HistoryMaintenance::DeleteProfile(app.filePath("Profiles/daily"), root);
  EXPECT_TRUE(result.allDeleted);
  EXPECT_FALSE(QFileInfo::exists(app.filePath("Profiles/daily")));

  // Outside, the root itself, "..", and a link that leads out: refused.
  for (const QString& folder :
       {app.filePath("Elsewhere"), root, app.filePath("Profiles/weekly/../../Elsewhere"),
        QString("/tmp"), QString("")}) {
    result = HistoryMaintenance::DeleteProfile(folder, root);
    EXPECT_TRUE(result.refused) << folder.toStdString();
  }
  ASSERT_TRUE(QFile::link(app.filePath("Elsewhere"), app.filePath("Profiles/sneaky")));
  result = HistoryMaintenance::DeleteProfile(app.filePath("Profiles/sneaky"), root);
  EXPECT_TRUE(result.refused);
  EXPECT_TRUE(QFile::exists(app.filePath("Elsewhere/keep.txt")));
}

}  // namespace
}  // namespace velmar
