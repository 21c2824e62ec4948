// The tick's interface-table walk against the remote agent library reading
// a real snmpd on 127.0.0.1 (started here, at a free port), beside the same
// walk against the local agent. The remote walk answers from the latest
// snapshot, so it should cost about what the local one does; the polls run
// on the agent's own thread and are not in the figure.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <memory>
#include <thread>

#include "interfaces/interface_table.h"
#include "interfaces/remote_source.h"
#include "support/snmpd_process.h"

namespace {

void Walks(benchmark::State& state, velmar::InterfaceTable& table) {
  table.Refresh(velmar::InterfaceTable::kInterfaces);
  const int rows = table.Count();
  const uint64_t callsBefore = table.AgentCalls();
  for (auto _ : state) {
    table.Refresh(velmar::InterfaceTable::kInterfaces);
    benchmark::DoNotOptimize(table.Count());
  }
  state.counters["rows"] = rows;
  state.counters["agent_calls_per_refresh"] =
      static_cast<double>(table.AgentCalls() - callsBefore) /
      static_cast<double>(state.iterations());
}

void BM_LocalInterfaceRefresh(benchmark::State& state) {
  velmar::InterfaceTable table(nullptr, QStringLiteral(VELMAR_BIN_DIR "/libmib2.so"));
  Walks(state, table);
}

void BM_RemoteInterfaceRefresh(benchmark::State& state) {
  velmar::test::SnmpdProcess snmpd;
  if (!snmpd.Start()) {
    state.SkipWithError("cannot start snmpd");
    return;
  }
  qputenv("VELMAR_REMOTE_AGENT_LIBRARY", VELMAR_BIN_DIR "/libmib2remote.so");
  velmar::RemoteSource source;
  source.host = QStringLiteral("127.0.0.1");
  source.port = snmpd.Port();
  source.community = QString::fromLatin1(velmar::test::SnmpdProcess::kCommunity);
  // snmpd takes a moment before it answers; the table waits for it.
  velmar::InterfaceTable table(source);
  bool answers = false;
  for (int attempt = 0; attempt < 40 && !answers; ++attempt) {
    try {
      table.Refresh(velmar::InterfaceTable::kInterfaces);
      answers = true;
    } catch (const std::exception&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
  }
  if (!answers) {
    state.SkipWithError("snmpd does not answer");
    return;
  }
  Walks(state, table);
}

BENCHMARK(BM_LocalInterfaceRefresh)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RemoteInterfaceRefresh)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
