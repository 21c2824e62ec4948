// Drawing the 3D graph: the averages history's 32 points (the most the
// window ever shows) rendered into an image at the window's chart size,
// as every tick's repaint does; and the live data's four points.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "graph/chart_renderer.h"
#include "graph/graph_chart.h"
#include "graph/graph_feeder.h"

namespace {

// The chart's area inside the 413 x 400 window.
const QSize kChartSize(385, 290);

void Fill(velmar::GraphChart& chart, velmar::GraphFeeder& feeder, uint8_t mode) {
  velmar::MeasurementState state;
  velmar::StoredDisplays displays;
  for (size_t i = 0; i < 32; ++i) {
    state.UpWindow[i] = static_cast<float>(12000 + 500 * i);
    state.DownWindow[i] = static_cast<float>(70000 + 900 * i);
  }
  displays.SetValue(velmar::Display::UpDigits, 187);
  displays.SetValue(velmar::Display::DownDigits, 812);
  displays.SetValue(velmar::Display::UpAvgDigits, 142);
  displays.SetValue(velmar::Display::DownAvgDigits, 655);
  chart.InitializeTitleAndStyle();
  feeder.Attach(&chart);
  feeder.GraphMode = mode;
  feeder.Feed(state, displays, 900, velmar::DisplayUnit());
  feeder.Feed(state, displays, 900, velmar::DisplayUnit());
}

void Render(benchmark::State& bench, uint8_t style, uint8_t mode) {
  velmar::GraphChart chart;
  velmar::GraphFeeder feeder;
  Fill(chart, feeder, mode);
  chart.SelectStyle(style);
  Fill(chart, feeder, mode);
  QImage image(kChartSize, QImage::Format_RGB32);
  for (auto _ : bench) {
    QPainter painter(&image);
    velmar::ChartRenderer::Render(chart.Chart, painter, QRectF(QPointF(0, 0), QSizeF(kChartSize)));
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
}

void BM_History32Bars(benchmark::State& s) {
  Render(s, 0, 2);
}
void BM_History32Lines(benchmark::State& s) {
  Render(s, 1, 2);
}
void BM_History32Dots(benchmark::State& s) {
  Render(s, 2, 2);
}
void BM_History32Area(benchmark::State& s) {
  Render(s, 3, 2);
}
void BM_Live4Bars(benchmark::State& s) {
  Render(s, 0, 1);
}

BENCHMARK(BM_History32Bars)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_History32Lines)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_History32Dots)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_History32Area)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Live4Bars)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  // Text needs a GUI application; no screen is needed.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
