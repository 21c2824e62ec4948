#include "measure/counter_sampler.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

#include "interfaces/interface_table.h"
#include "support/fake_agent_control.h"

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
    state.AnalysisActive = true;
    // As the core keeps the choice.
    QObject::connect(&sampler, &CounterSampler::adapterFound, [this](int row, const QString&) {
      state.AdapterIndex = static_cast<int16_t>(row);
    });
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
  // A tick whose agent offers the ifXTable and ifStackTable.
  void TickLayers(const std::vector<FakeInterface>& rows, uint32_t ms,
                  const std::vector<std::pair<int32_t, int32_t>>& stack = {}) {
    clock.now += ms;
    agent.Interfaces(rows, stack);
    sampler.Tick();
  }
  static FakeInterface Wide(int32_t index, std::string name, uint64_t in, uint64_t out,
                            int32_t connector = 2, int32_t type = 6) {
    FakeInterface f{index, std::move(name), static_cast<uint32_t>(in), static_cast<uint32_t>(out),
                    type};
    f.hc = true;
    f.hcIn = in;
    f.hcOut = out;
    f.connector = connector;
    return f;
  }
  uint64_t Moved() const { return state.CountedDownBytes + state.CountedUpBytes; }

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
  EXPECT_EQ(agent.QueryCount(), 1u) << "only the question whether the agent answers GET";

  TickEth(1000, 500, 1000);
  ASSERT_EQ(host.published.size(), 1u);
  EXPECT_EQ(host.published[0].up, 0);
  EXPECT_EQ(host.published[0].down, 0);
  EXPECT_EQ(state.TotalTraffic, 0u);

  TickEth(1001000, 250500, 1000);
  ASSERT_EQ(host.published.size(), 2u);
  EXPECT_DOUBLE_EQ(host.published[1].down, 1000000.0);
  EXPECT_DOUBLE_EQ(host.published[1].up, 250000.0);
  EXPECT_EQ(state.TotalTraffic, 1000000u + 250000u);
  EXPECT_EQ(state.CountedDownBytes, 1000000u);
  EXPECT_EQ(state.CountedUpBytes, 250000u);
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

TEST_F(CounterSamplerTest, AllCountsTheEdgeInterfacesWhateverTheirRow) {
  // 40 rows: the loopback, 38 veth ends under a bridge and the card in the
  // last row (a card plugged in later gets a high ifIndex).
  const auto rows = [](uint64_t card, uint64_t veth, uint64_t bridge) {
    std::vector<FakeInterface> r{Wide(1, "lo", 7 * card, 7 * card, 2, 24),
                                 Wide(2, "br0", bridge, bridge)};
    for (int i = 3; i <= 39; ++i) {
      r.push_back(Wide(i, "veth" + std::to_string(i), veth, veth));
    }
    r.push_back(Wide(40, "eth0", card, card / 2, 1));
    return r;
  };
  std::vector<std::pair<int32_t, int32_t>> ports;
  for (int i = 3; i <= 39; ++i) {
    ports.emplace_back(2, i);
  }
  state.AdapterIndex = 0;
  sampler.Tick();
  TickLayers(rows(1000, 1000, 1000), 1000, ports);
  TickLayers(rows(5000, 9000, 9000), 1000, ports);
  EXPECT_DOUBLE_EQ(host.published.back().down, 4000.0) << "only the card counts";
  EXPECT_DOUBLE_EQ(host.published.back().up, 2000.0);
  EXPECT_EQ(state.TotalTraffic, 6000u);
  ASSERT_EQ(sampler.Interfaces().size(), 40u);
  EXPECT_TRUE(sampler.Interfaces().back().countsInAll);
  EXPECT_FALSE(sampler.Interfaces()[1].countsInAll);
  EXPECT_EQ(sampler.Interfaces()[1].inOctets, 8000u) << "every interface keeps its count";

  // Every row can be selected on its own, the 40th too; past the rows
  // there is no reading.
  uint64_t out = 1;
  uint64_t in = 1;
  state.AdapterIndex = 40;
  TickLayers(rows(6000, 9500, 9000), 1000, ports);
  EXPECT_DOUBLE_EQ(host.published.back().down, 1000.0);
  agent.Interfaces(rows(6000, 9500, 9000), ports);
  EXPECT_TRUE(sampler.ReadInterfaceCounters(3, out, in));
  EXPECT_EQ(in, 0u);
  for (int16_t selection : {41, -1}) {
    agent.Interfaces(rows(6000, 9500, 9000), ports);
    EXPECT_FALSE(sampler.ReadInterfaceCounters(selection, out, in)) << selection;
    EXPECT_EQ(in, 0u);
    EXPECT_EQ(out, 0u);
  }

  // Only the loopback: "All" reads 0.
  state.AdapterIndex = 0;
  agent.Interfaces({Wide(1, "lo", 1, 1, 2, 24)});
  ASSERT_TRUE(sampler.ReadInterfaceCounters(0, out, in));
  TickLayers({Wide(1, "lo", 90000, 90000, 2, 24)}, 1000);
  EXPECT_EQ(host.published.back().down, 0);
  EXPECT_EQ(out + in, 0u);
}

