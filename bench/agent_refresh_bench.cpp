// The cost of the measurement tick's table walk: one kind-2 refresh of the
// real agent through the table component (agent calls and time per refresh),
// with the other two walks the NetStat window makes for comparison.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "interface_table.h"

namespace {

const QString kAgent = QStringLiteral(VELMAR_BIN_DIR "/libmib2.so");

void Refresh(benchmark::State& state, uint8_t kind) {
  velmar::InterfaceTable table(nullptr, kAgent);
  table.Refresh(kind);
  const int rows = table.Count();
  const uint64_t callsBefore = table.AgentCalls();
  for (auto _ : state) {
    table.Refresh(kind);
    benchmark::DoNotOptimize(table.Count());
  }
  state.counters["rows"] = rows;
  state.counters["agent_calls_per_refresh"] =
      static_cast<double>(table.AgentCalls() - callsBefore) /
      static_cast<double>(state.iterations());
}

void BM_InterfaceRefresh(benchmark::State& state) {
  Refresh(state, 2);
}
void BM_TcpRefresh(benchmark::State& state) {
  Refresh(state, 1);
}
void BM_RouteRefresh(benchmark::State& state) {
  Refresh(state, 3);
}

BENCHMARK(BM_InterfaceRefresh)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TcpRefresh)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RouteRefresh)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
