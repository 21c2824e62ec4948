#include "history/history_report.h"

#include <gtest/gtest.h>

#include "history/history_recorder.h"
#include "platform/registry.h"
#include "support/temp_store.h"

namespace velmar {
namespace {

TEST(HistoryReportTest, RecordsReadBackInKilobitsWithTheirTimes) {
  test::TempStore store;
  MeasurementState state;
  state.AnalysisActive = true;
  DayKeyDates dates;
  dates.Format = [] { return QString("yyyy-MM-dd"); };
  dates.Now = [] { return QDateTime(QDate(2026, 12, 8), QTime(14, 30, 15)); };
  HistoryRecorder recorder(state, store.store.get(), dates);
  state.DownAverage = 125000;
  state.UpAverage = 1250;
  recorder.RecordTick();
  Registry reg(*store.store);
  reg.SetRootKey(KeyRoot::kMachine);
  ASSERT_TRUE(reg.OpenKey(HistoryRecorder::kHistoryKey + "\\2026-12-08\\Alarms", true));
  reg.WriteString("2026-12-08 14:31:00", "1000000001");
  reg.CloseKey();
  ASSERT_TRUE(reg.OpenKey(HistoryRecorder::kHistoryKey + "\\2026-12-08", false));
  reg.WriteInteger("HighWater", 3);  // record 2 never completed, 3 never started
  reg.WriteInteger("AvgUpSpeed_2", 1);
  reg.CloseKey();

  const QStringList lines = HistoryReport(*store.store, 0);
  ASSERT_EQ(lines.size(), 4) << lines.join("\n").toStdString();
  EXPECT_EQ(lines[0], "2026-12-08");
  EXPECT_EQ(lines[1], "     1  2026-12-08 14:30:15  down 1000.00 kbit/s  up 10.00 kbit/s");
  EXPECT_EQ(lines[2], "     2  (incomplete record)");
  EXPECT_EQ(lines[3], "  alarm 2026-12-08 14:31:00  code 1000000001");
  EXPECT_TRUE(HistoryReport(*store.store, 1)[1].contains("down 976.56 kbit/s"));

  // A damaged HighWater at the top of its range lists what is there, at once.
  ASSERT_TRUE(reg.OpenKey(HistoryRecorder::kHistoryKey + "\\2026-12-08", false));
  reg.WriteInteger("HighWater", 2147483647);
  reg.WriteInteger("AvgUpSpeed_2147483647", 1);
  reg.CloseKey();
  const QStringList damaged = HistoryReport(*store.store, 0);
  ASSERT_EQ(damaged.size(), 5) << damaged.join("\n").toStdString();
  EXPECT_EQ(damaged[3], "  2147483647  (incomplete record)");

  test::TempStore empty;
  EXPECT_TRUE(HistoryReport(*empty.store, 0).isEmpty());
}

}  // namespace
}  // namespace velmar
