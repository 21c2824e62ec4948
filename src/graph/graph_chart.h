#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

#include "graph/chart3d.h"

namespace velmar {

// The graph window's chart without the window: its settings at creation,
// the four series (one per style), `SelectStyle` and the views the sliders
// ask for. The window only wires its controls to it, so all of this is
// tested without a display.
class GraphChart : public QObject {
  Q_OBJECT

 public:
  static constexpr uint8_t kStyles = 4;
  // The title line; it begins with "Velmar 2000 - ".
  static const QString kTitle;
  static const QString kHint;
  // The view of a new window and of every style change.
  static constexpr double kDepthPercent = 50;
  static constexpr double kZoom = 90;
  static constexpr double kRotation = 344;
  static constexpr double kElevation = 342;
  static constexpr double kHorizOffset = 0;
  static constexpr double kVertOffset = 10;

  GraphChart();

  // The creation step: the title, then style 0.
  void InitializeTitleAndStyle();
  // Makes series n (0 bars, 1 lines, 2 points, 3 area) the only active
  // one, empty, and resets the view; other numbers change nothing.
  void SelectStyle(uint8_t n);
  // The sliders: rotation and elevation are 180 - position, the zoom the
  // position itself.
  void SetRotationFromSlider(int position);
  void SetElevationFromSlider(int position);
  void SetZoomFromSlider(int position);

  uint8_t CurrentStyle() const { return currentStyle_; }
  // The series of the current style: the one the feed fills.
  ChartSeries& ActiveSeries() const { return Chart.Series(currentStyle_); }

  // Tells the view to draw the chart again.
  void NotifyChanged() { emit changed(); }

  Chart3D Chart;
  ChartSeries* BarSeries = nullptr;    // vertical bars
  ChartSeries* LineSeries = nullptr;   // lines
  ChartSeries* PointSeries = nullptr;  // points
  ChartSeries* AreaSeries = nullptr;   // area

 signals:
  void changed();

 private:
  uint8_t currentStyle_ = 0;
};

}  // namespace velmar
