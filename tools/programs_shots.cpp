// Renders the NetStat window's PROGRAMS page, light and dark, with what
// this machine's loopback carries into <dir>/netstat-programs.png and
// <dir>/netstat-programs-dark.png. scripts/programs_screenshot starts the
// traffic (a web server and two clients at known rates) around it.
//
//     QT_QPA_PLATFORM=offscreen programs_shots <dir>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QPalette>
#include <QStyleFactory>
#include <QTimer>
#include <cstdio>

#include "measure/measurement_state.h"
#include "netstat/widgets/net_stat_window.h"

using velmar::MeasurementState;
using velmar::NetStatWindow;

namespace {

uint64_t LoopbackBytes(const char* direction) {
  QFile file(QStringLiteral("/sys/class/net/lo/statistics/%1_bytes").arg(direction));
  return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toULongLong() : 0;
}

void Wait(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Readings every two seconds, the loopback's counters as the interfaces'.
void Read(NetStatWindow& window, MeasurementState& state, int readings) {
  for (int i = 0; i < readings; ++i) {
    state.CountedDownBytes = LoopbackBytes("rx");
    state.CountedUpBytes = LoopbackBytes("tx");
    window.Refresh();
    Wait(NetStatWindow::kRefreshIntervalMs);
  }
}

QPalette DarkPalette() {
  QPalette p;
  p.setColor(QPalette::Window, QColor(45, 45, 48));
  p.setColor(QPalette::WindowText, QColor(230, 230, 230));
  p.setColor(QPalette::Base, QColor(30, 30, 30));
  p.setColor(QPalette::AlternateBase, QColor(45, 45, 48));
  p.setColor(QPalette::Text, QColor(230, 230, 230));
  p.setColor(QPalette::Button, QColor(55, 55, 58));
  p.setColor(QPalette::ButtonText, QColor(230, 230, 230));
  p.setColor(QPalette::Highlight, QColor(42, 130, 218));
  p.setColor(QPalette::HighlightedText, Qt::white);
  return p;
}

bool Shot(const QString& dir, const QString& name, const QPalette* palette) {
  MeasurementState state;
  if (palette != nullptr) {
    QApplication::setPalette(*palette);
  }
  // Counted from here, as the meter's counts since its start would be.
  state.CountedDownBytes = LoopbackBytes("rx");
  state.CountedUpBytes = LoopbackBytes("tx");
  NetStatWindow window(nullptr, [](const std::exception&) {});
  velmar::programs::ProgramFeed::Options options;
  // The traffic of the picture is on the loopback, which the meter leaves out.
  options.counts = [](const velmar::programs::TcpSocketBytes&) { return true; };
  window.ShowPrograms(state, options);
  window.Pages()->setCurrentWidget(window.ProgramsPage());
  window.show();
  Read(window, state, 4);
  const QString path = dir + QLatin1Char('/') + name;
  const bool saved = window.grab().save(path);
  std::printf("%s: %s\n", qPrintable(path), saved ? "saved" : "NOT saved");
  return saved;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: programs_shots <dir>\n");
    return 2;
  }
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  const QString dir = QString::fromLocal8Bit(argv[1]);
  const QPalette dark = DarkPalette();
  const bool light = Shot(dir, QStringLiteral("netstat-programs.png"), nullptr);
  return light && Shot(dir, QStringLiteral("netstat-programs-dark.png"), &dark) ? 0 : 1;
}
