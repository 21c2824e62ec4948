#include "history/plan_settings.h"

#include <gtest/gtest.h>

#include "config/settings_line.h"
#include "config/settings_list.h"

namespace velmar {
namespace {

SettingsList OlderFile() {
  SettingsList settings;
  settings.SetLines(SettingsList::DefaultLines());
  return settings;
}

// The plan's lines read as a person writes them, and come back as written.
TEST(PlanSettingsTest, LinesAPersonWritesAndTheirRoundTrip) {
  SettingsList settings = OlderFile();
  EXPECT_FALSE(PlanSettings::Read(settings).has_value()) << "an older file holds no plan";
  settings.SetLineExtending(SettingsLine::kPlanLimit, " 50 GB ");
  std::optional<DataPlan> plan = PlanSettings::Read(settings);
  ASSERT_TRUE(plan.has_value()) << "period, counts, interfaces and warnings have defaults";
  EXPECT_EQ(plan->limitBytes, 50'000'000'000u);
  EXPECT_EQ(plan->period, DataPlan::Period::Monthly);
  EXPECT_EQ(plan->resetDay, 1);
  EXPECT_EQ(plan->counts, DataPlan::Counts::Both);
  EXPECT_TRUE(plan->interfaces.isEmpty());
  EXPECT_EQ(plan->warnAt, (QList<int>{80, 100}));

  settings.SetLine(static_cast<int>(SettingsLine::kPlanLimit), "1.5 GiB");
  settings.SetLineExtending(SettingsLine::kPlanPeriod, "days 28 2026-12-01");
  settings.SetLineExtending(SettingsLine::kPlanCounts, "down");
  settings.SetLineExtending(SettingsLine::kPlanInterfaces, "wwan0, usb0");
  settings.SetLineExtending(SettingsLine::kPlanWarnAt, "100, 50, 90");
  plan = PlanSettings::Read(settings);
  ASSERT_TRUE(plan.has_value());
  EXPECT_EQ(plan->limitBytes, 1610612736u);
  EXPECT_EQ(plan->period, DataPlan::Period::Days);
  EXPECT_EQ(plan->anchor, QDate(2026, 12, 1));
  EXPECT_EQ(plan->interfaces, (QStringList{"wwan0", "usb0"}));
  EXPECT_EQ(plan->warnAt, (QList<int>{50, 90, 100}));

  SettingsList written = OlderFile();
  PlanSettings::Write(*plan, written);
  EXPECT_EQ(written.Count(), static_cast<int>(SettingsLine::kPlanWarned) + 1);
  EXPECT_EQ(written.Line(SettingsLine::kPlanLimit), "1.5 GiB");
  EXPECT_EQ(written.Line(SettingsLine::kAdapterName), "") << "the lines between are added empty";
  EXPECT_EQ(PlanSettings::Read(written)->ToText(), plan->ToText());
  plan->limitBytes = 20'000'000'000;
  plan->period = DataPlan::Period::Weekly;
  plan->resetDay = 7;
  plan->anchor = {};
  plan->interfaces.clear();
  PlanSettings::Write(*plan, written);
  EXPECT_EQ(written.Line(SettingsLine::kPlanLimit), "20 GB");
  EXPECT_EQ(written.Line(SettingsLine::kPlanPeriod), "weekly 7");
  EXPECT_EQ(written.Line(SettingsLine::kPlanInterfaces), "All");
  EXPECT_EQ(PlanSettings::Read(written)->ToText(), plan->ToText());
  PlanSettings::Clear(written);
  EXPECT_FALSE(PlanSettings::Read(written).has_value());
}

// A line that is not its part of a plan makes no half plan.
TEST(PlanSettingsTest, ALineThatHoldsNoPlanPartMeansNoPlan) {
  for (const auto& [line, text] :
       std::vector<std::pair<SettingsLine, QString>>{{SettingsLine::kPlanLimit, "lots"},
                                                     {SettingsLine::kPlanLimit, "0 GB"},
                                                     {SettingsLine::kPlanPeriod, "monthly 32"},
                                                     {SettingsLine::kPlanPeriod, "fortnightly"},
                                                     {SettingsLine::kPlanPeriod, "days 30"},
                                                     {SettingsLine::kPlanCounts, "sideways"},
                                                     {SettingsLine::kPlanWarnAt, "80,x"}}) {
    SettingsList settings = OlderFile();
    settings.SetLineExtending(SettingsLine::kPlanLimit, "10 GB");
    settings.SetLineExtending(line, text);
    EXPECT_FALSE(PlanSettings::Read(settings).has_value()) << text.toStdString();
  }
}

// The warnings' latch lives on its own line, across a reload of the file.
TEST(PlanSettingsTest, TheWarningsLatchIsKeptOnItsLine) {
  DataPlan plan;
  plan.limitBytes = 1000;
  const PlanPeriod period = PeriodHolding(plan, QDate(2026, 12, 9));
  PlanWarnings warned;
  EXPECT_EQ(warned.Due(plan, period, 850), QList<int>{80});
  SettingsList settings = OlderFile();
  PlanSettings::Write(plan, settings);
  PlanSettings::SetWarned(warned, settings);
  PlanSettings::Write(plan, settings);  // a changed plan keeps the latch
  PlanWarnings again = PlanSettings::Warned(settings);
  EXPECT_TRUE(again.Due(plan, period, 900).isEmpty());
  EXPECT_EQ(again.Due(plan, period, 1000), QList<int>{100});
}

}  // namespace
}  // namespace velmar
