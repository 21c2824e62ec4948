#include "metrics/metrics_exporter.h"

#include <gtest/gtest.h>

#include "interfaces/interface_table.h"
#include "measure/counter_sampler.h"
#include "measure/measurement_state.h"
#include "metrics/kernel_interfaces.h"

#include <linux/if.h>

#include <algorithm>
#include <fstream>

#include "agent/kernel_tables.h"
#include "support/fake_agent_control.h"

namespace velmar {
namespace {

using test::FakeAgent;
using test::FakeInterface;

constexpr int32_t kLoopback = 24;  // softwareLoopback

// Hands each tick's rates to the exporter, as the meter's core does.
class QuietHost : public TickHost {
 public:
  void SetCalcTimerEnabled(bool) override {}
  void StartDownload() override {}
  void PublishResults(double up, double down) override {
    if (exporter != nullptr) {
      exporter->Publish(up, down);
    }
  }
  void HandleException(const std::exception& e) override { ADD_FAILURE() << e.what(); }
  MetricsExporter* exporter = nullptr;
};

class Clock : public TickClock {
 public:
  uint32_t TickCount() const override { return now; }
  uint32_t now = 100000;
};

class MetricsExporterTest : public ::testing::Test {
 protected:
  MetricsExporterTest()
      : table(nullptr, test::FakeAgentPath()),
        sampler(state, &table, host, clock),
        exporter(state, sampler) {
    state.AnalysisActive = true;
    exporter.Now = [this] { return wall; };
    host.exporter = &exporter;
    sampler.Tick();  // the first tick only stamps the time
  }
  void Tick(const std::vector<FakeInterface>& rows) {
    clock.now += 1000;
    wall += 1;
    agent.InterfaceTable(rows);
    sampler.Tick();
  }
  const MetricsSnapshot::Interface* Find(const QString& name) {
    for (const auto& i : exporter.Snapshot()->interfaces) {
      if (i.name == name) {
        return &i;
      }
    }
    return nullptr;
  }

