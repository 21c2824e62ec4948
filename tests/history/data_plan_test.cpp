#include <gtest/gtest.h>

#include <QTimeZone>

#include "history/data_plan.h"
#include "history/offline_traffic.h"

using namespace velmar;

namespace {

DataPlan Monthly(int resetDay) {
  DataPlan plan;
  plan.limitBytes = 10'000'000'000;
  plan.resetDay = resetDay;
  return plan;
}

PlanPeriod Period(QDate first, QDate next) {
  return {first, next};
}

}  // namespace

// A reset day past a month's end falls on its last day, and periods meet
// without gap or overlap across February, leap years and the year's end.
TEST(DataPlanPeriods, MonthEndsLeapYearsAndTheYearsEnd) {
  const DataPlan on31 = Monthly(31);
  EXPECT_EQ(PeriodHolding(on31, QDate(2027, 2, 15)),
            Period(QDate(2027, 1, 31), QDate(2027, 2, 28)));
  EXPECT_EQ(PeriodHolding(on31, QDate(2027, 2, 28)),
            Period(QDate(2027, 2, 28), QDate(2027, 3, 31)));
  EXPECT_EQ(PeriodHolding(on31, QDate(2028, 2, 28)),
            Period(QDate(2028, 1, 31), QDate(2028, 2, 29)));
  EXPECT_EQ(PeriodHolding(on31, QDate(2027, 3, 30)),
            Period(QDate(2027, 2, 28), QDate(2027, 3, 31)));
  EXPECT_EQ(PeriodHolding(Monthly(10), QDate(2027, 1, 5)),
            Period(QDate(2026, 12, 10), QDate(2027, 1, 10)));
  EXPECT_EQ(PeriodHolding(Monthly(1), QDate(2026, 12, 31)),
            Period(QDate(2026, 12, 1), QDate(2027, 1, 1)));

  DataPlan weekly = Monthly(1);
  weekly.period = DataPlan::Period::Weekly;  // Mondays
  EXPECT_EQ(PeriodHolding(weekly, QDate(2026, 12, 13)),
            Period(QDate(2026, 12, 7), QDate(2026, 12, 14)));
  DataPlan days = Monthly(1);
  days.period = DataPlan::Period::Days;
  days.days = 28;
  days.anchor = QDate(2026, 12, 1);
  EXPECT_EQ(PeriodHolding(days, QDate(2026, 11, 30)),
            Period(QDate(2026, 11, 3), QDate(2026, 12, 1)));
  EXPECT_EQ(PeriodHolding(days, QDate(2026, 12, 29)),
            Period(QDate(2026, 12, 29), QDate(2027, 1, 26)));
}

