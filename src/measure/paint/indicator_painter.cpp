#include "measure/paint/indicator_painter.h"

#include <QRgb>
#include <algorithm>
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
  return StoreIfChanged(position_, std::clamp(position, 0, 100), imageStale_);
}

bool IndicatorPainter::SetBackground(const QColor& color) {
  return StoreIfChanged(background_, color, imageStale_);
}

bool IndicatorPainter::SetForeground(const QColor& color) {
  if (!StoreIfChanged(foreground_, color, imageStale_)) {
    return false;
  }
  dimColor_ = QColor(foreground_.red() / 2, foreground_.green() / 2, foreground_.blue() / 2);
  return true;
}

bool IndicatorPainter::SetSize(QSize size) {
  return StoreIfChanged(size_, size, imageStale_);
}

int IndicatorPainter::BarCount(int height) {
  const int rows = height / 3;
  return rows < 2 ? 0 : rows - 1;
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
  if (image_.size() != size_) {
    image_ = size_.isEmpty() ? QImage() : QImage(size_, QImage::Format_RGB32);
    imageStale_ = true;
  }
  if (!imageStale_ || image_.isNull()) {
    return image_;
  }
  imageStale_ = false;
  image_.fill(background_);
  const int bars = BarCount(size_.height());
  const int firstLit = FirstLitBar(bars, position_);
  const int width = size_.width();
  const QRgb lit = foreground_.rgb();
  const QRgb dim = dimColor_.rgb();
  for (int bar = 0; bar < bars; ++bar) {
    const QRgb colour = bar < firstLit ? dim : lit;
    // Two pixel rows per bar, each in two halves with a gap down the middle.
    for (int y = 3 * bar + 2; y <= 3 * bar + 3; ++y) {
      DrawRowFromTo(image_, y, width / 2 - 1, 4, colour);
      DrawRowFromTo(image_, y, width / 2 + 1, width - 5, colour);
    }
  }
  return image_;
}

}  // namespace velmar
