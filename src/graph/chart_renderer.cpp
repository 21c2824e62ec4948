#include "chart_renderer.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPaintDevice>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace velmar {

namespace {

// Font sizes given in points are drawn at the screen's 96 dots per inch,
// so the chart looks the same on a page as in the window.
constexpr double kPixelsPerPoint = 96.0 / 72.0;
// Labels and marks of one kind keep this many pixels apart.
constexpr double kTextGap = 4.0;

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

struct Face {
  QPolygonF polygon;
  QColor fill;
  double depth = 0;
};

// Faces of one solid, painted far to near; solids are painted far to near
// too, which orders disjoint solids correctly.
struct Solid {
  double depth = 0;
  std::vector<Face> faces;
};

double SignedArea(const QPolygonF& p) {
  double twice = 0;
  for (int i = 0; i < p.size(); ++i) {
    const QPointF& a = p[i];
    const QPointF& b = p[(i + 1) % p.size()];
    twice += a.x() * b.y() - b.x() * a.y();
  }
  return twice / 2;
}

// A prism over a polygon of the x-y plane, given counter-clockwise, from
// depth z0 to z1. Edges for which `skipEdge` holds are inner seams between
// neighbouring solids and are not drawn.
template <typename Skip>
Solid Prism(const ChartProjection& proj, const QPolygonF& base, double z0, double z1,
            const QColor& color, Skip skipEdge) {
  Solid solid;
  if (base.size() < 3) {
    return solid;
  }
  QPointF centre;
  for (const QPointF& v : base) {
    centre += v;
  }
  centre /= base.size();
  const double zm = (z0 + z1) / 2;
  solid.depth = proj.Depth({centre.x(), centre.y(), zm});
  for (int i = 0; i < base.size(); ++i) {
    const QPointF a = base[i];
    const QPointF b = base[(i + 1) % base.size()];
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double length = std::hypot(dx, dy);
    if (length < 1e-9 || skipEdge(a, b)) {
      continue;
    }
    QPolygonF q{proj.Project(a.x(), a.y(), z1), proj.Project(b.x(), b.y(), z1),
                proj.Project(b.x(), b.y(), z0), proj.Project(a.x(), a.y(), z0)};
    if (ChartProjection::FacesViewer(q)) {
      const QPointF mid = (a + b) / 2;
      solid.faces.push_back(
          {q, Shade(color, dy / length, -dx / length), proj.Depth({mid.x(), mid.y(), zm})});
    }
  }
  QPolygonF front, back;
  for (const QPointF& v : base) {
    front << proj.Project(v.x(), v.y(), z0);
  }
  for (auto it = base.rbegin(); it != base.rend(); ++it) {
    back << proj.Project(it->x(), it->y(), z1);
  }
  if (ChartProjection::FacesViewer(front)) {
    solid.faces.push_back({front, color, proj.Depth({centre.x(), centre.y(), z0})});
  }
  if (ChartProjection::FacesViewer(back)) {
    solid.faces.push_back({back, color.darker(115), proj.Depth({centre.x(), centre.y(), z1})});
  }
  std::sort(solid.faces.begin(), solid.faces.end(),
            [](const Face& l, const Face& r) { return l.depth > r.depth; });
  return solid;
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

// The page's points of every active series, in list order.
template <typename Fn>
void ForEachPagePoint(const Chart3D& chart, const ChartRenderer::Layout& layout, Fn fn) {
  for (int s = 0; s < chart.SeriesCount(); ++s) {
    const ChartSeries& series = chart.Series(s);
    if (!series.Active) {
      continue;
    }
    const int end = std::min(series.Count(), layout.firstPoint + layout.places);
    for (int i = std::max(0, layout.firstPoint); i < end; ++i) {
      if (std::isfinite(series.Value(i))) {
        fn(series, i);
      }
    }
  }
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

}  // namespace

double ChartRenderer::Layout::WorldX(double point) const {
  return (point - xFrom) / (xTo - xFrom) * width;
}

double ChartRenderer::Layout::WorldY(double value) const {
  return (value - valueMin) / (valueMax - valueMin) * height;
}

QString ChartRenderer::FormatValue(double value) {
  if (!std::isfinite(value)) {
    return QString();
  }
  QString text = QString::number(std::round(value * 100.0) / 100.0, 'f', 2);
  while (text.endsWith(QLatin1Char('0'))) {
    text.chop(1);
  }
  if (text.endsWith(QLatin1Char('.'))) {
    text.chop(1);
  }
  return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

double ChartRenderer::NiceStep(double rough) {
  if (!(rough > 0) || !std::isfinite(rough)) {
    return 1;
  }
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  const double f = rough / power;
  // Rounding errors of the division must not push 2 up to 2.5.
  const double nice = f <= 1.000001   ? 1
                      : f <= 2.000001 ? 2
                      : f <= 2.500001 ? 2.5
                      : f <= 5.000001 ? 5
                                      : 10;
  return nice * power;
}

ChartRenderer::Layout ChartRenderer::ComputeLayout(const Chart3D& chart, const QRectF& rect,
                                                   const QPaintDevice* device) {
  Layout layout;
  layout.chart = rect;
  QRectF inner = rect.adjusted(
      rect.width() * chart.MarginLeft / 100, rect.height() * chart.MarginTop / 100,
      -rect.width() * chart.MarginRight / 100, -rect.height() * chart.MarginBottom / 100);

  if (chart.TitleVisible && !chart.TitleLines.isEmpty()) {
    const QFontMetricsF fm = Metrics(TitleFont(chart), device);
    const double h = chart.TitleLines.size() * fm.lineSpacing();
    layout.title = QRectF(inner.left(), inner.top(), inner.width(), h);
    inner.setTop(inner.top() + h + 2);
  }

  // Paging of the points.
  const ChartSeries* first = chart.FirstActive();
  const int count = first != nullptr ? first->Count() : 0;
  if (chart.MaxPointsPerPage > 0) {
    const int page = std::clamp(chart.Page, 1, chart.NumPages());
    layout.firstPoint = (page - 1) * chart.MaxPointsPerPage;
    layout.places = chart.MaxPointsPerPage;
    if (chart.ScaleLastPage) {
      layout.places = std::max(1, std::min(layout.places, count - layout.firstPoint));
    }
  } else if (chart.BottomAxis.Automatic) {
    layout.firstPoint = 0;
    layout.places = std::max(1, count);
  } else {
    layout.firstPoint = static_cast<int>(std::floor(chart.BottomAxis.Minimum));
    layout.places = std::max(
        1, static_cast<int>(std::ceil(chart.BottomAxis.Maximum - chart.BottomAxis.Minimum)));
  }

  // The value range, from the axis or from the page's values.
  double lo = chart.LeftAxis.Minimum, hi = chart.LeftAxis.Maximum;
  if (chart.LeftAxis.Automatic) {
    lo = 0;
    hi = 0;
    ForEachPagePoint(chart, layout, [&](const ChartSeries& s, int i) {
      lo = std::min(lo, s.Value(i));
      hi = std::max(hi, s.Value(i));
    });
    if (hi <= lo) {
      hi = lo + 1;
    }
    const double step = NiceStep((hi - lo) / 5);
    hi = std::ceil(hi / step - 1e-9) * step;
    lo = std::floor(lo / step + 1e-9) * step;
  }
  if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo)) {
    lo = std::isfinite(lo) ? lo : 0;
    hi = lo + 1;
  }

  // The rectangle zoom shows a part of those ranges.
  QRectF zoom = chart.ZoomWindow;
  if (!(zoom.width() > 0) || !(zoom.height() > 0)) {
    zoom = QRectF(0, 0, 1, 1);
  }
  const double x0 = layout.firstPoint - 0.5;
  layout.xFrom = x0 + layout.places * zoom.left();
  layout.xTo = x0 + layout.places * (zoom.left() + zoom.width());
  layout.valueMin = lo + (hi - lo) * zoom.top();
  layout.valueMax = lo + (hi - lo) * (zoom.top() + zoom.height());

  // Legend at the right, beside or over the plot.
  if (chart.LegendVisible && first != nullptr && count > 0) {
    const QFontMetricsF fm = Metrics(LegendFont(), device);
    double textWidth = 0;
    int entries = 0;
    for (int i = std::max(0, layout.firstPoint);
         i < std::min(count, layout.firstPoint + layout.places); ++i, ++entries) {
      textWidth = std::max(textWidth, fm.horizontalAdvance(first->Label(i)));
    }
    const double w = textWidth + 26;
    const double h = std::min(inner.height(), entries * fm.lineSpacing() + 8);
    layout.legend = QRectF(inner.right() - w, inner.top(), w, h);
    if (chart.LegendResizeChart) {
      inner.setRight(inner.right() - w - 4);
    }
  }

  // Room for the value labels at the left.
  const QFontMetricsF leftFm = Metrics(AxisFont(chart.LeftAxis), device);
  layout.valueStep = NiceStep((layout.valueMax - layout.valueMin) * leftFm.height() * 1.8 /
                              std::max(inner.height(), 1.0));
  if (chart.LeftAxis.LabelsVisible) {
    double w = 0;
    for (double v : MajorValues(layout.valueMin, layout.valueMax, layout.valueStep)) {
      w = std::max(w, leftFm.horizontalAdvance(FormatValue(v)));
    }
    inner.setLeft(inner.left() + w + chart.LeftAxis.TickLength + 4);
  }

  // Widest point label and value mark: they decide whether those stand
  // upright.
  const QFontMetricsF bottomFm = Metrics(AxisFont(chart.BottomAxis), device);
  double labelWidth = 0;
  if (first != nullptr) {
    for (int i = std::max(0, layout.firstPoint);
         i < std::min(count, layout.firstPoint + layout.places); ++i) {
      labelWidth = std::max(labelWidth, bottomFm.horizontalAdvance(first->Label(i)));
    }
  }
  const bool marks = HasMarks(chart);
  double markWidth = 0, markHeight = 0, arrow = 0;
  ForEachPagePoint(chart, layout, [&](const ChartSeries& s, int i) {
    if (s.Marks.Visible) {
      const QFontMetricsF fm = Metrics(MarksFont(s.Marks), device);
      markWidth = std::max(markWidth, fm.horizontalAdvance(FormatValue(s.Value(i))) + 4);
      markHeight = std::max(markHeight, fm.height() + 2);
      arrow = std::max(arrow, static_cast<double>(s.Marks.ArrowLength));
    }
  });

  const double leftWall = chart.View3D && chart.LeftWall.Visible ? chart.LeftWall.Size : 0;
  const double bottomWall = chart.View3D && chart.BottomWall.Visible ? chart.BottomWall.Size : 0;
  const double backWall = chart.View3D && chart.BackWall.Visible ? chart.BackWall.Size : 0;
  ChartProjection::Angles angles;
  if (chart.View3D) {
    angles.rotation = chart.Rotation;
    angles.elevation = chart.Elevation;
    angles.orthogonal = chart.Orthogonal;
    angles.perspectivePercent = chart.PerspectivePercent;
  }

  // Fits the box into the room left by the labels and marks; tells how
  // far apart (in pixels) neighbouring points land.
  const auto fit = [&]() {
    QRectF area = inner;
    if (chart.BottomAxis.LabelsVisible && labelWidth > 0) {
      const double h = layout.uprightLabels ? labelWidth : bottomFm.height();
      area.setBottom(area.bottom() - h - chart.BottomAxis.TickLength - 3);
    }
    if (marks) {
      area.setTop(area.top() + arrow + (layout.uprightMarks ? markWidth : markHeight) + 4);
    }
    layout.plotArea = area;
    layout.width = std::max(area.width(), 1.0);
    layout.height = std::max(area.height(), 1.0);
    layout.depth = chart.View3D ? std::max(0.0, chart.DepthPercent) / 100 *
                                      std::min(layout.width, layout.height) * 0.5
                                : 0;
    layout.seriesFront = layout.depth * 0.1;
    layout.seriesBack = layout.depth * 0.9;
    layout.box = {-leftWall, layout.width, -bottomWall, layout.height, 0, layout.depth + backWall};
    layout.projection = ChartProjection::Fitted(angles, layout.box, area, chart.Zoom,
                                                chart.HorizOffset, chart.VertOffset);
    const double zm = (layout.seriesFront + layout.seriesBack) / 2;
    const QPointF a = layout.projection.Project(layout.WorldX(0), 0, zm);
    const QPointF b = layout.projection.Project(layout.WorldX(1), 0, zm);
    return std::hypot(b.x() - a.x(), b.y() - a.y());
  };
  // Labels and marks stand upright when they do not fit side by side;
  // standing upright they take other room, so fit again.
  double room = fit();
  for (int round = 0; round < 2; ++round) {
    const bool uprightLabels = room < labelWidth + kTextGap;
    const bool uprightMarks = room < markWidth + kTextGap;
    if (uprightLabels == layout.uprightLabels && uprightMarks == layout.uprightMarks) {
      break;
    }
    layout.uprightLabels = uprightLabels;
    layout.uprightMarks = uprightMarks;
    room = fit();
  }
  const int period = LabelPeriod(first, layout.firstPoint, layout.firstPoint + layout.places);
  layout.labelStride =
      Stride(layout.uprightLabels ? bottomFm.height() : labelWidth, room, period, layout.places);
  layout.markStride =
      Stride(layout.uprightMarks ? markHeight : markWidth, room, period, layout.places);

  // The label step for the fitted height: labels a line and a half apart.
  const double pixels = std::abs(layout.projection.Project(-leftWall, layout.height, 0).y() -
                                 layout.projection.Project(-leftWall, 0, 0).y());
  if (pixels > 1) {
    layout.valueStep =
        NiceStep((layout.valueMax - layout.valueMin) * leftFm.height() * 1.5 / pixels);
  }
  return layout;
}

namespace {

struct Painting {
  const Chart3D& chart;
  QPainter& painter;
  const ChartRenderer::Layout& layout;
  const ChartProjection& proj;