TEST_F(CounterSamplerTest, InterfacesThatComeAndGoAddOnlyWhatMovedWhileSeen) {
  state.AdapterIndex = 0;
  const FakeInterface lo = Wide(1, "lo", 0, 0, 2, 24);
  sampler.Tick();
  TickLayers({lo, Wide(2, "veth2", 100, 100)}, 1000);
  TickLayers({lo, Wide(2, "veth2", 300, 200)}, 1000);
  EXPECT_EQ(Moved(), 300u);

  // A container's interface appears with 5 GB already on its counters: its
  // first reading adds nothing, its next one what moved since.
  TickLayers({lo, Wide(2, "veth2", 300, 200), Wide(7, "veth7", 5000000000, 4000000000)}, 1000);
  EXPECT_EQ(host.published.back().down, 0);
  EXPECT_EQ(Moved(), 300u);
  TickLayers({lo, Wide(2, "veth2", 300, 200), Wide(7, "veth7", 5000001000, 4000000000)}, 1000);
  EXPECT_DOUBLE_EQ(host.published.back().down, 1000.0);
  EXPECT_EQ(sampler.Interfaces()[2].inOctets, 1000u);

  // veth2 vanishes: it stops adding; veth7's counter is reset (goes down)
  // and adds nothing that tick, but its count never goes backwards.
  TickLayers({lo, Wide(7, "veth7", 10, 10)}, 1000);
  EXPECT_EQ(host.published.back().down, 0);
  EXPECT_EQ(host.published.back().up, 0);
  ASSERT_EQ(sampler.Interfaces().size(), 2u);
  EXPECT_EQ(sampler.Interfaces()[1].inOctets, 1000u);
  TickLayers({lo, Wide(7, "veth7", 60, 10)}, 1000);
  EXPECT_EQ(sampler.Interfaces()[1].inOctets, 1050u);
  // veth2 comes back with more on its counter: a first reading again, and
  // its count starts over.
  TickLayers({lo, Wide(2, "veth2", 900000, 900000), Wide(7, "veth7", 60, 10)}, 1000);
  EXPECT_EQ(host.published.back().down, 0);
  EXPECT_EQ(sampler.Interfaces()[1].inOctets, 0u);
  // Another interface under an old ifIndex (a new name) starts over too.
  TickLayers({lo, Wide(2, "tap2", 900500, 900000), Wide(7, "veth7", 60, 10)}, 1000);
  EXPECT_EQ(host.published.back().down, 0);
  EXPECT_EQ(Moved(), 300u + 1000u + 50u);
  EXPECT_EQ(state.TotalTraffic, Moved());
  EXPECT_EQ(state.CountedDownBytes, 300u + 1000u + 50u - 100u);
}