// The forecast and the days left run on real time: a period holding the
// spring change is an hour short, and the forecast scales by it.
TEST(DataPlanStatus, ForecastAcrossDaylightSaving) {
  const QTimeZone berlin("Europe/Berlin");
  const DataPlan plan = Monthly(1);
  const QDateTime mid(QDate(2027, 3, 16), QTime(0, 0), berlin);
  const PlanStatus status = StatusOf(plan, 3'000'000'000, mid);
  EXPECT_EQ(status.left, 7'000'000'000u);
  ASSERT_TRUE(status.forecast.has_value());
  // 15 days of 24 hours gone, 16 days less the lost hour to come: 3 GB x
  // 743 h / 360 h, rounded.
  EXPECT_EQ(*status.forecast, 6'191'666'667u);
  EXPECT_DOUBLE_EQ(status.daysLeft, (16 * 24 - 1) / 24.0);

  const PlanStatus early =
      StatusOf(plan, 5'000'000, QDateTime(QDate(2027, 3, 1), QTime(0, 30), berlin));
  EXPECT_FALSE(early.forecast.has_value());
  EXPECT_EQ(StatusOf(plan, 12'000'000'000, mid).left, 0u);
}

// Each threshold warns once per period, a restart in between included, and
// a new period warns again.
TEST(DataPlanWarnings, OncePerThresholdAndPeriod) {
  DataPlan plan = Monthly(1);
  const PlanPeriod december = PeriodHolding(plan, QDate(2026, 12, 9));
  PlanWarnings warnings;
  EXPECT_TRUE(warnings.Due(plan, december, 7'999'999'999).isEmpty());
  EXPECT_EQ(warnings.Due(plan, december, 8'000'000'000), QList<int>{80});
  EXPECT_TRUE(warnings.Due(plan, december, 9'000'000'000).isEmpty());

  PlanWarnings restarted = PlanWarnings::FromText(warnings.ToText());
  EXPECT_EQ(restarted.Due(plan, december, 11'000'000'000), QList<int>{100});
  EXPECT_TRUE(restarted.Due(plan, december, 12'000'000'000).isEmpty());
  const PlanPeriod january = PeriodHolding(plan, QDate(2027, 1, 2));
  EXPECT_EQ(restarted.Due(plan, january, 10'500'000'000), (QList<int>{80, 100}));
}

TEST(DataPlanText, RoundTripsAndRefusesWhatIsNotAPlan) {
  DataPlan plan = Monthly(31);
  plan.period = DataPlan::Period::Days;
  plan.days = 28;
  plan.anchor = QDate(2026, 12, 1);
  plan.counts = DataPlan::Counts::Down;
  plan.interfaces = QStringList{"wwan0", "eth0"};
  plan.warnAt = {50, 80, 100};
  const auto back = DataPlan::FromText(plan.ToText());
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->ToText(), plan.ToText());
  EXPECT_EQ(DataPlan::ParseSize(" 1.5 GiB"), 1610612736u);
  EXPECT_EQ(DataPlan::ParseSize("5 GB"), 5000000000u);
  for (const char* bad :
       {"", "0\tmonthly\t1\t\tboth\t\t80", "100\tmonthly\t32\t\tboth\t\t80",
        "100\tdays\t30\tnot a date\tboth\t\t80", "100\tmonthly\t1\t\tsideways\t\t80",
        "100\tmonthly\t1\t\tboth\t\t80,x", "100\tmonthly\t1\t\tboth"}) {
    EXPECT_FALSE(DataPlan::FromText(QString::fromLatin1(bad)).has_value()) << bad;
  }
  EXPECT_FALSE(DataPlan::ParseSize("5 GB extra").has_value());
}

namespace {

CounterSnapshot Snapshot(const char* boot, std::vector<CounterSnapshot::Interface> interfaces) {
  CounterSnapshot s;
  s.bootId = QString::fromLatin1(boot);
  s.at = QDateTime::fromMSecsSinceEpoch(1'800'000'000'000);
  s.interfaces = std::move(interfaces);
  return s;
}

const auto kAll = [](const QString& name) { return name != QLatin1String("lo"); };

}  // namespace

// While the meter was not running: the same interfaces' growth counts; an
// interface made again, a counter that went back or a new boot add no
// volume, and a new boot is a gap.
TEST(OfflineTraffic, CountsOnlyWhatTheSameInterfacesCounted) {
  const CounterSnapshot before = Snapshot(
      "b1",
      {{1, "lo", 100, 100}, {2, "eth0", 1000, 500}, {5, "wg0", 70, 70}, {6, "tun0", 900, 900}});
  const CounterSnapshot now = Snapshot("b1", {{1, "lo", 9000, 9000},
                                              {2, "eth0", 4000, 800},
                                              {7, "wg0", 5000, 5000},
                                              {6, "tun0", 10, 10000}});
  const OfflineTraffic t = TrafficBetween(before, now, kAll);
  EXPECT_FALSE(t.gap);
  EXPECT_EQ(t.received, 3000u);
  EXPECT_EQ(t.transmitted, 300u);

  const OfflineTraffic rebooted = TrafficBetween(before, Snapshot("b2", now.interfaces), kAll);
  EXPECT_TRUE(rebooted.gap);
  EXPECT_EQ(rebooted.received + rebooted.transmitted, 0u);

  const auto stored = CounterSnapshot::FromBytes(before.ToBytes());
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->ToBytes(), before.ToBytes());
  QByteArray damaged = before.ToBytes();
  damaged.chop(3);
  EXPECT_FALSE(CounterSnapshot::FromBytes(damaged).has_value());
  EXPECT_FALSE(CounterSnapshot::FromBytes(QByteArray(16, '\xff')).has_value());
}