  FakeAgent agent;
  InterfaceTable table;
  Clock clock;
  MeasurementState state;
  QuietHost host;
  CounterSampler sampler;
  MetricsExporter exporter;
  double wall = 1700000000;
};

TEST_F(MetricsExporterTest, InterfacesByIndexWithWhatAllMakesOfThem) {
  EXPECT_FALSE(exporter.Snapshot()->measured) << "nothing before the first reading";
  EXPECT_EQ(exporter.Snapshot()->version, VELMAR_VERSION_TEXT);

  Tick({{1, "lo", 500, 500, kLoopback}, {2, "eth0", 1000, 100}});
  auto s = exporter.Snapshot();
  ASSERT_TRUE(s->measured);
  ASSERT_EQ(s->interfaces.size(), 2u);
  EXPECT_EQ(s->interfaces[0].name, "lo");
  EXPECT_EQ(s->interfaces[0].index, 1);
  EXPECT_FALSE(s->interfaces[0].countedInAll);
  EXPECT_TRUE(s->interfaces[1].countedInAll);
  EXPECT_EQ(s->adapter, "All");
  EXPECT_EQ(s->algorithm, "3-pole");
  EXPECT_EQ(s->tickTime, 1700000001);

  // eth0 re-created (a new index); a vanished interface leaves, a new one
  // joins.
  Tick({{1, "lo", 900, 800, kLoopback}, {7, "eth0", 5000, 5000}, {8, "wg0", 1, 1}});
  ASSERT_EQ(exporter.Snapshot()->interfaces.size(), 3u);
  EXPECT_EQ(Find("eth0")->index, 7);
  Tick({{1, "lo", 900, 800, kLoopback}, {8, "wg0", 2, 3}});
  EXPECT_EQ(Find("eth0"), nullptr);
  EXPECT_EQ(Find("wg0")->index, 8);
}

// The kernel's own counters, read at a scrape: the loopback is there with
// at least what /sys said just before, and the exporter serves them with
// what "All" makes of each.
TEST_F(MetricsExporterTest, TheKernelsOwnCountersAtEachScrape) {
  agent::LinkInfo link;
  link.index = 3;
  link.name = "eth7";
  link.flags = IFF_UP;
  link.operState = IF_OPER_DOWN;
  link.mtu = 9000;
  link.rxPackets = 10;
  link.rxMulticast = 4;
  link.txPackets = 7;
  link.rxBytes = 1ull << 40;
  const InterfaceFigures f = KernelInterfaces::FiguresOf(link);
  EXPECT_EQ(f.counters[InterfaceFigures::kReceiveUnicast], 6u);
  EXPECT_EQ(f.counters[InterfaceFigures::kReceiveMulticast], 4u);
  EXPECT_FALSE(f.counters[InterfaceFigures::kReceiveBroadcast]) << "the kernel does not count it";
  EXPECT_EQ(f.counters[InterfaceFigures::kReceiveBytes], 1ull << 40);
  EXPECT_EQ(f.operStatus, 2);
  EXPECT_EQ(f.adminStatus, 1);
  EXPECT_FALSE(f.speedBitsPerSecond) << "no speed known: left out";
  EXPECT_EQ(f.mtu, 9000);
  link.rxMulticast = 11;  // counted apart, and raced past the total
  EXPECT_EQ(KernelInterfaces::FiguresOf(link).counters[InterfaceFigures::kReceiveUnicast], 0u);

  std::ifstream sys("/sys/class/net/lo/statistics/rx_bytes");
  uint64_t before = 0;
  sys >> before;
  KernelInterfaces kernel;
  InterfaceGathering got;
  kernel.Gather([&](const InterfaceGathering& g) { got = g; }, 0);
  const auto lo = std::find_if(got.interfaces.begin(), got.interfaces.end(),
                               [](const InterfaceFigures& i) { return i.name == "lo"; });
  ASSERT_NE(lo, got.interfaces.end());
  EXPECT_GE(lo->counters[InterfaceFigures::kReceiveBytes].value_or(0), before);
  EXPECT_EQ(lo->mtu.value_or(0), 65536);
  EXPECT_TRUE(got.answered);
}

TEST_F(MetricsExporterTest, TheMonitoredAdapterAndItsTotal) {
  state.AdapterIndex = 2;
  Tick({{1, "lo", 0, 0, kLoopback}, {2, "eth0", 1000, 1000}});
  Tick({{1, "lo", 0, 0, kLoopback}, {2, "eth0", 3000, 1500}});
  auto s = exporter.Snapshot();
  EXPECT_EQ(s->adapter, "eth0");
  EXPECT_EQ(s->receiveRate, 2000);
  EXPECT_EQ(s->transmitRate, 500);
  EXPECT_EQ(s->trafficBytes, 2500u);
  const double created = s->trafficCreated;
  EXPECT_EQ(created, 1700000001);

  state.AveragingMode = 3;
  state.DownAverage = 42;
  state.TotalTraffic = 10;  // the total was cleared: a new series
  Tick({{1, "lo", 0, 0, kLoopback}, {2, "eth0", 3000, 1500}});
  s = exporter.Snapshot();
  EXPECT_EQ(s->algorithm, "full-range");
  EXPECT_EQ(s->receiveAverage, 42);
  EXPECT_EQ(s->trafficBytes, 10u);
  EXPECT_EQ(s->trafficCreated, 1700000003);

  state.AdapterIndex = 1;  // another adapter: another series
  Tick({{1, "lo", 0, 0, kLoopback}, {2, "eth0", 3000, 1500}});
  EXPECT_EQ(exporter.Snapshot()->adapter, "lo");
  EXPECT_EQ(exporter.Snapshot()->trafficCreated, 1700000004);
  state.AdapterIndex = 9;  // no such row
  Tick({{1, "lo", 0, 0, kLoopback}});
  EXPECT_EQ(exporter.Snapshot()->adapter, "unknown");
}

TEST_F(MetricsExporterTest, AlarmEventsByCondition) {
  exporter.SetAlarmConditions({"receive_average_above", "transmit_idle"});
  ASSERT_EQ(exporter.Snapshot()->alarms.size(), 2u) << "shown from 0 before any tick";
  EXPECT_EQ(exporter.Snapshot()->alarms[0].created, 1700000000);
  exporter.CountAlarm(1);             // receive_average_above
  exporter.CountAlarm(1 + 10000000);  // and transmit_idle
  exporter.CountAlarm(1000);          // transmit_above, not configured: not shown
  Tick({{2, "eth0", 0, 0}});
  const auto& alarms = exporter.Snapshot()->alarms;
  ASSERT_EQ(alarms.size(), 2u);
  EXPECT_EQ(alarms[0].condition, "receive_average_above");
  EXPECT_EQ(alarms[0].events, 2u);
  EXPECT_EQ(alarms[1].condition, "transmit_idle");
  EXPECT_EQ(alarms[1].events, 1u);
}

TEST(ListenAddressTest, ParsesPortsAndAddresses) {
  const auto parse = [](const char* text) {
    return ListenAddress::Parse(text).Text().toStdString();
  };
  EXPECT_EQ(parse("9473"), "127.0.0.1:9473");
  EXPECT_EQ(parse(" 0 "), "127.0.0.1:0");
  EXPECT_EQ(parse("0.0.0.0:65535"), "0.0.0.0:65535");
  EXPECT_EQ(parse("192.168.1.2:80"), "192.168.1.2:80");
  EXPECT_EQ(parse("[::1]:9473"), "[::1]:9473");
  EXPECT_EQ(parse("[::]:1"), "[::]:1");
  EXPECT_EQ(parse("localhost:2"), "127.0.0.1:2");
  for (const char* bad :
       {"", "x", "65536", "-1", "+80", "9473:", ":9473", "::1:9473", "[::1]", "[127.0.0.1]:80",
        "example.org:80", "1.2.3:80", "1.2.3.999:80", "127.0.0.1: 80", "999999999999999999999"}) {
    EXPECT_THROW(ListenAddress::Parse(bad), MetricsError) << bad;
  }
  // A settings line may hold any byte: what follows a NUL is no address.
  EXPECT_THROW(ListenAddress::Parse(QStringLiteral("127.0.0.1%1junk:9473").arg(QChar(0))),
               MetricsError);
  EXPECT_THROW(ListenAddress::Parse(QStringLiteral("[::1%1]:9473").arg(QChar(0))), MetricsError);
}

}  // namespace
}  // namespace velmar