TEST_F(CounterSamplerTest, SixtyFourBitCountersWhereTheAgentOffersThem) {
  state.AdapterIndex = 2;
  sampler.Tick();
  // 6 GB in one tick: more than a 32-bit counter can tell.
  TickLayers({Wide(1, "lo", 0, 0, 2, 24), Wide(2, "eth0", 1000, 0, 1)}, 1000);
  TickLayers({Wide(1, "lo", 0, 0, 2, 24), Wide(2, "eth0", 6000001000, 0, 1)}, 1000);
  EXPECT_DOUBLE_EQ(host.published.back().down, 6e9);
  // The agent stops offering them: the 32-bit counter's first reading adds
  // nothing, then it counts with wrap.
  TickEth(4294967000u, 0, 1000);
  EXPECT_EQ(host.published.back().down, 0);
  TickEth(1000, 0, 1000);
  EXPECT_DOUBLE_EQ(host.published.back().down, 1296.0);
  EXPECT_EQ(state.TotalTraffic, 6000000000u + 1296u);

  // A measurement that starts again compares with nothing from before.
  state.LastTickMs = 0;
  sampler.Tick();
  TickEth(900000, 0, 1000);
  EXPECT_EQ(host.published.back().down, 0);
}

TEST_F(CounterSamplerTest, NoReadingPublishesZerosAndForgetsThePreviousOne) {
  state.AdapterIndex = 2;
  QStringList told;
  QObject::connect(&sampler, &CounterSampler::sourceStatusChanged,
                   [&told](const QString& failure) { told << failure; });
  sampler.Tick();
  TickEth(1000, 1000, 1000);
  TickEth(2000, 2000, 1000);
  EXPECT_GT(host.published.back().down, 0);

  // The agent fails: zeros, and the current reading becomes 0.
  clock.now += 1000;
  agent.Failure();
  sampler.Tick();
  EXPECT_EQ(host.published.back().down, 0);
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
  // The turn to failing is told once, with the reason; the empty table
  // then says the chosen adapter is gone (once), and the way back once.
  ASSERT_EQ(told.size(), 3);
  EXPECT_EQ(told[0], QStringLiteral("SNMP query failed."));
  EXPECT_EQ(told[1], QStringLiteral("The adapter \"eth0\" is not in the list now: it reads 0 "
                                    "until it returns."));
  EXPECT_TRUE(told[2].isEmpty());
  EXPECT_TRUE(sampler.SourceFailure().isEmpty());
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
  state.AnalysisActive = false;
  sampler.Tick();
  EXPECT_EQ(host.timerCalls, std::vector<bool>{false});
  EXPECT_EQ(state.LastTickMs, 0u);
  EXPECT_TRUE(host.published.empty());
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

  // The list says which rows "All" counts, and the tip names them.
  agent.Interfaces({Wide(1, "lo", 0, 0, 2, 24), Wide(2, "br0", 0, 0), Wide(3, "eth0", 0, 0, 1),
                    Wide(4, "wlan0", 0, 0, 1)},
                   {{2, 3}});
  const auto adapters = sampler.ListAdapters();
  ASSERT_EQ(adapters.size(), 4u);
  EXPECT_EQ(adapters[2].index, 3);
  EXPECT_EQ(adapters[2].name, "eth0");
  EXPECT_FALSE(adapters[0].countsInAll);
  EXPECT_FALSE(adapters[1].countsInAll);
  EXPECT_TRUE(adapters[2].countsInAll);
  EXPECT_EQ(sampler.AllRule(), EdgeSelection::Rule::kConnector);
  EXPECT_EQ(CounterSampler::DescribeAll(adapters, sampler.AllRule()),
            "\"All\" counts the interfaces with a connector (no virtual ones, none under "
            "another): eth0, wlan0.");
  EXPECT_EQ(CounterSampler::DescribeAll({adapters[0]}, sampler.AllRule()),
            "\"All\" counts no interface here (only the loopback is present).");
  host.timerCalls.clear();

  // An agent failure reaches the caller, and the timer runs again.
  host.timerCalls.clear();
  agent.Failure();
  EXPECT_THROW(sampler.BuildAdapterList(), TableRefreshError);
  EXPECT_EQ(host.timerCalls, (std::vector<bool>{false, true}));

  // While asleep the timer stays off.
  state.AnalysisActive = false;
  host.timerCalls.clear();
  agent.InterfaceTable({FakeInterface{2, "A"}});
  EXPECT_EQ(sampler.BuildAdapterList().size(), 2);
  EXPECT_EQ(host.timerCalls, std::vector<bool>{false});
}

}  // namespace
}  // namespace velmar