  double LeftWall() const {
    return chart.View3D && chart.LeftWall.Visible ? chart.LeftWall.Size : 0;
  }
  double BottomWall() const {
    return chart.View3D && chart.BottomWall.Visible ? chart.BottomWall.Size : 0;
  }
  bool Visible() const { return proj.Scale() > 1e-6; }

  void Background() {
    const QRectF& r = layout.chart;
    if (chart.GradientVisible) {
      QLinearGradient gradient(r.topLeft(), r.bottomLeft());
      gradient.setColorAt(0, chart.GradientStartColor);
      gradient.setColorAt(1, chart.GradientEndColor);
      painter.fillRect(r, gradient);
    } else {
      painter.fillRect(r, chart.BackColor);
    }
    if (!chart.BackImage.isNull() && !chart.BackImageInside) {
      const QSizeF size = chart.BackImage.size();
      painter.drawImage(
          QPointF(r.center().x() - size.width() / 2, r.center().y() - size.height() / 2),
          chart.BackImage);
    }
  }

  void Title() {
    if (layout.title.isEmpty()) {
      return;
    }
    painter.setFont(TitleFont(chart));
    const QFontMetricsF fm(painter.font(), painter.device());
    double y = layout.title.top();
    for (const QString& line : chart.TitleLines) {
      DrawHaloText(painter, QRectF(layout.title.left(), y, layout.title.width(), fm.lineSpacing()),
                   Qt::AlignHCenter | Qt::AlignVCenter, line, chart.TitleFontColor);
      y += fm.lineSpacing();
    }
  }

