#include "measure/paint/indicator_painter.h"

#include <QRgb>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "measure/paint/painter_property.h"

namespace velmar {

namespace {

// A horizontal line from `from` towards `to`, the end point excluded, in
// whichever direction that runs; clipped to the image.
void DrawRowFromTo(QImage& image, int y, int from, int to, QRgb colour) {
  if (y < 0 || y >= image.height() || from == to) {
    return;
  }
  // Inclusive pixel range covered by the half-open line.
  int first = from < to ? from : to + 1;
  int last = from < to ? to - 1 : from;
  first = std::max(first, 0);
  last = std::min(last, image.width() - 1);
  auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
  for (int x = first; x <= last; ++x) {
    row[x] = colour;
  }
}

}  // namespace

bool IndicatorPainter::SetPosition(int position) {
  return StoreIfChanged(position_, std::clamp(position, 0, 100), picture_.stale);
}

bool IndicatorPainter::SetBackground(const QColor& color) {
  return StoreIfChanged(background_, color, picture_.stale);
}

bool IndicatorPainter::SetForeground(const QColor& color) {
  if (!StoreIfChanged(foreground_, color, picture_.stale)) {
    return false;
  }
  dimColor_ = QColor(foreground_.red() / 2, foreground_.green() / 2, foreground_.blue() / 2);
  return true;
}

bool IndicatorPainter::SetSize(QSize size) {
  return StoreIfChanged(size_, size, picture_.stale);
}

bool IndicatorPainter::SetDevicePixelRatio(qreal ratio) {
  return SetScaleFactor(devicePixelRatio_, ratio);
}

bool IndicatorPainter::SetLayoutScale(qreal scale) {
  return SetScaleFactor(layoutScale_, scale);
}

bool IndicatorPainter::SetScaleFactor(qreal& field, qreal value) {
  return StoreIfChanged(field, std::max<qreal>(1, value), picture_.stale);
}

IndicatorPainter::BarGeometry IndicatorPainter::Geometry(qreal scale) {
  const auto device = [scale](int design) {
    return std::max(1, static_cast<int>(std::lround(design * scale)));
  };
  return {device(2), device(2), device(3), device(5), device(1)};
}

int IndicatorPainter::BarCount(int height, qreal scale) {
  const BarGeometry g = Geometry(scale);
  const int room = height - 2 * g.margin - g.bar;
  return room < 0 ? 0 : room / g.pitch + 1;
}

int IndicatorPainter::FirstLitBar(int barCount, int position) {
  if (barCount <= 0) {
    return 0;
  }
  position = std::clamp(position, 0, 100);
  // (barCount - 1) / 100 * (100 - position), rounded half to even, in
  // integers: a floating-point 0.21 * 50 may land either side of 10.5.
  const int64_t scaled = static_cast<int64_t>(barCount - 1) * (100 - position);
  int64_t bar = scaled / 100;
  const int64_t remainder = scaled % 100;
  if (remainder > 50 || (remainder == 50 && bar % 2 == 1)) {
    ++bar;
  }
  return static_cast<int>(bar);
}

const QImage& IndicatorPainter::Render() {
  return picture_.Render(size_, devicePixelRatio_, background_,
                         [this](QImage& image) { DrawBars(image); });
}

void IndicatorPainter::DrawBars(QImage& image) const {
  const BarGeometry g = Geometry(Scale());
  const int bars = BarCount(image.height(), Scale());
  const int firstLit = FirstLitBar(bars, position_);
  const int width = image.width();
  // The gap starts at the middle column and grows to the right; the left
  // half is drawn from the gap outwards.
  const int gapStart = width / 2;
  const QRgb lit = foreground_.rgb();
  const QRgb dim = dimColor_.rgb();
  for (int bar = 0; bar < bars; ++bar) {
    const QRgb colour = bar < firstLit ? dim : lit;
    const int top = g.margin + bar * g.pitch;
    for (int y = top; y < top + g.bar; ++y) {
      DrawRowFromTo(image, y, gapStart - 1, g.sideMargin - 1, colour);
      DrawRowFromTo(image, y, gapStart + g.gap, width - g.sideMargin, colour);
    }
  }
}

}  // namespace velmar
