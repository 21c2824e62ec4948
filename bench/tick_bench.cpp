// The whole measurement tick in the real window: the interface-table walk
// through the real agent, the rates, both averagings with their message-
// queue runs, the publication and the repaint of the displays.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <vector>

#include "shell/widgets/main_window.h"
#include "support/main_window_probe.h"

namespace {

// The window's clock: each tick a second after the last.
class BenchClock : public velmar::TickClock {
 public:
  uint32_t TickCount() const override { return now; }
  uint32_t now = 100000;
};

void BM_WholeTick(benchmark::State& bench) {
  QTemporaryDir dir;
  qputenv("VELMAR_REGISTRY", dir.filePath("registry.db").toUtf8());
  velmar::MainWindow::Environment env;
  env.agentLibrary = QStringLiteral(VELMAR_BIN_DIR "/libmib2.so");
  env.settingsFile = dir.filePath("Velmarsettings.ini");
  env.autostartEntry = dir.filePath("velmar.desktop");
  BenchClock clock;
  env.clock = &clock;
  velmar::MainWindow form(env);
  form.Start();
  form.show();
  form.findChild<QPushButton*>("ActiveOn")->click();
  const velmar::MainWindowProbe probe(form);
  velmar::MeterCore& core = probe.Session().Core();
  // The loopback's row: real bytes sent over it between ticks move the rates.
  const QStringList adapters = core.Sampler().BuildAdapterList();
  probe.Session().Core().SetAdapterIndex(
      static_cast<int16_t>(std::max<qsizetype>(0, adapters.indexOf("lo"))));
  const int sender = socket(AF_INET, SOCK_DGRAM, 0);
  const int receiver = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(receiver, reinterpret_cast<sockaddr*>(&to), sizeof to);
  socklen_t length = sizeof to;
  getsockname(receiver, reinterpret_cast<sockaddr*>(&to), &length);
  std::vector<char> datagram(60000, 'v');
  core.Tick();  // stamps the time
  double fake = 1000;
  for (auto _ : bench) {
    // Every tick a second after the last, with moving rates so both
    // averagings and every display do their full work. Only the tick is
    // timed, not the sending.
    clock.now += 1000;
    for (double left = fake; left > 0; left -= static_cast<double>(datagram.size())) {
      const size_t n = std::min(datagram.size(), static_cast<size_t>(left) + 1);
      sendto(sender, datagram.data(), n, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
      recv(receiver, datagram.data(), datagram.size(), MSG_DONTWAIT);
    }
    fake = fake > 1000000 ? 1000 : fake * 1.3;
    const auto start = std::chrono::steady_clock::now();
    core.Tick();
    QCoreApplication::processEvents();  // the repaint
    bench.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  close(sender);
  close(receiver);
}

BENCHMARK(BM_WholeTick)->Unit(benchmark::kMicrosecond)->UseManualTime();

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
