#pragma once

#include <QColor>
#include <QImage>
#include <QSize>

namespace velmar {

// Draws a vertical bar graph of a percentage into an off-screen image: the
// logic behind Indicator, usable without a display. Bars run from the top
// down; the lit ones fill from the bottom up, the others show a dim shade of
// the foreground so the scale stays visible.
//
// Setters return true when they changed something, so that the widget asks
// for a repaint only then.
class IndicatorPainter {
 public:
  static constexpr int kDefaultWidth = 32;
  static constexpr int kDefaultHeight = 128;

  IndicatorPainter() = default;

  int Position() const { return position_; }
  QColor Background() const { return background_; }
  QColor Foreground() const { return foreground_; }
  // The foreground with each component halved, for the unlit bars.
  QColor DimColor() const { return dimColor_; }
  QSize Size() const { return size_; }

  // Positions outside 0..100 are limited to that range.
  bool SetPosition(int position);
  // The control is opaque: colours are taken without their alpha.
  bool SetBackground(const QColor& color);
  bool SetForeground(const QColor& color);
  bool SetSize(QSize size);

  // Bars that fit `height`: three pixel rows each after a two-row top
  // margin; none when fewer than two would fit.
  static int BarCount(int height);
  // The first lit bar (0 = top) of `barCount` bars at `position`; every bar
  // from it down is lit.
  static int FirstLitBar(int barCount, int position);

  // The whole control at Size(); null when the size is empty.
  const QImage& Render();

 private:
  int position_ = 0;
  QColor background_{0, 0, 0};
  QColor foreground_{0, 255, 0};
  QColor dimColor_{0, 127, 0};
  QSize size_{kDefaultWidth, kDefaultHeight};
  QImage image_;
  bool imageStale_ = true;
};

}  // namespace velmar
