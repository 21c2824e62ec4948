// The metered interfaces from a scripted NetworkManager on a private bus,
// and the plan's setup that offers the plan for them.
#include "platform/metered_devices.h"

#include <gtest/gtest.h>

#include <QDBusConnection>

#include "config/settings_list.h"
#include "history/plan_settings.h"
#include "shell/plan_setup.h"
#include "support/private_bus.h"
#include "support/scripted_ui.h"

namespace velmar {
namespace {

class MeteredDevicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(bus.Address().isEmpty()) << "no dbus-daemon";
    ASSERT_TRUE(connection.isConnected());
    settings.SetLines(SettingsList::DefaultLines());
  }
  void TearDown() override { QDBusConnection::disconnectFromBus("metered-test"); }
  std::unique_ptr<test::ScriptedService> NetworkManager(const QStringList& devices) {
    return std::make_unique<test::ScriptedService>(
        bus, VELMAR_TEST_DATA "/../support/desktop_services.py",
        QStringList{"networkmanager"} + devices);
  }

  test::PrivateBus bus;
  QDBusConnection connection = QDBusConnection::connectToBus(bus.Address(), "metered-test");
  SettingsList settings;
  test::ScriptedUi ui;
};

TEST_F(MeteredDevicesTest, YesAndGuessedYesAreMetered) {
  EXPECT_TRUE(MeteredDevices(connection).Interfaces().isEmpty()) << "no NetworkManager: nothing";
  const auto nm = NetworkManager({"eth0=4", "wwan0=1", "wlan0=2", "usb0=3", "lo=0"});
  EXPECT_EQ(MeteredDevices(connection).Interfaces(), (QStringList{"wwan0", "usb0"}));
  EXPECT_EQ(nm->Calls("GetDevices", 1).size(), 1);
}

TEST_F(MeteredDevicesTest, TheSetupOffersThePlanForTheMeteredDevice) {
  const auto nm = NetworkManager({"eth0=2", "wwan0=3"});
  ui.answers = {UserInterface::Answer::Yes};
  ui.choices = {"20 GB", "monthly 15", "down", "50,80,100"};
  PlanSetup setup(settings, {"eth0", "wwan0"}, MeteredDevices(connection).Interfaces());
  EXPECT_TRUE(setup.Run());
  ASSERT_EQ(ui.questions.size(), 1);
  EXPECT_TRUE(ui.questions[0].contains("marks the connection of wwan0 as metered"));
  EXPECT_EQ(ui.choiceOffers.size(), 4) << "no question of interfaces once one was taken";
  const std::optional<DataPlan> plan = PlanSettings::Read(settings);
  ASSERT_TRUE(plan.has_value());
  EXPECT_EQ(plan->interfaces, QStringList{"wwan0"});
  EXPECT_EQ(plan->limitBytes, 20'000'000'000u);
  EXPECT_EQ(plan->resetDay, 15);
  EXPECT_EQ(plan->counts, DataPlan::Counts::Down);
  EXPECT_EQ(plan->warnAt, (QList<int>{50, 80, 100}));

  // Declined: the interfaces are asked; cancelled later: nothing changes.
  ui.answers = {UserInterface::Answer::No};
  ui.choices = {"All", "5 GB"};
  EXPECT_FALSE(PlanSetup(settings, {"eth0", "wwan0"}, {"wwan0"}).Run());
  EXPECT_EQ(PlanSettings::Read(settings)->ToText(), plan->ToText());
  // "No data plan" clears the lines.
  ui.choices = {"All", PlanSetup::kNoPlan};
  EXPECT_TRUE(PlanSetup(settings, {"eth0"}, {}).Run());
  EXPECT_FALSE(PlanSettings::Read(settings).has_value());
}

}  // namespace
}  // namespace velmar
