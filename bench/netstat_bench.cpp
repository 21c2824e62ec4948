// One refresh of the NetStat window on a busy machine: 5000 TCP connections
// on the loopback (a listener and 2500 accepted client connections, both ends
// of each a row), walked through the real agent with their owners, formatted
// and set into the window's pages on the offscreen platform, with the repaint
// that follows.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "interfaces/interface_table.h"
#include "netstat/net_stat_tables.h"
#include "netstat/widgets/net_stat_window.h"

namespace {

constexpr int kClientConnections = 2500;  // two rows each

const QString kAgent = QStringLiteral(VELMAR_BIN_DIR "/libmib2.so");

[[noreturn]] void Fail(const char* what) {
  std::perror(what);
  std::exit(1);
}

// Closing with a reset leaves no TIME_WAIT rows behind for the next run.
void CloseAtOnce(int fd) {
  const linger reset{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  close(fd);
}

class LoopbackConnections {
 public:
  LoopbackConnections() {
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    const rlim_t needed = 2 * kClientConnections + 64;
    if (files.rlim_cur < needed) {
      files.rlim_cur = std::min(needed, files.rlim_max);
      setrlimit(RLIMIT_NOFILE, &files);
    }
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    address_.sin_family = AF_INET;
    address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address_), sizeof address_) ||
        listen(listener_, 128)) {
      Fail("listener");
    }
    socklen_t length = sizeof address_;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address_), &length);
    for (int i = 0; i < kClientConnections; ++i) {
      OpenOne();
    }
  }
  ~LoopbackConnections() {
    for (const Pair& p : pairs_) {
      CloseAtOnce(p.client);
      CloseAtOnce(p.served);
    }
    close(listener_);
  }

  // Replaces the oldest connection by a new one: same number of rows, one
  // row's ports different.
  void Renew() {
    CloseAtOnce(pairs_.front().client);
    CloseAtOnce(pairs_.front().served);
    pairs_.erase(pairs_.begin());
    OpenOne();
  }

 private:
  struct Pair {
    int client;
    int served;
  };

  void OpenOne() {
    const int client = socket(AF_INET, SOCK_STREAM, 0);
    if (client < 0 || connect(client, reinterpret_cast<sockaddr*>(&address_), sizeof address_)) {
      Fail("connect (is RLIMIT_NOFILE high enough?)");
    }
    const int served = accept(listener_, nullptr, nullptr);
    if (served < 0) {
      Fail("accept");
    }
    pairs_.push_back({client, served});
  }

  int listener_ = -1;
  sockaddr_in address_{};
  std::vector<Pair> pairs_;
};

LoopbackConnections& Connections() {
  static LoopbackConnections connections;
  return connections;
}

struct Window {
  velmar::InterfaceTable table{nullptr, kAgent};
  int errors = 0;
  velmar::NetStatWindow netStat{&table, [this](const std::exception& e) {
                                  std::fprintf(stderr, "refresh failed: %s\n", e.what());
                                  ++errors;
                                }};
  Window() {
    netStat.show();
    netStat.Pages()->setCurrentWidget(netStat.TcpPage());
    QCoreApplication::processEvents();
  }
};

// The tables have not changed since the last refresh: the walks and the
// formatting run, the pages are left as they are.
void BM_RefreshUnchanged(benchmark::State& state) {
  Connections();
  Window window;
  for (auto _ : state) {
    window.netStat.Refresh();
    QCoreApplication::processEvents();
  }
  state.counters["tcp_rows"] = window.netStat.TcpPage()->blockCount() - 2;
  state.counters["errors"] = window.errors;
}

// One connection has been replaced since the last refresh, so the TCP page
// gets its new text and is painted again.
void BM_RefreshChanged(benchmark::State& state) {
  Connections();
  Window window;
  for (auto _ : state) {
    state.PauseTiming();
    Connections().Renew();
    state.ResumeTiming();
    window.netStat.Refresh();
    QCoreApplication::processEvents();
  }
  state.counters["tcp_rows"] = window.netStat.TcpPage()->blockCount() - 2;
  state.counters["errors"] = window.errors;
}

// The parts of a refresh on their own: the walks of the TCP tables
// (connections and listeners, with their owners read from /proc), the
// process names, the formatting, and setting the page.
void BM_TcpWalk(benchmark::State& state) {
  Connections();
  velmar::InterfaceTable table(nullptr, kAgent);
  velmar::NetStatTables inet(table);
  size_t rows = 0;
  for (auto _ : state) {
    rows = inet.TcpRows().size();
  }
  state.counters["tcp_rows"] = static_cast<double>(rows);
}

void BM_ProcessNames(benchmark::State& state) {
  Connections();
  velmar::InterfaceTable table(nullptr, kAgent);
  velmar::NetStatTables inet(table);
  size_t owners = 0;
  for (auto _ : state) {
    owners = inet.ProcessNames().size();
  }
  state.counters["owners"] = static_cast<double>(owners);
}

void BM_TcpFormat(benchmark::State& state) {
  Connections();
  velmar::InterfaceTable table(nullptr, kAgent);
  velmar::NetStatTables inet(table);
  const auto rows = inet.TcpRows();
  const auto names = inet.ProcessNames();
  velmar::NetStatText text;
  for (auto _ : state) {
    benchmark::DoNotOptimize(text.TcpPage(rows, names));
  }
  state.counters["tcp_rows"] = static_cast<double>(rows.size());
}

void BM_TcpSetText(benchmark::State& state) {
  Connections();
  velmar::InterfaceTable table(nullptr, kAgent);
  velmar::NetStatTables inet(table);
  velmar::NetStatText text;
  const auto rows = inet.TcpRows();
  const QString page = text.TcpPage(rows, inet.ProcessNames());
  const QString other = page + QStringLiteral(" ");
  Window window;
  bool flip = false;
  for (auto _ : state) {
    window.netStat.TcpPage()->setPlainText(flip ? page : other);
    flip = !flip;
    QCoreApplication::processEvents();
  }
  state.counters["tcp_rows"] = static_cast<double>(rows.size());
}

BENCHMARK(BM_RefreshUnchanged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshChanged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TcpWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessNames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TcpFormat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TcpSetText)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
