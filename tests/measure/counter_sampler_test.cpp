#include "counter_sampler.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

#include "fake_agent_control.h"
#include "interface_table.h"

namespace velmar {
namespace {

using test::FakeAgent;
using test::FakeInterface;

class FakeClock : public TickClock {
 public:
  uint32_t TickCount() const override {
    if (throwNext) {
      throwNext = false;
      throw std::runtime_error("clock failure");
    }
    return now;
  }
  uint32_t now = 100000;
  mutable bool throwNext = false;
};

struct Publication {
  double up;
  double down;
};

class RecordingHost : public TickHost {
 public:
  void SetCalcTimerEnabled(bool enabled) override {
    timerEnabled = enabled;
    timerCalls.push_back(enabled);
  }
  void StartDownload() override {
    ++downloads;
    throw std::runtime_error("[10061] Connection refused");
  }
  void PublishResults(double up, double down) override { published.push_back({up, down}); }
  void HandleException(const std::exception& e) override {
    errors.push_back(e.what());
    errorSections.push_back(state->ProgramSection);
  }

  MeasurementState* state = nullptr;
  bool timerEnabled = true;
  std::vector<bool> timerCalls;
  int downloads = 0;
  std::vector<Publication> published;
  std::vector<std::string> errors;
  std::vector<int> errorSections;
};

class CounterSamplerTest : public ::testing::Test {
 protected:
  CounterSamplerTest()
      : table(nullptr, test::FakeAgentPath()), sampler(state, &table, host, clock) {
    host.state = &state;
    state.AnalysisActive = 1;
  }

  // One tick that reads the given interface rows, `ms` after the last one.
  void Tick(const std::vector<FakeInterface>& rows, uint32_t ms) {
    clock.now += ms;
    agent.InterfaceTable(rows);
    sampler.Tick();
  }
  void TickEth(uint32_t in, uint32_t out, uint32_t ms) {
    Tick({FakeInterface{1, "lo", 5, 5}, FakeInterface{2, "eth0", in, out}}, ms);
  }

