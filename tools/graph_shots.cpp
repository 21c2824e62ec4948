// Renders the 3D graph window in its four styles and both modes, fed with
// made-up but plausible speeds, into <dir>/graph-<mode>-<style>.png.
//
//     QT_QPA_PLATFORM=offscreen graph_shots <dir>
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cmath>
#include <cstdio>

#include "graph/widgets/graph_window_host.h"
#include "measure/result_displays.h"

using velmar::GraphWindow;
using velmar::GraphWindowHost;
using velmar::MeasurementState;
using velmar::StoredDisplays;

namespace {

const char* const kStyles[] = {"bars", "lines", "dots", "solid"};
// Style numbers in the order of the names above.
const uint8_t kStyleNumbers[] = {0, 1, 2, 3};

void FillState(MeasurementState& state) {
  // A download that ramps up and settles, and a lighter upload.
  for (size_t i = 0; i < state.DownWindow.size(); ++i) {
    const double t = static_cast<double>(i);
    state.DownWindow[i] = static_cast<float>(60000 + 40000 * std::sin(t / 5.0) + 1500 * t);
    state.UpWindow[i] = static_cast<float>(15000 + 8000 * std::cos(t / 4.0));
  }
  state.DownHighWater = 110000;
  state.UpHighWater = 26000;
  state.KilobitMode = 0;
}

void FillDisplays(StoredDisplays& d) {
  d.SetValue(velmar::Display::UpDigits, 187);
  d.SetValue(velmar::Display::UpDigits2, 42);
  d.SetValue(velmar::Display::UpAvgDigits, 142);
  d.SetValue(velmar::Display::DownDigits, 812);
  d.SetValue(velmar::Display::DownDigits2, 5);
  d.SetValue(velmar::Display::DownAvgDigits, 655);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: graph_shots <output dir>\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  QDir().mkpath(out.path());
  MeasurementState state;
  FillState(state);
  StoredDisplays displays;
  FillDisplays(displays);
  // S as the publication computes it: the higher high-water mark in kbit/s.
  const int scale = static_cast<int>(
      std::lround(std::max(state.UpHighWater, state.DownHighWater) * 8.0 / 1000.0));

  GraphWindowHost host;
  for (const uint8_t mode : {1, 2}) {
    for (size_t s = 0; s < std::size(kStyles); ++s) {
      host.ShowGraph(mode);
      GraphWindow* window = host.Window();
      window->SelectStyle(kStyleNumbers[s]);
      // Two history feeds fill all 32 points; live data needs one.
      state.AlarmToggle = false;
      host.Feed()->Feed(state, displays, scale, velmar::DisplayUnit());
      host.Feed()->Feed(state, displays, scale, velmar::DisplayUnit());
      QApplication::processEvents();
      const QString name =
          out.filePath(QStringLiteral("graph-%1-%2.png")
                           .arg(mode == 1 ? QStringLiteral("live") : QStringLiteral("history"),
                                QString::fromLatin1(kStyles[s])));
      if (!window->grab().save(name)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(name));
        return 1;
      }
      std::printf("%s\n", qPrintable(name));
    }
  }
  host.CloseGraph();
  QApplication::processEvents();
  return 0;
}