  // The plane at the back of the plot, where the picture and the value
  // grid go.
  QPolygonF BackPlane() const {
    const double d = layout.depth, w = layout.width, h = layout.height;
    return QPolygonF{proj.Project(0, 0, d), proj.Project(w, 0, d), proj.Project(w, h, d),
                     proj.Project(0, h, d)};
  }

  void Walls() {
    const double w = layout.width, h = layout.height, d = layout.depth;
    const double lw = LeftWall(), bw = BottomWall();
    const double backWall = chart.View3D && chart.BackWall.Visible ? chart.BackWall.Size : 0;
    const std::vector<double> grid =
        chart.LeftAxis.GridVisible ? MajorValues(layout.valueMin, layout.valueMax, layout.valueStep)
                                   : std::vector<double>{};
    if (chart.BackWall.Visible) {
      Paint(painter, Prism(proj, Rect(-lw, -bw, w, h), d, d + backWall, chart.BackWall.Color));
      const QPolygonF plane = BackPlane();
      if (ChartProjection::FacesViewer(plane)) {
        if (!chart.BackImage.isNull() && chart.BackImageInside) {
          painter.save();
          QPainterPath clip;
          clip.addPolygon(plane);
          painter.setClipPath(clip, Qt::IntersectClip);
          const QPointF c = plane.boundingRect().center();
          const QSizeF size = chart.BackImage.size();
          painter.drawImage(QPointF(c.x() - size.width() / 2, c.y() - size.height() / 2),
                            chart.BackImage);
          painter.restore();
        }
        GridLines(grid,
                  [&](double y) { return QLineF(proj.Project(0, y, d), proj.Project(w, y, d)); });
      }
    }
    if (chart.View3D && chart.LeftWall.Visible) {
      Paint(painter, Prism(proj, Rect(-lw, 0, 0, h), 0, d, chart.LeftWall.Color));
      const QPolygonF inside{proj.Project(0, 0, 0), proj.Project(0, 0, d), proj.Project(0, h, d),
                             proj.Project(0, h, 0)};
      if (ChartProjection::FacesViewer(inside)) {
        GridLines(grid,
                  [&](double y) { return QLineF(proj.Project(0, y, 0), proj.Project(0, y, d)); });
      }
    }
    if (chart.View3D && chart.BottomWall.Visible) {
      Paint(painter, Prism(proj, Rect(-lw, -bw, w, 0), 0, d, chart.BottomWall.Color));
      const QPolygonF top{proj.Project(0, 0, 0), proj.Project(w, 0, 0), proj.Project(w, 0, d),
                          proj.Project(0, 0, d)};
      if (chart.BottomAxis.GridVisible && ChartProjection::FacesViewer(top)) {
        std::vector<double> xs;
        for (int i = 0; i <= layout.places; ++i) {
          const double x = layout.WorldX(layout.firstPoint - 0.5 + i);
          if (x >= 0 && x <= w) {
            xs.push_back(x);
          }
        }
        painter.setPen(QPen(chart.BottomAxis.GridColor, 0, Qt::DotLine));
        for (double x : xs) {
          painter.drawLine(proj.Project(x, 0, 0), proj.Project(x, 0, d));
        }
      }
    }
  }

