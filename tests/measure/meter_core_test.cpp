#include "measure/meter_core.h"

#include <gtest/gtest.h>

#include "alarms/alarm_evaluator.h"
#include "config/settings_list.h"
#include "interfaces/interface_table.h"
#include "metrics/metrics_exporter.h"
#include "support/fake_agent_control.h"

namespace velmar {
namespace {

using test::FakeInterface;

class SteppedClock : public TickClock {
 public:
  uint32_t TickCount() const override { return now; }
  uint32_t now = 100000;
};

class RecordingDriver : public TickDriver {
 public:
  void SetCalcTimerEnabled(bool) override {}
  void StartDownload() override {}
  void HandleException(const std::exception& e) override { errors.push_back(e.what()); }
  std::vector<std::string> errors;
};

class SilentActions : public AlarmActions {
 public:
  void Beep() override {}
  void SendMail(const QString&, const QString&) override {}
  void Open(const QString&) override {}
  void Notify(const QString&) override {}
};

// A core over the fake agent, with every signal it sends recorded.
class MeterCoreTest : public ::testing::Test {
 protected:
  MeterCoreTest() {
    settings.SetLines(SettingsList::DefaultLines());
    core.UseTable(&table);
    QObject::connect(&core, &MeterCore::published,
                     [this](double up, double down) { published.emplace_back(up, down); });
    QObject::connect(&core, &MeterCore::sourceStatusChanged,
                     [this](const QString& failure) { statuses << failure; });
    QObject::connect(&core, &MeterCore::adapterLost, [this](const QString& name) { lost << name; });
    QObject::connect(&core, &MeterCore::adapterFound, [this](int row, const QString& name) {
      found << QString::number(row) + name;
    });
    QObject::connect(&core, &MeterCore::alarm, [this](int code) { alarms.push_back(code); });
  }
  void Tick(const std::vector<FakeInterface>& rows) {
    clock.now += 1000;
    agent.InterfaceTable(rows);
    core.Tick();
  }

  test::FakeAgent agent;
  InterfaceTable table{nullptr, test::FakeAgentPath()};
  SteppedClock clock;
  SettingsList settings;
  StoredDisplays displays;
  RecordingDriver driver;
  MeterCore core{driver, displays, settings, clock};
  std::vector<std::pair<double, double>> published;
  QStringList statuses;
  QStringList lost;
  QStringList found;
  std::vector<int> alarms;
  SilentActions actions;
  DayKeyDates dates;
  AlarmEvaluator evaluator{core.SharedState(), settings, actions, nullptr, dates};
};

TEST_F(MeterCoreTest, EachTickIsPublishedOnceAndTheEndpointHasItFirst) {
  MeterCore::MetricsOptions options;
  options.where = ListenAddress::Parse("127.0.0.1:0");
  MetricsExporter& endpoint = core.ServeMetrics(options);
  double endpointRateAtSignal = -1;
  QObject::connect(&core, &MeterCore::published,
                   [&] { endpointRateAtSignal = endpoint.Snapshot()->receiveRate; });
  core.SelectAdapter(1, QString());
  core.StartMeasuring();
  Tick({FakeInterface{1, "eth0", 0, 0}});  // stamps the start
  Tick({FakeInterface{1, "eth0", 1000, 0}});
  Tick({FakeInterface{1, "eth0", 3000, 500}});
  ASSERT_EQ(published.size(), 2u);
  EXPECT_GT(published.back().second, 0);
  EXPECT_EQ(endpointRateAtSignal, published.back().second);
  EXPECT_EQ(found, QStringList{"1eth0"});

  core.StopMeasuring();
  Tick({FakeInterface{1, "eth0", 9000, 500}});
  EXPECT_EQ(published.size(), 2u) << "a stopped core publishes nothing";
  EXPECT_TRUE(driver.errors.empty());
}

TEST_F(MeterCoreTest, FailingReadingsAndAGoneAdapterAreToldOnce) {
  const std::vector<FakeInterface> rows{FakeInterface{1, "lo", 5, 5},
                                        FakeInterface{2, "eth0", 1000, 1000}};
  core.SelectAdapter(2, QString());
  core.StartMeasuring();
  Tick(rows);
  Tick(rows);
  clock.now += 1000;
  agent.Failure();
  core.Tick();
  clock.now += 1000;
  agent.Null();
  core.Tick();
  Tick(rows);
  Tick(rows);
  ASSERT_EQ(statuses.size(), 3);
  EXPECT_EQ(statuses[0], QStringLiteral("SNMP query failed."));
  EXPECT_TRUE(statuses[2].isEmpty()) << "working again";
  EXPECT_EQ(lost, QStringList{"eth0"});
}

TEST_F(MeterCoreTest, AlarmsCountInTheEndpointAndComeAsASignal) {
  settings.SetLine(AlarmSwitchLine(AlarmCondition::kReceiveAbove), "1");
  settings.SetLine(AlarmLimitLine(AlarmCondition::kReceiveAbove), "1");
  core.UseAlarms(evaluator);
  MeterCore::MetricsOptions options;
  options.where = ListenAddress::Parse("127.0.0.1:0");
  options.alarmConditions = AlarmEvaluator::ConfiguredConditions(settings);
  MetricsExporter& endpoint = core.ServeMetrics(options);
  core.StartMeasuring();
  for (int i = 0; i < 3; ++i) {
    core.PublishResults(0, 125000);  // 1000 kbit/s down
  }
  ASSERT_EQ(alarms.size(), 2u) << "every second publication is evaluated";
  ASSERT_EQ(endpoint.Snapshot()->alarms.size(), 1u);
  EXPECT_EQ(endpoint.Snapshot()->alarms[0].events, 2u);
}

}  // namespace
}  // namespace velmar
