// The cost of the measurement tick's table walk: one kind-2 refresh of the
// real agent through the table component (agent calls and time per refresh),
// with the other two walks the NetStat window makes for comparison.
//
//   agent_refresh_bench [--veth-pairs=N] [benchmark options]
//
// --veth-pairs=N first moves the process into a network namespace of its
// own holding N veth pairs (2N interfaces and the loopback, like a host with
// N containers), so the walk's cost per interface shows. The namespace ends
// with the process. Needs root.
#include <benchmark/benchmark.h>
#include <sched.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "interfaces/interface_table.h"

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

// A namespace of this process's own with `pairs` veth pairs, all up.
bool EnterNamespaceWithVethPairs(int pairs) {
  if (unshare(CLONE_NEWNET) != 0) {
    std::perror("agent_refresh_bench: unshare(CLONE_NEWNET)");
    return false;
  }
  FILE* batch = popen("ip -batch -", "w");
  if (batch == nullptr) {
    return false;
  }
  std::fprintf(batch, "link set lo up\n");
  for (int i = 0; i < pairs; ++i) {
    std::fprintf(batch, "link add vb%da type veth peer name vb%db\n", i, i);
    std::fprintf(batch, "link set vb%da up\nlink set vb%db up\n", i, i);
  }
  return pclose(batch) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--veth-pairs=", 13) == 0) {
      if (!EnterNamespaceWithVethPairs(std::atoi(argv[i] + 13))) {
        return 1;
      }
      for (int j = i; j + 1 < argc; ++j) {
        argv[j] = argv[j + 1];
      }
      --argc;
      break;
    }
  }
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
