// What reading every TCP socket's byte counts costs a tick on a busy host:
// 10,000 sockets (5,000 connections over the loopback, held by this
// process), one sock_diag dump per family, the owners' cache and the sums
// per program. The first tick's look through /proc is timed apart.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "programs/program_traffic.h"
#include "programs/socket_owner_index.h"
#include "programs/tcp_socket_reader.h"

using namespace velmar::programs;

namespace {

constexpr int kConnections = 5000;

std::vector<int> OpenConnections() {
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur =
      std::max<rlim_t>(limit.rlim_cur, std::min<rlim_t>(limit.rlim_max, 3 * kConnections));
  ::setrlimit(RLIMIT_NOFILE, &limit);
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(listener, reinterpret_cast<sockaddr*>(&address), size);
  ::listen(listener, 128);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
  std::vector<int> fds;
  for (int i = 0; i < kConnections; ++i) {
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (client < 0 || ::connect(client, reinterpret_cast<sockaddr*>(&address), size) != 0) {
      break;
    }
    fds.push_back(client);
    fds.push_back(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
  }
  ::close(listener);
  return fds;
}

// The same dump on a host with only its own few sockets: the walk of the
// kernel's socket table, which every dump pays whatever it finds.
void QuietHostDump(benchmark::State& state) {
  TcpSocketReader reader;
  std::vector<TcpSocketBytes> sockets;
  for (auto _ : state) {
    reader.Read(sockets);
  }
  state.counters["sockets"] = static_cast<double>(sockets.size());
}
BENCHMARK(QuietHostDump)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void ProgramsTick(benchmark::State& state) {
  static const std::vector<int> fds = OpenConnections();
  TcpSocketReader reader;
  SocketOwnerIndex owners;
  ProgramTraffic traffic([](const TcpSocketBytes&) { return true; });
  std::vector<TcpSocketBytes> sockets;
  const auto first = std::chrono::steady_clock::now();
  const std::clock_t cpu = std::clock();
  reader.Read(sockets);
  owners.Update(sockets, first);
  traffic.Update(sockets, owners, 0, 0, first);
  const double firstMs = 1000.0 * static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
  uint64_t total = 0;
  for (auto _ : state) {
    reader.Read(sockets);
    const auto now = std::chrono::steady_clock::now();
    owners.Update(sockets, now);
    ++total;
    traffic.Update(sockets, owners, total, total, now);
  }
  state.counters["sockets"] = static_cast<double>(sockets.size());
  state.counters["first_tick_cpu_ms"] = firstMs;
  state.counters["processes_read"] = static_cast<double>(owners.ProcessesRead());
}
BENCHMARK(ProgramsTick)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// The dump alone: what the kernel and the parsing cost.
void SocketDump(benchmark::State& state) {
  static const std::vector<int> fds = OpenConnections();
  TcpSocketReader reader;
  std::vector<TcpSocketBytes> sockets;
  for (auto _ : state) {
    reader.Read(sockets);
  }
  state.counters["sockets"] = static_cast<double>(sockets.size());
}
BENCHMARK(SocketDump)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