  template <typename LineAt>
  void GridLines(const std::vector<double>& values, LineAt lineAt) {
    if (!Visible()) {
      return;
    }
    painter.setPen(QPen(chart.LeftAxis.GridColor, 0, Qt::DotLine));
    for (double v : values) {
      const double y = layout.WorldY(v);
      if (y >= -1e-9 && y <= layout.height + 1e-9) {
        painter.drawLine(lineAt(y));
      }
    }
  }

  void Axes() {
    if (!Visible()) {
      return;
    }
    const double lw = LeftWall(), bw = BottomWall();
    const ChartAxis& left = chart.LeftAxis;
    const ChartAxis& bottom = chart.BottomAxis;
    if (left.AxisLineVisible) {
      painter.setPen(QPen(left.AxisLineColor, 1));
      painter.drawLine(proj.Project(-lw, 0, 0), proj.Project(-lw, layout.height, 0));
    }
    if (bottom.AxisLineVisible) {
      painter.setPen(QPen(bottom.AxisLineColor, 1));
      painter.drawLine(proj.Project(0, -bw, 0), proj.Project(layout.width, -bw, 0));
    }

    // Value axis: ticks, minor ticks, labels.
    const std::vector<double> majors =
        MajorValues(layout.valueMin, layout.valueMax, layout.valueStep);
    painter.setPen(QPen(left.TickColor, 1));
    const auto tick = [&](double v, int length) {
      const QPointF p = proj.Project(-lw, layout.WorldY(v), 0);
      painter.drawLine(p, p - QPointF(length, 0));
    };
    if (left.MinorTickCount > 0 && left.MinorTickLength > 0) {
      const double minor = layout.valueStep / (left.MinorTickCount + 1);
      for (double v : MajorValues(layout.valueMin, layout.valueMax, minor)) {
        tick(v, left.MinorTickLength);
      }
    }
    if (left.TickLength > 0) {
      for (double v : majors) {
        tick(v, left.TickLength);
      }
    }
    if (left.LabelsVisible) {
      painter.setFont(AxisFont(left));
      const QFontMetricsF fm(painter.font(), painter.device());
      double lastTop = 1e300;
      for (double v : majors) {
        const QPointF p = proj.Project(-lw, layout.WorldY(v), 0);
        const QString text = ChartRenderer::FormatValue(v);
        const double w = fm.horizontalAdvance(text) + 2;
        const QRectF r(p.x() - left.TickLength - 2 - w, p.y() - fm.height() / 2, w, fm.height());
        if (r.bottom() > lastTop) {
          continue;  // would overlap the label below it
        }
        DrawHaloText(painter, r, Qt::AlignRight | Qt::AlignVCenter, text, left.LabelFontColor);
        lastTop = r.top();
      }
    }

    // Point axis: a tick and the label under each point of the page.
    const ChartSeries* first = chart.FirstActive();
    if (first == nullptr) {
      return;
    }
    painter.setFont(AxisFont(bottom));
    const QFontMetricsF fm(painter.font(), painter.device());
    QRectF last;
    const int end = std::min(first->Count(), layout.firstPoint + layout.places);
    for (int i = std::max(0, layout.firstPoint); i < end; ++i) {
      const double x = layout.WorldX(i);
      if (x < -1e-9 || x > layout.width + 1e-9) {
        continue;
      }
      if ((i - layout.firstPoint) % layout.labelStride != 0) {
        continue;
      }
      const QPointF p = proj.Project(x, -bw, 0);
      if (bottom.TickLength > 0) {
        painter.setPen(QPen(bottom.TickColor, 1));
        painter.drawLine(p, p + QPointF(0, bottom.TickLength));
      }
      if (!bottom.LabelsVisible) {
        continue;
      }
      const QString text = first->Label(i);
      const double w = fm.horizontalAdvance(text) + 2;
      const double top = p.y() + bottom.TickLength + 1;
      QRectF r = layout.uprightLabels ? QRectF(p.x() - fm.height() / 2, top, fm.height(), w)
                                      : QRectF(p.x() - w / 2, top, w, fm.height());
      if (!last.isNull() && r.intersects(last)) {
        continue;
      }
      last = r;
      if (layout.uprightLabels) {
        painter.save();
        painter.translate(r.center());
        painter.rotate(-90);
        DrawHaloText(painter, QRectF(-w / 2, -fm.height() / 2, w, fm.height()),
                     Qt::AlignRight | Qt::AlignVCenter, text, bottom.LabelFontColor);
        painter.restore();
      } else {
        DrawHaloText(painter, r, Qt::AlignCenter, text, bottom.LabelFontColor);
      }
    }
  }

