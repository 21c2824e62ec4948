#pragma once

#include <QColor>
#include <QImage>
#include <QSize>

#include "measure/paint/painter_property.h"

namespace velmar {

// Draws a vertical bar graph of a percentage into an off-screen image: the
// logic behind Indicator, usable without a display. Bars run from the top
// down; the lit ones fill from the bottom up, the others show a dim shade of
// the foreground so the scale stays visible.
//
// The design's bars are two pixel rows on a three-row pitch below a two-row
// margin, in two halves with a one-pixel gap down the middle. The picture is
// drawn in device pixels, each of those lengths multiplied by the device
// pixel ratio and the window's font scale and rounded once, so all bars and
// all gaps of a control are alike at any ratio.
//
// Setters return true when they changed something, so that the widget asks
// for a repaint only then.
class IndicatorPainter {
 public:
  static constexpr int kDefaultWidth = 32;
  static constexpr int kDefaultHeight = 128;

  // The bars' lengths in device pixels for a scale.
  struct BarGeometry {
    int margin;      // above the first bar and below the last
    int bar;         // rows of a bar
    int pitch;       // rows from one bar to the next
    int sideMargin;  // left and right of the halves
    int gap;         // between the halves
  };

  IndicatorPainter() = default;

  int Position() const { return position_; }
  QColor Background() const { return background_; }
  QColor Foreground() const { return foreground_; }
  // The foreground with each component halved, for the unlit bars.
  QColor DimColor() const { return dimColor_; }
  QSize Size() const { return size_; }
  qreal DevicePixelRatio() const { return devicePixelRatio_; }
  qreal LayoutScale() const { return layoutScale_; }

  // Positions outside 0..100 are limited to that range.
  bool SetPosition(int position);
  // The control is opaque: colours are taken without their alpha.
  bool SetBackground(const QColor& color);
  bool SetForeground(const QColor& color);
  // The control's size in logical pixels.
  bool SetSize(QSize size);
  // The screen's device pixel ratio and the window's font scale (below 1
  // count as 1).
  bool SetDevicePixelRatio(qreal ratio);
  bool SetLayoutScale(qreal scale);

  // Device pixels per design pixel, and the bar lengths for a scale.
  qreal Scale() const { return devicePixelRatio_ * layoutScale_; }
  static BarGeometry Geometry(qreal scale);
  // Bars that fit `height` pixels drawn at `scale`; none when not even one
  // fits between the margins.
  static int BarCount(int height, qreal scale = 1);
  // The first lit bar (0 = top) of `barCount` bars at `position`; every bar
  // from it down is lit.
  static int FirstLitBar(int barCount, int position);

  // The whole control at Size() x DevicePixelRatio() pixels, marked with
  // the ratio; null when the size is empty.
  const QImage& Render();

 private:
  bool SetScaleFactor(qreal& field, qreal value);
  void DrawBars(QImage& image) const;

  int position_ = 0;
  QColor background_{0, 0, 0};
  QColor foreground_{0, 255, 0};
  QColor dimColor_{0, 127, 0};
  QSize size_{kDefaultWidth, kDefaultHeight};
  qreal devicePixelRatio_ = 1;
  qreal layoutScale_ = 1;
  CachedImage picture_;
};

}  // namespace velmar
