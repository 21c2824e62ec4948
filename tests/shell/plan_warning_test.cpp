// The data plan's warnings reach a notification server on a private bus:
// 80 % and 100 % once each per period, a restart in between included.
#include <gtest/gtest.h>

#include "alarms/plan_alarm.h"
#include "config/settings_line.h"
#include "config/settings_list.h"
#include "history/plan_settings.h"
#include "shell/desktop_alarm_actions.h"
#include "support/private_bus.h"

namespace velmar {
namespace {

class PlanWarningTest : public ::testing::Test {
 protected:
  PlanWarningTest() {
    settings.SetLines(SettingsList::DefaultLines());
    plan.limitBytes = 10'000'000'000;
    PlanSettings::Write(plan, settings);
    settings.SetLine(SettingsLine::kAlarmAction, "4");  // a desktop notification
  }
  // The plan's state with `used` bytes on `day`.
  UsageState At(QDate day, uint64_t used) {
    UsageState state;
    state.plan = plan;
    state.status = StatusOf(plan, used, QDateTime(day, QTime(12, 0)));
    return state;
  }

  test::PrivateBus bus;
  SettingsList settings;
  DataPlan plan;
};

TEST_F(PlanWarningTest, EightyAndOneHundredPercentOncePerPeriod) {
  ASSERT_FALSE(bus.Address().isEmpty()) << "no dbus-daemon";
  test::ScriptedService server(bus, VELMAR_TEST_DATA "/../support/desktop_services.py",
                               {"notifications"});
  qputenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().toUtf8());
  DesktopAlarmActions actions(false);
  QStringList failures;
  const QDate december(2026, 12, 9);
  {
    PlanAlarm alarm(settings, actions);
    QObject::connect(&alarm, &PlanAlarm::actionFailed, [&](const QString& f) { failures << f; });
    EXPECT_TRUE(alarm.Check(At(december, 7'999'999'999)).isEmpty());
    EXPECT_EQ(alarm.Check(At(december, 8'000'000'000)), QList<int>{80});
    EXPECT_TRUE(alarm.Check(At(december, 9'500'000'000)).isEmpty());
  }
  // A restart: the latch comes from line 61.
  PlanAlarm alarm(settings, actions);
  QObject::connect(&alarm, &PlanAlarm::actionFailed, [&](const QString& f) { failures << f; });
  EXPECT_TRUE(alarm.Check(At(december.addDays(1), 9'900'000'000)).isEmpty());
  EXPECT_EQ(alarm.Check(At(december.addDays(2), 10'000'000'000)), QList<int>{100});
  EXPECT_TRUE(alarm.Check(At(december.addDays(3), 12'000'000'000)).isEmpty());
  // January is a new period: both again, one bubble for the two at once.
  EXPECT_EQ(alarm.Check(At(QDate(2027, 1, 2), 11'000'000'000)), (QList<int>{80, 100}));
  EXPECT_TRUE(failures.isEmpty()) << failures.join('\n').toStdString();

  const QList<QJsonObject> shown = server.Calls("Notify", 3);
  ASSERT_EQ(shown.size(), 3);
  EXPECT_TRUE(
      shown[0].value("body").toString().startsWith("Data plan: 80 % of the limit reached. "
                                                   "8.00 GB of 10.0 GB used (80 %)"))
      << shown[0].value("body").toString().toStdString();
  EXPECT_TRUE(shown[1].value("body").toString().startsWith("Data plan: 100 %"));
  EXPECT_TRUE(shown[2].value("body").toString().startsWith("Data plan: 100 %"));
  EXPECT_EQ(shown[0].value("app_name").toString(), "Velmar 2000");
}

// No server: the warning is told as a failure once, and still counts as
// given (no retry at every record).
TEST_F(PlanWarningTest, WithoutAServerTheFailureIsToldOnce) {
  ASSERT_FALSE(bus.Address().isEmpty()) << "no dbus-daemon";
  qputenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().toUtf8());
  DesktopAlarmActions actions(false);
  PlanAlarm alarm(settings, actions);
  QStringList failures;
  QObject::connect(&alarm, &PlanAlarm::actionFailed, [&](const QString& f) { failures << f; });
  EXPECT_EQ(alarm.Check(At(QDate(2026, 12, 9), 8'500'000'000)), QList<int>{80});
  EXPECT_TRUE(alarm.Check(At(QDate(2026, 12, 9), 8'600'000'000)).isEmpty());
  ASSERT_EQ(failures.size(), 1);
  EXPECT_TRUE(failures[0].startsWith("Desktop notifications are not available"))
      << failures[0].toStdString();
}

}  // namespace
}  // namespace velmar
