// The whole measurement tick in the real window: the interface-table walk
// through the real agent, the rates, both averagings with their message-
// queue runs, the publication and the repaint of the displays.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>

#include "main_window.h"

namespace {

void BM_WholeTick(benchmark::State& bench) {
  QTemporaryDir dir;
  qputenv("VELMAR_REGISTRY", dir.filePath("registry.db").toUtf8());
  velmar::MainWindow::Environment env;
  env.agentLibrary = QStringLiteral(VELMAR_BIN_DIR "/libmib2.so");
  env.settingsFile = dir.filePath("Velmarsettings.ini");
  env.autostartEntry = dir.filePath("velmar.desktop");
  velmar::MainWindow form(env);
  form.Start();
  form.show();
  form.findChild<QPushButton*>("ActiveOn")->click();
  auto& state = form.State();
  form.Sampler().Tick();  // stamps the time
  double fake = 1000;
  for (auto _ : bench) {
    // Every tick a second after the last, with moving rates so both
    // averagings and every display do their full work.
    state.LastTickMs -= 1000;
    state.CurInOctets -= static_cast<uint32_t>(fake);
    state.CurOutOctets -= static_cast<uint32_t>(fake / 2);
    fake = fake > 100000 ? 1000 : fake * 1.3;
    form.Sampler().Tick();
    QCoreApplication::processEvents();  // the repaint
  }
}

BENCHMARK(BM_WholeTick)->Unit(benchmark::kMicrosecond);

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
