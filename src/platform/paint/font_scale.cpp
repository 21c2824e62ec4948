#include "platform/paint/font_scale.h"

#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

namespace velmar {

const char* const FontScale::kSample = "The quick brown fox jumps over the lazy dog 0123456789";

FontScale::FontScale(double factor) : factor_(std::max(1.0, factor)) {}

FontScale FontScale::Of(const QFont& font) {
  const QFontMetricsF metrics(font);
  const double height = metrics.height() / kDesignLineHeight;
  const double width = metrics.horizontalAdvance(QString::fromLatin1(kSample)) / kDesignSampleWidth;
  // Hundredths are enough, and the design font itself comes out at exactly 1
  // whatever rounding its metrics went through.
  return FontScale(std::round(std::max(height, width) * 100.0) / 100.0);
}

int FontScale::operator()(int designPixels) const {
  return static_cast<int>(std::lround(designPixels * factor_));
}

QPoint FontScale::Point(QPoint design) const {
  return {(*this)(design.x()), (*this)(design.y())};
}

QSize FontScale::Size(QSize design) const {
  return {(*this)(design.width()), (*this)(design.height())};
}

QRect FontScale::Rect(const QRect& design) const {
  const int left = (*this)(design.x());
  const int top = (*this)(design.y());
  const int right = (*this)(design.x() + design.width());
  const int bottom = (*this)(design.y() + design.height());
  return {left, top, right - left, bottom - top};
}

}  // namespace velmar
