#include "platform/paint/contrast.h"

#include <algorithm>
#include <cmath>

namespace velmar {

namespace {

double Linear(int channel) {
  const double c = channel / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

QColor Mix(const QColor& from, const QColor& to, double t) {
  const auto mix = [t](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * t)); };
  return QColor(mix(from.red(), to.red()), mix(from.green(), to.green()),
                mix(from.blue(), to.blue()));
}

}  // namespace

double RelativeLuminance(const QColor& colour) {
  const QColor rgb = colour.toRgb();
  return 0.2126 * Linear(rgb.red()) + 0.7152 * Linear(rgb.green()) + 0.0722 * Linear(rgb.blue());
}

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = RelativeLuminance(a);
  const double lb = RelativeLuminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor Readable(const QColor& colour, const QColor& background, double ratio) {
  if (ContrastRatio(colour, background) >= ratio) {
    return colour.toRgb();
  }
  // Towards black on a light background, towards white on a dark one: the
  // hue stays while the contrast grows with every step.
  const QColor end = RelativeLuminance(background) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
  for (int step = 1; step <= 20; ++step) {
    const QColor mixed = Mix(colour.toRgb(), end, step / 20.0);
    if (ContrastRatio(mixed, background) >= ratio) {
      return mixed;
    }
  }
  return end;
}

bool IsDark(const QColor& window, const QColor& text) {
  return RelativeLuminance(window) < RelativeLuminance(text);
}

}  // namespace velmar
