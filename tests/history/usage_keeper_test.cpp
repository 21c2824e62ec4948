#include "history/usage_keeper.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "history/history_reader.h"
#include "history/history_recorder.h"
#include "support/temp_store.h"

namespace velmar {
namespace {

// The keeper on a store of its own, with counters and a clock the test
// sets: a stop, a span "while not running", a start.
class UsageKeeperTest : public ::testing::Test {
 protected:
  UsageKeeperTest() : keeper(store.store.get(), dates) {
    dates.Format = [] { return QStringLiteral("yyyy-MM-dd"); };
    dates.Now = [this] { return now; };
    keeper.Take = [this] { return counters; };
    keeper.Counts = [] { return [](const QString& name) { return name == "eth0"; }; };
    counters.bootId = "boot-1";
    counters.interfaces = {{1, "lo", 0, 0}, {2, "eth0", 1000, 500}, {3, "wlan0", 70, 70}};
  }
  HistoryExtract ReadAll() {
    return HistoryReader(*store.store, dates)
        .Read(DayKeyDates::LocalMs(now.addDays(-40)), DayKeyDates::LocalMs(now.addSecs(1)));
  }
  CounterSnapshot::Interface& Eth0() { return counters.interfaces[1]; }

  test::TempStore store;
  DayKeyDates dates;
  QDateTime now{QDate(2026, 12, 8), QTime(10, 0)};
  CounterSnapshot counters;
  UsageKeeper keeper;
};

TEST_F(UsageKeeperTest, TheSpanOnTheSameBootIsARecordWhileNotRunning) {
  EXPECT_FALSE(keeper.Started().has_value()) << "nothing stored before the first start";
  keeper.Keep();  // the stop
  const QDateTime stopped = now;
  now = now.addSecs(3 * 3600);
  Eth0().received += 4'000'000'000;
  Eth0().transmitted += 300;
  counters.interfaces[2].received += 999;  // not the meter's interface
  const auto offline = keeper.Started();
  ASSERT_TRUE(offline.has_value());
  EXPECT_FALSE(offline->gap);
  EXPECT_EQ(offline->received, 4'000'000'000u);
  EXPECT_EQ(offline->transmitted, 300u);

  const HistoryExtract history = ReadAll();
  ASSERT_EQ(history.records.size(), 1u);
  const HistoryRecord& r = history.records[0];
  EXPECT_TRUE(r.counted);
  EXPECT_EQ(r.notRunningSince, DayKeyDates::LocalMs(stopped));
  EXPECT_EQ(r.at, DayKeyDates::LocalMs(now));
  EXPECT_EQ(r.downBytes, 4'000'000'000u);
  EXPECT_EQ(r.spanMs, 3 * 3600 * 1000);
  EXPECT_EQ(r.avgDown, 370370);  // bytes per second over the span
  EXPECT_TRUE(history.gaps.empty());

  // A start right after, with nothing moved, writes nothing more.
  keeper.Started();
  EXPECT_EQ(ReadAll().records.size(), 1u);
}

TEST_F(UsageKeeperTest, ADifferentBootIsAGapNotAVolume) {
  keeper.Keep();
  const QDateTime stopped = now;
  now = now.addSecs(600);
  counters.bootId = "boot-2";
  Eth0().received = 5'000'000;  // counts from the new boot
  const auto offline = keeper.Started();
  ASSERT_TRUE(offline.has_value());
  EXPECT_TRUE(offline->gap);
  const HistoryExtract history = ReadAll();
  EXPECT_TRUE(history.records.empty());
  ASSERT_EQ(history.gaps.size(), 1u);
  EXPECT_EQ(history.gaps[0].from, DayKeyDates::LocalMs(stopped));
  EXPECT_EQ(history.gaps[0].to, DayKeyDates::LocalMs(now));
  EXPECT_EQ(keeper.Current(false).interfaces.size(), 0u) << "the new boot adds nothing";
}

TEST_F(UsageKeeperTest, ARecreatedInterfaceOrACounterGoneBackAddsNothing) {
  keeper.Keep();
  now = now.addSecs(600);
  Eth0().index = 7;  // removed and created again
  Eth0().received += 9'000'000;
  counters.interfaces[2].received = 10;  // wlan0 reset
  const auto offline = keeper.Started();
  ASSERT_TRUE(offline.has_value());
  EXPECT_FALSE(offline->gap);
  EXPECT_EQ(offline->received + offline->transmitted, 0u);
  EXPECT_TRUE(ReadAll().records.empty());
  // From the new interface on, it counts again.
  now = now.addSecs(300);
  Eth0().received += 1234;
  keeper.Keep();
  const PeriodUse use = keeper.Current(false);
  ASSERT_EQ(use.interfaces.size(), 1u);
  EXPECT_EQ(use.interfaces[0].name, "eth0");
  EXPECT_EQ(use.interfaces[0].received, 1234u);
}

// The per-interface use follows the plan's periods, running or not, and
// the counters now can be added without storing them.
TEST_F(UsageKeeperTest, PeriodUsePerInterfaceAndThePlansCount) {
  DataPlan plan;
  plan.resetDay = 10;
  plan.counts = DataPlan::Counts::Down;
  keeper.SetPlan(plan);
  keeper.Keep();
  now = now.addSecs(3600);
  Eth0().received += 100;
  Eth0().transmitted += 50;
  counters.interfaces[2].received += 7;
  keeper.Keep();
  now = now.addSecs(3600);
  Eth0().received += 1;
  PeriodUse use = keeper.Current(true);
  EXPECT_EQ(use.period.first, QDate(2026, 11, 10));
  ASSERT_EQ(use.interfaces.size(), 2u);
  EXPECT_EQ(use.interfaces[0].received, 101u);
  EXPECT_EQ(use.Counted(plan, [](const QString& n) { return n != "lo"; }), 108u);
  plan.interfaces = QStringList{"wlan0"};
  plan.counts = DataPlan::Counts::Both;
  EXPECT_EQ(use.Counted(plan, [](const QString&) { return false; }), 7u);
  EXPECT_EQ(keeper.Current(false).interfaces[0].received, 100u) << "Current stored nothing";

  // The 10th starts a new period: the span across it goes into the new one.
  now = QDateTime(QDate(2026, 12, 10), QTime(0, 5));
  Eth0().received += 20;
  keeper.Keep();
  use = keeper.Current(false);
  EXPECT_EQ(use.period.first, QDate(2026, 12, 10));
  uint64_t received = 0;
  for (const InterfaceUse& u : use.interfaces) {
    received += u.received;
  }
  EXPECT_EQ(received, 21u);
}

TEST(KernelSnapshotTest, ReadsNamesIndexesAndBothDirections) {
  QTemporaryDir dir;
  QFile file(dir.filePath("dev"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "Inter-|   Receive                            |  Transmit\n"
      " face |bytes    packets errs drop fifo frame compressed multicast|bytes packets\n"
      "    lo:  123456     10    0    0    0     0          0         0   123456   10 0 0 0 0 0 0\n"
      "nosuch9: 18446744073709551615 1 0 0 0 0 0 0 42 1 0 0 0 0 0 0\n");
  file.close();
  const CounterSnapshot s = ReadKernelSnapshot(file.fileName());
  ASSERT_EQ(s.interfaces.size(), 2u);
  EXPECT_EQ(s.interfaces[0].name, "lo");
  EXPECT_EQ(s.interfaces[0].received, 123456u);
  EXPECT_EQ(s.interfaces[1].received, 18446744073709551615u);
  EXPECT_EQ(s.interfaces[1].transmitted, 42u);
  EXPECT_EQ(s.interfaces[1].index, 0) << "no such interface here";
  EXPECT_EQ(s.bootId, ReadBootId());
}

}  // namespace
}  // namespace velmar
