// The tick's interface-table walk against the remote agent library reading
// a real snmpd on 127.0.0.1 (started here, at a free port), beside the same
// walk against the local agent. The remote walk answers from the latest
// snapshot, so it should cost about what the local one does; the polls run
// on the agent's own thread and are not in the figure.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <thread>

#include "interface_table.h"
#include "remote_source.h"

namespace {

struct Snmpd {
  QTemporaryDir dir;
  pid_t pid = -1;
  uint16_t port = 0;

  bool Start() {
    const int probe = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    getsockname(probe, reinterpret_cast<sockaddr*>(&a), &length);
    port = ntohs(a.sin_port);
    close(probe);
    QFile conf(dir.filePath(QStringLiteral("snmpd.conf")));
    if (!conf.open(QIODevice::WriteOnly)) {
      return false;
    }
    conf.write(QStringLiteral("agentAddress udp:127.0.0.1:%1\nrocommunity bench 127.0.0.1\n")
                   .arg(port)
                   .toUtf8());
    conf.close();
    const QByteArray confPath = QFile::encodeName(conf.fileName());
    const QByteArray log = QFile::encodeName(dir.filePath(QStringLiteral("snmpd.log")));
    const QByteArray persist = QFile::encodeName(dir.filePath(QStringLiteral("persist")));
    pid = fork();
    if (pid == 0) {
      setenv("SNMP_PERSISTENT_DIR", persist.constData(), 1);
      execlp("snmpd", "snmpd", "-f", "-Lf", log.constData(), "-C", "-c", confPath.constData(),
             static_cast<char*>(nullptr));
      execl("/usr/sbin/snmpd", "snmpd", "-f", "-Lf", log.constData(), "-C", "-c",
            confPath.constData(), static_cast<char*>(nullptr));
      _exit(127);
    }
    return pid > 0;
  }
  ~Snmpd() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

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
  Snmpd snmpd;
  if (!snmpd.Start()) {
    state.SkipWithError("cannot start snmpd");
    return;
  }
  qputenv("VELMAR_REMOTE_AGENT_LIBRARY", VELMAR_BIN_DIR "/libmib2remote.so");
  velmar::RemoteSource source;
  source.host = QStringLiteral("127.0.0.1");
  source.port = snmpd.port;
  source.community = QStringLiteral("bench");
  std::unique_ptr<velmar::InterfaceTable> table;
  for (int attempt = 0; attempt < 40 && !table; ++attempt) {
    try {
      table = std::make_unique<velmar::InterfaceTable>(source);
    } catch (const std::exception&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
  }
  if (!table) {
    state.SkipWithError("snmpd does not answer");
    return;
  }
  Walks(state, *table);
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
