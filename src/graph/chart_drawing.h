#pragma once

// Drawing helpers the chart renderer's files share: fonts, shading, solids
// and their faces, clipping to the plot, and the page's points and labels.
#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <vector>

#include "graph/chart3d.h"
#include "graph/chart_projection.h"
#include "graph/chart_renderer.h"

namespace velmar::chart_drawing {

// Font sizes given in points are drawn at the screen's 96 dots per inch,
// so the chart looks the same on a page as in the window.
inline constexpr double kPixelsPerPoint = 96.0 / 72.0;
// Labels and marks of one kind keep this many pixels apart.
inline constexpr double kTextGap = 4.0;

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

QFont PixelFont(const QString& family, double pixels);
QFontMetricsF Metrics(const QFont& font, const QPaintDevice* device);
QFont TitleFont(const Chart3D& chart);
QFont AxisFont(const ChartAxis& axis);
QFont MarksFont(const ChartMarks& marks);
QFont LegendFont();
QColor Shade(const QColor& color, double nx, double ny);
void DrawHaloText(QPainter& painter, const QRectF& rect, int flags, const QString& text,
                  const QColor& color);
double SignedArea(const QPolygonF& p);
Solid Prism(const ChartProjection& proj, const QPolygonF& base, double z0, double z1,
            const QColor& color);
QPolygonF Rect(double x0, double y0, double x1, double y1);
void Paint(QPainter& painter, const Solid& solid);
QPolygonF ClipPolygon(const QPolygonF& polygon, double w, double h);
bool ClipSegment(QPointF& a, QPointF& b, double w, double h);
bool HasMarks(const Chart3D& chart);
int LabelPeriod(const ChartSeries* series, int from, int to);
int Stride(double extent, double room, int period, int places);
std::vector<double> MajorValues(double from, double to, double step);

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

}  // namespace velmar::chart_drawing