  double PointerSize(double slotWidth) const { return std::min(slotWidth * 0.3, 5.0); }

  void Series() {
    if (!Visible()) {
      return;
    }
    const double w = layout.width, h = layout.height;
    const double slotWidth = w / (layout.xTo - layout.xFrom);
    const double zf = layout.seriesFront, zb = layout.seriesBack, zm = (zf + zb) / 2;
    const double base = layout.WorldY(std::clamp(0.0, layout.valueMin, layout.valueMax));
    const auto clampY = [h](double y) { return std::clamp(y, 0.0, h); };
    std::vector<Solid> solids;

    int barSeries = 0, barIndex = 0;
    for (int s = 0; s < chart.SeriesCount(); ++s) {
      const ChartSeries& series = chart.Series(s);
      barSeries += series.Active && series.SeriesKind() == ChartSeries::Kind::VerticalBars &&
                   series.BarsSideBySide;
    }

    for (int s = 0; s < chart.SeriesCount(); ++s) {
      const ChartSeries& series = chart.Series(s);
      if (!series.Active) {
        continue;
      }
      const int from = std::max(0, layout.firstPoint);
      const int to = std::min(series.Count(), layout.firstPoint + layout.places);
      const auto pointAt = [&](int i) {
        return QPointF(layout.WorldX(i), layout.WorldY(series.Value(i)));
      };
      const auto marker = [&](int i) {
        const QPointF p = pointAt(i);
        if (p.x() < 0 || p.x() > w || p.y() < 0 || p.y() > h) {
          return;
        }
        const double r = PointerSize(slotWidth);
        if (series.Pointer == ChartSeries::PointerStyle::Rectangle) {
          solids.push_back(Prism(proj, Rect(p.x() - r, p.y() - r, p.x() + r, p.y() + r), zm - r,
                                 zm + r, series.PointColor(i)));
        } else {
          Solid dot;
          dot.depth = proj.Depth({p.x(), p.y(), zm});
          const QPointF c = proj.Project(p.x(), p.y(), zm);
          const double pr = r * proj.Scale();
          QPolygonF circle;
          for (int k = 0; k < 24; ++k) {
            const double a = k * 2 * 3.14159265358979 / 24;
            circle << c + QPointF(pr * std::cos(a), pr * std::sin(a));
          }
          dot.faces.push_back({circle, series.PointColor(i), dot.depth});
          solids.push_back(dot);
        }
      };

      switch (series.SeriesKind()) {
        case ChartSeries::Kind::VerticalBars: {
          const double full = slotWidth * series.BarWidthPercent / 100.0;
          const int share = series.BarsSideBySide ? std::max(1, barSeries) : 1;
          const double bw = full / share;
          const double shift = series.BarsSideBySide ? -full / 2 + (barIndex + 0.5) * bw : 0;
          for (int i = from; i < to; ++i) {
            if (!std::isfinite(series.Value(i))) {
              continue;
            }
            const double xc = layout.WorldX(i) + shift;
            const double x0 = std::max(0.0, xc - bw / 2), x1 = std::min(w, xc + bw / 2);
            const double top = clampY(layout.WorldY(series.Value(i)));
            const double y0 = std::min(base, top), y1 = std::max(base, top);
            if (x1 - x0 < 1e-9 || y1 - y0 < 1e-9) {
              continue;
            }
            solids.push_back(Prism(proj, Rect(x0, y0, x1, y1), zf, zb, series.PointColor(i)));
          }
          barIndex += series.BarsSideBySide;
          break;
        }
        case ChartSeries::Kind::Line: {
          // Each point owns the half of the line on either side of it,
          // so every point shows its own colour.
          for (int i = from; i + 1 < to; ++i) {
            if (!std::isfinite(series.Value(i)) || !std::isfinite(series.Value(i + 1))) {
              continue;
            }
            const QPointF a = pointAt(i), b = pointAt(i + 1), m = (a + b) / 2;
            for (auto [p, q, owner] : {std::tuple{a, m, i}, std::tuple{m, b, i + 1}}) {
              if (!ClipSegment(p, q, w, h)) {
                continue;
              }
              QPolygonF face{proj.Project(p.x(), p.y(), zb), proj.Project(q.x(), q.y(), zb),
                             proj.Project(q.x(), q.y(), zf), proj.Project(p.x(), p.y(), zf)};
              const double dx = q.x() - p.x(), dy = q.y() - p.y();
              const double len = std::hypot(dx, dy);
              if (len < 1e-9) {
                continue;
              }
              double nx = dy / len, ny = -dx / len;
              if (!ChartProjection::FacesViewer(face)) {
                std::reverse(face.begin(), face.end());
                nx = -nx;
                ny = -ny;
              }
              Solid ribbon;
              const QPointF mid = (p + q) / 2;
              ribbon.depth = proj.Depth({mid.x(), mid.y(), zm});
              ribbon.faces.push_back({face, Shade(series.PointColor(owner), nx, ny), ribbon.depth});
              solids.push_back(ribbon);
            }
          }
          if (series.PointerVisible) {
            for (int i = from; i < to; ++i) {
              if (std::isfinite(series.Value(i))) {
                marker(i);
              }
            }
          }
          break;
        }
        case ChartSeries::Kind::Points:
          for (int i = from; i < to; ++i) {
            if (std::isfinite(series.Value(i))) {
              marker(i);
            }
          }
          break;
        case ChartSeries::Kind::Area: {
          for (int i = from; i < to; ++i) {
            if (!std::isfinite(series.Value(i))) {
              continue;
            }
            const bool hasLeft = i > from && std::isfinite(series.Value(i - 1));
            const bool hasRight = i + 1 < to && std::isfinite(series.Value(i + 1));
            if (!hasLeft && !hasRight) {
              continue;
            }
            const QPointF p = pointAt(i);
            const QPointF l = hasLeft ? (pointAt(i - 1) + p) / 2 : p;
            const QPointF r = hasRight ? (p + pointAt(i + 1)) / 2 : p;
            QPolygonF piece{QPointF(l.x(), base), QPointF(r.x(), base), r, p, l};
            if (SignedArea(piece) < 0) {
              std::reverse(piece.begin(), piece.end());
            }
            piece = ClipPolygon(piece, w, h);
            // The upright edges at the midpoints are shared with the
            // neighbours: inner seams.
            const auto seam = [&](QPointF a, QPointF b) {
              return std::abs(a.x() - b.x()) < 1e-9 &&
                     ((hasLeft && std::abs(a.x() - l.x()) < 1e-9) ||
                      (hasRight && std::abs(a.x() - r.x()) < 1e-9));
            };
            solids.push_back(Prism(proj, piece, zf, zb, series.PointColor(i), seam));
          }
          break;
        }
      }
    }
    std::stable_sort(solids.begin(), solids.end(),
                     [](const Solid& a, const Solid& b) { return a.depth > b.depth; });
    for (const Solid& solid : solids) {
      Paint(painter, solid);
    }
  }

