#include "graph/chart_drawing.h"

#include <QPaintDevice>
#include <numeric>

namespace velmar::chart_drawing {

QFont PixelFont(const QString& family, double pixels) {
  QFont font(family);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
  return font;
}

QFontMetricsF Metrics(const QFont& font, const QPaintDevice* device) {
  return device != nullptr ? QFontMetricsF(font, device) : QFontMetricsF(font);
}

QFont TitleFont(const Chart3D& chart) {
  return PixelFont(chart.TitleFontFamily, chart.TitleFontPointSize * kPixelsPerPoint);
}

QFont AxisFont(const ChartAxis& axis) {
  return PixelFont(axis.LabelFontFamily, axis.LabelFontPixelHeight);
}

QFont MarksFont(const ChartMarks& marks) {
  return PixelFont(marks.FontFamily, marks.FontPixelHeight);
}

QFont LegendFont() {
  return PixelFont(QStringLiteral("Arial"), 11);
}

// A colour seen on a face whose outward normal (in the chart's x, y) is
// given: tops lighter, sides and undersides darker, fronts as they are, so
// a bar's front shows exactly its colour.
QColor Shade(const QColor& color, double nx, double ny) {
  const double factor =
      100.0 + 25.0 * std::max(0.0, ny) - 30.0 * std::abs(nx) - 30.0 * std::max(0.0, -ny);
  if (factor >= 100.0) {
    return color.lighter(static_cast<int>(std::lround(factor)));
  }
  return color.darker(static_cast<int>(std::lround(10000.0 / factor)));
}

// Text readable on any background: a one-pixel halo in the contrasting
// colour behind the text.
void DrawHaloText(QPainter& painter, const QRectF& rect, int flags, const QString& text,
                  const QColor& color) {
  const QColor halo = color.lightnessF() > 0.45 ? QColor(0, 0, 0, 200) : QColor(255, 255, 255, 200);
  painter.setPen(halo);
  for (const QPointF d : {QPointF(-1, 0), QPointF(1, 0), QPointF(0, -1), QPointF(0, 1)}) {
    painter.drawText(rect.translated(d), flags, text);
  }
  painter.setPen(color);
  painter.drawText(rect, flags, text);
}

double SignedArea(const QPolygonF& p) {
  double twice = 0;
  for (int i = 0; i < p.size(); ++i) {
    const QPointF& a = p[i];
    const QPointF& b = p[(i + 1) % p.size()];
    twice += a.x() * b.y() - b.x() * a.y();
  }
  return twice / 2;
}

Solid Prism(const ChartProjection& proj, const QPolygonF& base, double z0, double z1,
            const QColor& color) {
  return Prism(proj, base, z0, z1, color, [](QPointF, QPointF) { return false; });
}

QPolygonF Rect(double x0, double y0, double x1, double y1) {
  return QPolygonF{QPointF(x0, y0), QPointF(x1, y0), QPointF(x1, y1), QPointF(x0, y1)};
}

void Paint(QPainter& painter, const Solid& solid) {
  for (const Face& f : solid.faces) {
    painter.setPen(QPen(f.fill.darker(150), 0.8));
    painter.setBrush(f.fill);
    painter.drawPolygon(f.polygon);
  }
}

// Sutherland-Hodgman against the plot's rectangle [0, w] x [0, h].
QPolygonF ClipPolygon(const QPolygonF& polygon, double w, double h) {
  QPolygonF out = polygon;
  const auto clip = [&](auto inside, auto cross) {
    QPolygonF in = out;
    out.clear();
    for (int i = 0; i < in.size(); ++i) {
      const QPointF cur = in[i];
      const QPointF prev = in[(i + in.size() - 1) % in.size()];
      const bool curIn = inside(cur), prevIn = inside(prev);
      if (curIn) {
        if (!prevIn) {
          out << cross(prev, cur);
        }
        out << cur;
      } else if (prevIn) {
        out << cross(prev, cur);
      }
    }
  };
  const auto atX = [](double x) {
    return [x](QPointF a, QPointF b) {
      const double t = (x - a.x()) / (b.x() - a.x());
      return QPointF(x, a.y() + t * (b.y() - a.y()));
    };
  };
  const auto atY = [](double y) {
    return [y](QPointF a, QPointF b) {
      const double t = (y - a.y()) / (b.y() - a.y());
      return QPointF(a.x() + t * (b.x() - a.x()), y);
    };
  };
  clip([](QPointF p) { return p.x() >= 0; }, atX(0));
  if (!out.isEmpty()) {
    clip([w](QPointF p) { return p.x() <= w; }, atX(w));
  }
  if (!out.isEmpty()) {
    clip([](QPointF p) { return p.y() >= 0; }, atY(0));
  }
  if (!out.isEmpty()) {
    clip([h](QPointF p) { return p.y() <= h; }, atY(h));
  }
  return out;
}

// Liang-Barsky: the part of segment a-b inside [0, w] x [0, h].
bool ClipSegment(QPointF& a, QPointF& b, double w, double h) {
  double t0 = 0, t1 = 1;
  const double dx = b.x() - a.x(), dy = b.y() - a.y();
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.x(), w - a.x(), a.y(), h - a.y()};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) {
        return false;
      }
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
    if (t0 > t1) {
      return false;
    }
  }
  const QPointF start = a;
  a = QPointF(start.x() + t0 * dx, start.y() + t0 * dy);
  b = QPointF(start.x() + t1 * dx, start.y() + t1 * dy);
  return true;
}

bool HasMarks(const Chart3D& chart) {
  for (int s = 0; s < chart.SeriesCount(); ++s) {
    if (chart.Series(s).Active && chart.Series(s).Marks.Visible) {
      return true;
    }
  }
  return false;
}

// The shortest period (up to 4) with which the labels of the page repeat,
// 0 when they do not repeat.
int LabelPeriod(const ChartSeries* series, int from, int to) {
  if (series == nullptr) {
    return 0;
  }
  to = std::min(to, series->Count());
  from = std::max(0, from);
  for (int period = 1; period <= 4; ++period) {
    if (to - from <= period) {
      return 0;
    }
    bool repeats = true;
    for (int i = from; i + period < to && repeats; ++i) {
      repeats = series->Label(i) == series->Label(i + period);
    }
    if (repeats) {
      return period;
    }
  }
  return 0;
}

// Every n-th point gets room for a text `extent` pixels long when points
// lie `room` pixels apart. With labels that repeat in a period (up, down,
// up, down...), n is made prime to that period, so every kind of point
// keeps some texts and each stays under its own point.
int Stride(double extent, double room, int period, int places) {
  if (!(room > 0)) {
    return std::max(1, places);
  }
  int stride = std::max(1, static_cast<int>(std::ceil((extent + kTextGap) / room - 1e-9)));
  while (period > 1 && std::gcd(stride, period) != 1) {
    ++stride;
  }
  return std::min(stride, std::max(1, places));
}

std::vector<double> MajorValues(double from, double to, double step) {
  std::vector<double> values;
  if (!(step > 0) || !(to >= from)) {
    return values;
  }
  const double eps = step * 1e-9;
  for (double k = std::ceil(from / step - 1e-9); values.size() < 1000; k += 1) {
    const double v = k * step;
    if (v > to + eps) {
      break;
    }
    values.push_back(std::abs(v) < eps ? 0.0 : v);
  }
  return values;
}

}  // namespace velmar::chart_drawing
