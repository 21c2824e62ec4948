#include "history/plan_state.h"

#include <gtest/gtest.h>

#include <QJsonArray>

#include "support/temp_store.h"

namespace velmar {
namespace {

// The period's use as the keeper stored it, shown as text, tip and JSON.
class PlanStateTest : public ::testing::Test {
 protected:
  PlanStateTest() : keeper(store.store.get(), dates) {
    dates.Now = [this] { return now; };
    keeper.Take = [this] { return counters; };
    plan.limitBytes = 10'000'000'000;
    plan.interfaces = QStringList{"wwan0"};
    keeper.SetPlan(plan);
    counters = {"b", {}, {{2, "eth0", 0, 0}, {3, "wwan0", 0, 0}}};
    keeper.Keep();
    now = now.addDays(3);
    counters.interfaces[0].received = 5'000'000'000;
    counters.interfaces[1].received = 2'000'000'000;
    counters.interfaces[1].transmitted = 1'000'000'000;
    keeper.Keep();
  }
  UsageState State() {
    return UsageState::Of(
        keeper, plan, [](const QString&) { return true; }, now, false);
  }

  test::TempStore store;
  DayKeyDates dates;
  QDateTime now{QDate(2027, 4, 1), QTime(0, 0)};
  CounterSnapshot counters;
  DataPlan plan;
  UsageKeeper keeper;
};

TEST_F(PlanStateTest, TextTipAndJsonOfTheSameFigures) {
  const UsageState state = State();
  ASSERT_TRUE(state.status.has_value());
  EXPECT_EQ(state.status->used, 3'000'000'000u) << "wwan0 alone, both directions";
  EXPECT_EQ(state.PlanLine(),
            "3.00 GB of 10.0 GB used (30 %), 7.00 GB left, 27 days left; at this pace 30.0 GB "
            "by the period's end");
  EXPECT_EQ(state.PlanTip(),
            "Plan: 3.00 GB of 10.0 GB used, 7.00 GB left\n27 days left; at this "
            "pace 30.0 GB");
  EXPECT_EQ(state.PlanBadge(), "Plan 30 %, 27 d");
  const QString text = state.Text();
  EXPECT_TRUE(text.startsWith("Period 2027-04-01 to 2027-04-30\n")) << text.toStdString();
  EXPECT_TRUE(text.contains("eth0")) << text.toStdString();
  EXPECT_TRUE(text.contains("(not in the plan)"));
  EXPECT_TRUE(text.contains("Plan: 10.0 GB monthly 1, counting both on wwan0\n"));

  const QJsonObject json = state.Json(now);
  EXPECT_EQ(json["period"]["first_day"].toString(), "2027-04-01");
  EXPECT_EQ(json["period"]["next_period_day"].toString(), "2027-05-01");
  const QJsonArray interfaces = json["interfaces"].toArray();
  ASSERT_EQ(interfaces.size(), 2);
  EXPECT_EQ(interfaces.at(0).toObject().value("received_bytes").toInteger(), 5'000'000'000);
  EXPECT_FALSE(interfaces.at(0).toObject().value("in_plan").toBool());
  EXPECT_EQ(json["plan"]["used_bytes"].toInteger(), 3'000'000'000);
  EXPECT_EQ(json["plan"]["forecast_bytes"].toInteger(), 30'000'000'000);
  EXPECT_EQ(json["plan"]["interfaces"].toArray().at(0).toString(), "wwan0");
}

TEST_F(PlanStateTest, WithoutAPlanOnlyTheUse) {
  const UsageState state = UsageState::Of(
      keeper, std::nullopt, [](const QString& n) { return n == "eth0"; }, now, false);
  EXPECT_TRUE(state.PlanLine().isEmpty());
  EXPECT_TRUE(state.PlanTip().isEmpty());
  EXPECT_TRUE(state.PlanBadge().isEmpty());
  EXPECT_TRUE(state.Text().endsWith("No data plan is set.\n"));
  EXPECT_TRUE(state.Json(now)["plan"].isNull());
  EXPECT_TRUE(state.Json(now)["interfaces"].toArray().at(0).toObject().value("in_plan").toBool())
      << "what All takes";
}

TEST(ByteTextTest, ThreeDigitsAndTheUnitsEdges) {
  EXPECT_EQ(ByteText(999), "999 B");
  EXPECT_EQ(ByteText(1000), "1.00 kB");
  EXPECT_EQ(ByteText(999'499), "999 kB");
  EXPECT_EQ(ByteText(999'940), "1.00 MB");  // not "1000 kB"
  EXPECT_EQ(ByteText(99'949'000), "99.9 MB");
  EXPECT_EQ(ByteText(999'960'000), "1.00 GB");
  EXPECT_EQ(ByteText(18'446'744'073'709'551'615u), "18.4 EB");
}

}  // namespace
}  // namespace velmar