  void Marks() {
    if (!Visible()) {
      return;
    }
    const double w = layout.width, h = layout.height;
    const double slotWidth = w / (layout.xTo - layout.xFrom);
    const double zm = (layout.seriesFront + layout.seriesBack) / 2;
    std::vector<QRectF> drawn;
    ForEachPagePoint(chart, layout, [&](const ChartSeries& series, int i) {
      if (!series.Marks.Visible || (i - layout.firstPoint) % layout.markStride != 0) {
        return;
      }
      const double x = layout.WorldX(i);
      if (x < -1e-9 || x > w + 1e-9) {
        return;
      }
      double y = std::clamp(layout.WorldY(series.Value(i)), 0.0, h);
      if (series.SeriesKind() == ChartSeries::Kind::Points ||
          (series.SeriesKind() == ChartSeries::Kind::Line && series.PointerVisible)) {
        y = std::min(h, y + PointerSize(slotWidth));
      }
      const QPointF anchor = proj.Project(x, y, zm);
      const QPointF end = anchor - QPointF(0, series.Marks.ArrowLength);
      painter.setFont(MarksFont(series.Marks));
      const QFontMetricsF fm(painter.font(), painter.device());
      const QString text = ChartRenderer::FormatValue(series.Value(i));
      const double tw = fm.horizontalAdvance(text) + 4, th = fm.height() + 2;
      QRectF box = layout.uprightMarks ? QRectF(end.x() - th / 2, end.y() - tw, th, tw)
                                       : QRectF(end.x() - tw / 2, end.y() - th, tw, th);
      // Kept inside the chart.
      const QRectF& c = layout.chart;
      box.moveLeft(std::clamp(box.left(), c.left(), std::max(c.left(), c.right() - box.width())));
      box.moveTop(std::clamp(box.top(), c.top(), std::max(c.top(), c.bottom() - box.height())));
      for (const QRectF& other : drawn) {
        if (box.intersects(other)) {
          return;
        }
      }
      drawn.push_back(box);
      painter.setPen(QPen(series.Marks.ArrowColor, 1));
      painter.drawLine(anchor, QPointF(end.x(), box.bottom()));
      painter.setPen(QPen(series.Marks.FrameColor, 1));
      painter.setBrush(series.Marks.BackColor);
      painter.drawRect(box);
      painter.setPen(series.Marks.FontColor);
      if (layout.uprightMarks) {
        painter.save();
        painter.translate(box.center());
        painter.rotate(-90);
        painter.drawText(QRectF(-tw / 2, -th / 2, tw, th), Qt::AlignCenter, text);
        painter.restore();
      } else {
        painter.drawText(box, Qt::AlignCenter, text);
      }
    });
  }