  FakeAgent agent;
  InterfaceTable table;
  FakeClock clock;
  MeasurementState state;
  RecordingHost host;
  CounterSampler sampler;
};

TEST_F(CounterSamplerTest, FirstTickStampsSecondGivesZerosThirdGivesRates) {
  state.AdapterIndex = 2;
  clock.now = 5000;
  sampler.Tick();
  EXPECT_EQ(state.LastTickMs, 5000u);
  EXPECT_TRUE(host.published.empty());
  EXPECT_TRUE(host.timerCalls.empty()) << "the first tick leaves the timer running";
  EXPECT_EQ(agent.QueryCount(), 0u);

  TickEth(1000, 500, 1000);
  ASSERT_EQ(host.published.size(), 1u);
  EXPECT_EQ(host.published[0].up, 0);
  EXPECT_EQ(host.published[0].down, 0);
  EXPECT_EQ(state.CurInOctets, 1000u);

  TickEth(1001000, 250500, 1000);
  ASSERT_EQ(host.published.size(), 2u);
  EXPECT_DOUBLE_EQ(host.published[1].down, 1000000.0);
  EXPECT_DOUBLE_EQ(host.published[1].up, 250000.0);
  EXPECT_EQ(state.TotalTraffic, 1000000u + 250000u);
  EXPECT_EQ(host.timerCalls, (std::vector<bool>{false, true, false, true}));
  EXPECT_EQ(state.ProgramSection, 217);
}

TEST_F(CounterSamplerTest, ElapsedTimeRoundsHalvesToEvenBeforeTheZeroTest) {
  state.AdapterIndex = 2;
  sampler.Tick();
  TickEth(1000, 1000, 500);
  TickEth(2000, 2000, 500);  // 0.5 s rounds to 0: no rate, but the bytes count
  EXPECT_EQ(host.published.back().down, 0);
  EXPECT_EQ(state.TotalTraffic, 2000u);
  TickEth(2501, 2501, 501);  // 0.501 s rounds to 1: 501 octets in 0.501 s
  EXPECT_DOUBLE_EQ(host.published.back().down, 1000.0);
  TickEth(4001, 4001, 1500);  // 1.5 s rounds to 2, the rate uses 1.5 s
  EXPECT_DOUBLE_EQ(host.published.back().up, 1000.0);
  TickEth(6001, 6001, 2500);  // 2.5 s rounds to 2: still a rate over 2.5 s
  EXPECT_DOUBLE_EQ(host.published.back().up, 800.0);
}

TEST_F(CounterSamplerTest, CountersWrapModulo32BitsAndDropsGiveZero) {
  state.AdapterIndex = 2;
  sampler.Tick();
  TickEth(4294967200u, 4294967200u, 1000);
  TickEth(100, 100, 1000);
  EXPECT_DOUBLE_EQ(host.published.back().down, 196.0);
  EXPECT_DOUBLE_EQ(host.published.back().up, 196.0);
  EXPECT_EQ(state.TotalTraffic, 392u);

  // An interface reset: the counters fall back, that tick shows and adds nothing.
  TickEth(50, 150, 1000);
  EXPECT_EQ(host.published.back().down, 0);
  EXPECT_DOUBLE_EQ(host.published.back().up, 50.0);
  EXPECT_EQ(state.TotalTraffic, 442u);
  // A counter that did not move.
  TickEth(50, 150, 1000);
  EXPECT_EQ(host.published.back().down, 0);
  EXPECT_EQ(host.published.back().up, 0);
}

TEST_F(CounterSamplerTest, TotalKeepsCountingPast4GiB) {
  state.AdapterIndex = 2;
  sampler.Tick();
  uint32_t counter = 1;
  TickEth(counter, counter, 1000);
  for (int i = 0; i < 4; ++i) {
    counter += 2000000000u;  // wraps on the way; each step still reads +2e9
    TickEth(counter, counter, 1000);
  }
  EXPECT_EQ(state.TotalTraffic, 16000000000ull);
  EXPECT_GT(state.TotalTraffic, std::numeric_limits<uint32_t>::max());
}

TEST_F(CounterSamplerTest, AllSumsEveryInterfaceAboveIndexOne) {
  state.AdapterIndex = 0;
  uint32_t out = 0;
  uint32_t in = 0;
  agent.InterfaceTable({FakeInterface{0, "zero", 1, 1}, FakeInterface{1, "lo", 1000, 1000},
                        FakeInterface{2, "eth0", 4294967295u, 10},
                        FakeInterface{3, "wlan0", 2, 20}});
  ASSERT_TRUE(sampler.ReadInterfaceCounters(0, out, in));
  EXPECT_EQ(in, 1u) << "sums wrap modulo 2^32";
  EXPECT_EQ(out, 30u);

  // Only the loopback: a reading of 0 octets, and zero rates.
  agent.Reset();
  agent.InterfaceTable({FakeInterface{1, "lo", 1000, 1000}});
  ASSERT_TRUE(sampler.ReadInterfaceCounters(0, out, in));
  EXPECT_EQ(in, 0u);
  EXPECT_EQ(out, 0u);
  sampler.Tick();
  Tick({FakeInterface{1, "lo", 5000, 5000}}, 1000);
  Tick({FakeInterface{1, "lo", 9000, 9000}}, 1000);
  EXPECT_EQ(host.published.back().down, 0);
  EXPECT_EQ(state.TotalTraffic, 0u);
}

TEST_F(CounterSamplerTest, InterfacesCountTheirOwnBytesFromTheFirstReading) {
  std::vector<std::pair<double, double>> published;
  sampler.OnPublished = [&](double up, double down) { published.emplace_back(up, down); };
  sampler.Tick();
  EXPECT_TRUE(sampler.Interfaces().empty()) << "the first tick reads nothing";
  Tick({FakeInterface{1, "lo", 7, 7}, FakeInterface{2, "eth0", 0, 4294967000u}}, 1000);
  ASSERT_EQ(sampler.Interfaces().size(), 2u);
  EXPECT_EQ(sampler.Interfaces()[0].name, "lo");
  EXPECT_FALSE(sampler.Interfaces()[0].countsInAll);
  EXPECT_TRUE(sampler.Interfaces()[1].countsInAll);
  EXPECT_EQ(sampler.Interfaces()[1].inOctets, 0u);

  // A counter moving from 0 counts; one wrapping through 2^32 counts what
  // it moved; one that falls (reset) adds nothing and counts on from there.
  Tick({FakeInterface{1, "lo", 7, 7}, FakeInterface{2, "eth0", 500, 704}}, 1000);
  Tick({FakeInterface{1, "lo", 7, 7}, FakeInterface{2, "eth0", 100, 1704}}, 1000);
  Tick({FakeInterface{1, "lo", 7, 7}, FakeInterface{2, "eth0", 150, 1704}}, 1000);
  EXPECT_EQ(sampler.Interfaces()[1].inOctets, 550u);
  EXPECT_EQ(sampler.Interfaces()[1].outOctets, 1000u + 1000u);
  EXPECT_EQ(sampler.Interfaces()[0].inOctets, 0u);

  // Rows that change places keep their counts; a re-created interface (a
  // new index under the old name) starts again at 0.
  Tick({FakeInterface{3, "wlan0", 1, 1}, FakeInterface{2, "eth0", 250, 1704},
        FakeInterface{1, "lo", 9, 9}},
       1000);
  EXPECT_EQ(sampler.Interfaces()[1].inOctets, 650u);
  EXPECT_EQ(sampler.Interfaces()[2].inOctets, 2u);
  EXPECT_EQ(sampler.Interfaces()[0].inOctets, 0u);
  Tick({FakeInterface{1, "lo", 9, 9}, FakeInterface{4, "eth0", 300, 1800}}, 1000);
  EXPECT_EQ(sampler.Interfaces()[1].index, 4);
  EXPECT_EQ(sampler.Interfaces()[1].inOctets, 0u);
  EXPECT_EQ(published.size(), 6u) << "every publication is announced";
}

TEST_F(CounterSamplerTest, OnlyTheFirst32RowsAreExamined) {
  std::vector<FakeInterface> rows;
  for (int i = 1; i <= 35; ++i) {
    rows.push_back(FakeInterface{i + 1, "if" + std::to_string(i), 100u * i, 10u * i});
  }
  uint32_t out = 1;
  uint32_t in = 1;
  agent.InterfaceTable(rows);
  EXPECT_TRUE(sampler.ReadInterfaceCounters(32, out, in));
  EXPECT_EQ(in, 3200u);
  for (int16_t selection : {33, 35, 40}) {
    agent.InterfaceTable(rows);
    EXPECT_FALSE(sampler.ReadInterfaceCounters(selection, out, in)) << selection;
    EXPECT_EQ(in, 0u);
    EXPECT_EQ(out, 0u);
  }
  // "All" adds rows 1..32 only: 100 * (1 + ... + 32).
  agent.InterfaceTable(rows);
  EXPECT_TRUE(sampler.ReadInterfaceCounters(0, out, in));
  EXPECT_EQ(in, 100u * 32 * 33 / 2);
  // A negative selection matches no row.
  agent.InterfaceTable(rows);
  EXPECT_FALSE(sampler.ReadInterfaceCounters(-1, out, in));
}

TEST_F(CounterSamplerTest, NoReadingPublishesZerosAndForgetsThePreviousOne) {
  state.AdapterIndex = 2;
  sampler.Tick();
  TickEth(1000, 1000, 1000);
  TickEth(2000, 2000, 1000);
  EXPECT_GT(host.published.back().down, 0);

  // The agent fails: zeros, and the current reading becomes 0.
  clock.now += 1000;
  agent.Failure();
  sampler.Tick();
  EXPECT_EQ(host.published.back().down, 0);
  EXPECT_EQ(state.CurInOctets, 0u);
  EXPECT_TRUE(host.timerEnabled);
  // An empty table is no reading either.
  clock.now += 1000;
  agent.Null();
  sampler.Tick();
  EXPECT_EQ(host.published.back().down, 0);
  // Back again: the first reading after the gap has nothing to compare with.
  TickEth(3000, 3000, 1000);
  EXPECT_EQ(host.published.back().down, 0);
  TickEth(4000, 4000, 1000);
  EXPECT_DOUBLE_EQ(host.published.back().down, 1000.0);
  EXPECT_TRUE(host.errors.empty()) << "a tick without a reading is no error";
}

TEST_F(CounterSamplerTest, WithoutAnAgentEveryTickPublishesZeros) {
  CounterSampler bare(state, nullptr, host, clock);
  bare.Tick();
  for (int i = 0; i < 3; ++i) {
    clock.now += 1000;
    bare.Tick();
  }
  ASSERT_EQ(host.published.size(), 3u);
  for (const auto& p : host.published) {
    EXPECT_EQ(p.up, 0);
    EXPECT_EQ(p.down, 0);
  }
  EXPECT_EQ(bare.BuildAdapterList(), QStringList{"All"});
}

TEST_F(CounterSamplerTest, InactiveAnalysisStopsTheTimerAndPublishesNothing) {
  state.AnalysisActive = 0;
  sampler.Tick();
  EXPECT_EQ(host.timerCalls, std::vector<bool>{false});
  EXPECT_EQ(state.LastTickMs, 0u);
  EXPECT_TRUE(host.published.empty());

  // Active values other than 1 publish but leave the timer off.
  state.AnalysisActive = 2;
  host.timerCalls.clear();
  sampler.Tick();
  TickEth(1, 1, 1000);
  EXPECT_EQ(host.published.size(), 1u);
  EXPECT_EQ(host.timerCalls, std::vector<bool>{false});
}

TEST_F(CounterSamplerTest, GenerateModeStartsADownloadOnlyWhenNoneRuns) {
  state.AdapterIndex = 2;
  state.GenerateMode = true;
  sampler.Tick();  // the download's failure is swallowed
  EXPECT_EQ(host.downloads, 1);
  EXPECT_EQ(state.LastTickMs, clock.now);
  state.HttpBusy = true;
  TickEth(1, 1, 1000);
  EXPECT_EQ(host.downloads, 1);
  EXPECT_EQ(host.published.size(), 1u);
  EXPECT_TRUE(host.errors.empty());
}

TEST_F(CounterSamplerTest, ArithmeticErrorsAreReportedAndTheTickStillFinishes) {
  state.AdapterIndex = 2;
  sampler.Tick();
  TickEth(1000, 1000, 1000);
  clock.throwNext = true;  // the clock fails when the tick takes "now"
  TickEth(2000, 2000, 1000);
  ASSERT_EQ(host.errors, std::vector<std::string>{"clock failure"});
  EXPECT_EQ(host.published.size(), 2u);
  EXPECT_EQ(host.published.back().down, 0);
  EXPECT_TRUE(host.timerEnabled);
  EXPECT_EQ(state.LastTickMs, clock.now);
}

TEST_F(CounterSamplerTest, AdapterListNamesEveryRowAndRestartsTheTimer) {
  agent.InterfaceTable({FakeInterface{2, "A"}, FakeInterface{3, "B"}});
  EXPECT_EQ(sampler.BuildAdapterList(), (QStringList{"All", "A", "B"}));
  EXPECT_EQ(host.timerCalls, (std::vector<bool>{false, true}));
  EXPECT_EQ(state.ProgramSection, 6);

  // An agent failure reaches the caller, and the timer runs again.
  host.timerCalls.clear();
  agent.Failure();
  EXPECT_THROW(sampler.BuildAdapterList(), TableRefreshError);
  EXPECT_EQ(host.timerCalls, (std::vector<bool>{false, true}));

  // While asleep the timer stays off.
  state.AnalysisActive = 0;
  host.timerCalls.clear();
  agent.InterfaceTable({FakeInterface{2, "A"}});
  EXPECT_EQ(sampler.BuildAdapterList().size(), 2);
  EXPECT_EQ(host.timerCalls, std::vector<bool>{false});
}

}  // namespace
}  // namespace velmar
