#include "platform/paint/contrast.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace velmar {

namespace {

// c^2.4 as c^2 times the fifth root of c^2, the root by Newton's method
// from 1, which reaches full precision for every c of the curve's upper
// part, (0.09, 1], within a dozen steps.
constexpr double Power2_4(double c) {
  const double a = c * c;
  double y = 1;
  for (int step = 0; step < 40; ++step) {
    const double y2 = y * y;
    y = (4 * y + a / (y2 * y2)) / 5;
  }
  return a * y;
}

// The linear light of every 8-bit channel value, computed while compiling:
// the window checks its colours at start, and std::pow would keep some
// 150 kB of libm's code and tables in its memory from then on.
constexpr std::array<double, 256> kLinear = [] {
  std::array<double, 256> table{};
  for (size_t channel = 0; channel < table.size(); ++channel) {
    const double c = static_cast<double>(channel) / 255.0;
    table[channel] = c <= 0.04045 ? c / 12.92 : Power2_4((c + 0.055) / 1.055);
  }
  return table;
}();

double Linear(int channel) {
  return kLinear[static_cast<size_t>(std::clamp(channel, 0, 255))];
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