  void Legend() {
    const ChartSeries* first = chart.FirstActive();
    if (layout.legend.isEmpty() || first == nullptr) {
      return;
    }
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    painter.drawRect(layout.legend);
    painter.setFont(LegendFont());
    const QFontMetricsF fm(painter.font(), painter.device());
    double y = layout.legend.top() + 4;
    const int end = std::min(first->Count(), layout.firstPoint + layout.places);
    for (int i = std::max(0, layout.firstPoint); i < end; ++i) {
      if (y + fm.lineSpacing() > layout.legend.bottom()) {
        break;
      }
      const QRectF swatch(layout.legend.left() + 5, y + (fm.lineSpacing() - 10) / 2, 10, 10);
      painter.setPen(QPen(Qt::black, 1));
      painter.setBrush(first->PointColor(i));
      painter.drawRect(swatch);
      painter.setPen(Qt::black);
      painter.drawText(QRectF(swatch.right() + 5, y, layout.legend.right() - swatch.right() - 7,
                              fm.lineSpacing()),
                       Qt::AlignLeft | Qt::AlignVCenter, first->Label(i));
      y += fm.lineSpacing();
    }
  }
};

}  // namespace

void ChartRenderer::Render(const Chart3D& chart, QPainter& painter, const QRectF& rect) {
  painter.save();
  painter.setClipRect(rect, painter.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  const Layout layout = ComputeLayout(chart, rect, painter.device());
  Painting p{chart, painter, layout, layout.projection};
  p.Background();
  p.Title();
  p.Walls();
  p.Axes();
  p.Series();
  p.Marks();
  p.Legend();
  painter.restore();
}

QImage ChartRenderer::RenderImage(const Chart3D& chart, const QSize& size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  if (!size.isEmpty()) {
    QPainter painter(&image);
    Render(chart, painter, QRectF(QPointF(0, 0), QSizeF(size)));
  }
  return image;
}

void ChartRenderer::RenderOnPage(const Chart3D& chart, QPainter& painter, const QRectF& page,
                                 const QSizeF& chartSize) {
  if (chartSize.isEmpty()) {
    return;
  }
  const QRectF area = page.adjusted(
      page.width() * chart.PrintMarginLeft / 100, page.height() * chart.PrintMarginTop / 100,
      -page.width() * chart.PrintMarginRight / 100, -page.height() * chart.PrintMarginBottom / 100);
  const double scale =
      std::min(area.width() / chartSize.width(), area.height() / chartSize.height());
  if (!(scale > 0)) {
    return;
  }
  const QSizeF size = chartSize * scale;
  painter.save();
  painter.translate(area.left() + (area.width() - size.width()) / 2,
                    area.top() + (area.height() - size.height()) / 2);
  painter.scale(scale, scale);
  Render(chart, painter, QRectF(QPointF(0, 0), chartSize));
  painter.restore();
}

std::optional<QRectF> ChartRenderer::ZoomWindowFor(const Chart3D& chart, const QRectF& rect,
                                                   const QRectF& dragged) {
  const Layout layout = ComputeLayout(chart, rect);
  const double zm = (layout.seriesFront + layout.seriesBack) / 2;
  double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
  for (const QPointF corner :
       {dragged.topLeft(), dragged.topRight(), dragged.bottomLeft(), dragged.bottomRight()}) {
    const std::optional<QPointF> p = layout.projection.Unproject(corner, zm);
    if (!p) {
      return std::nullopt;
    }
    x0 = std::min(x0, p->x());
    x1 = std::max(x1, p->x());
    y0 = std::min(y0, p->y());
    y1 = std::max(y1, p->y());
  }
  const double fx0 = std::clamp(x0 / layout.width, 0.0, 1.0);
  const double fx1 = std::clamp(x1 / layout.width, 0.0, 1.0);
  const double fy0 = std::clamp(y0 / layout.height, 0.0, 1.0);
  const double fy1 = std::clamp(y1 / layout.height, 0.0, 1.0);
  if (fx1 - fx0 < 1e-3 || fy1 - fy0 < 1e-3) {
    return std::nullopt;
  }
  QRectF current = chart.ZoomWindow;
  if (!(current.width() > 0) || !(current.height() > 0)) {
    current = QRectF(0, 0, 1, 1);
  }
  return QRectF(current.left() + fx0 * current.width(), current.top() + fy0 * current.height(),
                (fx1 - fx0) * current.width(), (fy1 - fy0) * current.height());
}

}  // namespace velmar
