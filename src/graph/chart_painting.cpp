#include <QLinearGradient>
#include <QPainterPath>

#include "graph/chart_drawing.h"
#include "graph/chart_renderer.h"

namespace velmar {

using namespace chart_drawing;

namespace {

double PointerSize(double slotWidth) {
  return std::min(slotWidth * 0.3, 5.0);
}

// The solids of the page's points, series by series, in the shape each
// series' kind gives them; painted back to front afterwards.
class SeriesSolids {
 public:
  SeriesSolids(const Chart3D& chart, const ChartRenderer::Layout& layout,
               const ChartProjection& proj)
      : chart_(chart),
        layout_(layout),
        proj_(proj),
        w_(layout.width),
        h_(layout.height),
        slotWidth_(w_ / (layout.xTo - layout.xFrom)),
        zf_(layout.seriesFront),
        zb_(layout.seriesBack),
        zm_((zf_ + zb_) / 2),
        base_(layout.WorldY(std::clamp(0.0, layout.valueMin, layout.valueMax))) {}

  std::vector<Solid> Build() {
    int barSeries = 0;
    for (int s = 0; s < chart_.SeriesCount(); ++s) {
      const ChartSeries& series = chart_.Series(s);
      barSeries += series.Active && series.SeriesKind() == ChartSeries::Kind::VerticalBars &&
                   series.BarsSideBySide;
    }
    int barIndex = 0;
    for (int s = 0; s < chart_.SeriesCount(); ++s) {
      const ChartSeries& series = chart_.Series(s);
      if (!series.Active) {
        continue;
      }
      from_ = std::max(0, layout_.firstPoint);
      to_ = std::min(series.Count(), layout_.firstPoint + layout_.places);
      switch (series.SeriesKind()) {
        case ChartSeries::Kind::VerticalBars:
          AddBars(series, barSeries, barIndex);
          barIndex += series.BarsSideBySide;
          break;
        case ChartSeries::Kind::Line:
          AddLine(series);
          if (series.PointerVisible) {
            AddMarkers(series);
          }
          break;
        case ChartSeries::Kind::Points:
          AddMarkers(series);
          break;
        case ChartSeries::Kind::Area:
          AddArea(series);
          break;
      }
    }
    return std::move(solids_);
  }

 private:
  QPointF PointAt(const ChartSeries& series, int i) const {
    return QPointF(layout_.WorldX(i), layout_.WorldY(series.Value(i)));
  }

  void AddBars(const ChartSeries& series, int barSeries, int barIndex) {
    const double full = slotWidth_ * series.BarWidthPercent / 100.0;
    const int share = series.BarsSideBySide ? std::max(1, barSeries) : 1;
    const double bw = full / share;
    const double shift = series.BarsSideBySide ? -full / 2 + (barIndex + 0.5) * bw : 0;
    for (int i = from_; i < to_; ++i) {
      if (!std::isfinite(series.Value(i))) {
        continue;
      }
      const double xc = layout_.WorldX(i) + shift;
      const double x0 = std::max(0.0, xc - bw / 2), x1 = std::min(w_, xc + bw / 2);
      const double top = std::clamp(layout_.WorldY(series.Value(i)), 0.0, h_);
      const double y0 = std::min(base_, top), y1 = std::max(base_, top);
      if (x1 - x0 < 1e-9 || y1 - y0 < 1e-9) {
        continue;
      }
      solids_.push_back(Prism(proj_, Rect(x0, y0, x1, y1), zf_, zb_, series.PointColor(i)));
    }
  }

  // Each point owns the half of the line on either side of it, so every
  // point shows its own colour.
  void AddLine(const ChartSeries& series) {
    for (int i = from_; i + 1 < to_; ++i) {
      if (!std::isfinite(series.Value(i)) || !std::isfinite(series.Value(i + 1))) {
        continue;
      }
      const QPointF a = PointAt(series, i), b = PointAt(series, i + 1), m = (a + b) / 2;
      AddRibbon(a, m, series.PointColor(i));
      AddRibbon(m, b, series.PointColor(i + 1));
    }
  }

  void AddRibbon(QPointF p, QPointF q, const QColor& color) {
    if (!ClipSegment(p, q, w_, h_)) {
      return;
    }
    QPolygonF face{proj_.Project(p.x(), p.y(), zb_), proj_.Project(q.x(), q.y(), zb_),
                   proj_.Project(q.x(), q.y(), zf_), proj_.Project(p.x(), p.y(), zf_)};
    const double dx = q.x() - p.x(), dy = q.y() - p.y();
    const double len = std::hypot(dx, dy);
    if (len < 1e-9) {
      return;
    }
    double nx = dy / len, ny = -dx / len;
    if (!ChartProjection::FacesViewer(face)) {
      std::reverse(face.begin(), face.end());
      nx = -nx;
      ny = -ny;
    }
    Solid ribbon;
    const QPointF mid = (p + q) / 2;
    ribbon.depth = proj_.Depth({mid.x(), mid.y(), zm_});
    ribbon.faces.push_back({face, Shade(color, nx, ny), ribbon.depth});
    solids_.push_back(ribbon);
  }

  void AddMarkers(const ChartSeries& series) {
    for (int i = from_; i < to_; ++i) {
      if (std::isfinite(series.Value(i))) {
        AddMarker(series, i);
      }
    }
  }

  void AddMarker(const ChartSeries& series, int i) {
    const QPointF p = PointAt(series, i);
    if (p.x() < 0 || p.x() > w_ || p.y() < 0 || p.y() > h_) {
      return;
    }
    const double r = PointerSize(slotWidth_);
    if (series.Pointer == ChartSeries::PointerStyle::Rectangle) {
      solids_.push_back(Prism(proj_, Rect(p.x() - r, p.y() - r, p.x() + r, p.y() + r), zm_ - r,
                              zm_ + r, series.PointColor(i)));
      return;
    }
    Solid dot;
    dot.depth = proj_.Depth({p.x(), p.y(), zm_});
    const QPointF c = proj_.Project(p.x(), p.y(), zm_);
    const double pr = r * proj_.Scale();
    QPolygonF circle;
    for (int k = 0; k < 24; ++k) {
      const double a = k * 2 * 3.14159265358979 / 24;
      circle << c + QPointF(pr * std::cos(a), pr * std::sin(a));
    }
    dot.faces.push_back({circle, series.PointColor(i), dot.depth});
    solids_.push_back(dot);
  }

  void AddArea(const ChartSeries& series) {
    for (int i = from_; i < to_; ++i) {
      if (!std::isfinite(series.Value(i))) {
        continue;
      }
      const bool hasLeft = i > from_ && std::isfinite(series.Value(i - 1));
      const bool hasRight = i + 1 < to_ && std::isfinite(series.Value(i + 1));
      if (!hasLeft && !hasRight) {
        continue;
      }
      const QPointF p = PointAt(series, i);
      const QPointF l = hasLeft ? (PointAt(series, i - 1) + p) / 2 : p;
      const QPointF r = hasRight ? (p + PointAt(series, i + 1)) / 2 : p;
      QPolygonF piece{QPointF(l.x(), base_), QPointF(r.x(), base_), r, p, l};
      if (SignedArea(piece) < 0) {
        std::reverse(piece.begin(), piece.end());
      }
      piece = ClipPolygon(piece, w_, h_);
      // The upright edges at the midpoints are shared with the
      // neighbours: inner seams.
      const auto seam = [&](QPointF a, QPointF b) {
        return std::abs(a.x() - b.x()) < 1e-9 && ((hasLeft && std::abs(a.x() - l.x()) < 1e-9) ||
                                                  (hasRight && std::abs(a.x() - r.x()) < 1e-9));
      };
      solids_.push_back(Prism(proj_, piece, zf_, zb_, series.PointColor(i), seam));
    }
  }

  const Chart3D& chart_;
  const ChartRenderer::Layout& layout_;
  const ChartProjection& proj_;
  const double w_, h_, slotWidth_, zf_, zb_, zm_, base_;
  int from_ = 0;
  int to_ = 0;
  std::vector<Solid> solids_;
};

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
    if (chart.LeftAxis.AxisLineVisible) {
      painter.setPen(QPen(chart.LeftAxis.AxisLineColor, 1));
      painter.drawLine(proj.Project(-lw, 0, 0), proj.Project(-lw, layout.height, 0));
    }
    if (chart.BottomAxis.AxisLineVisible) {
      painter.setPen(QPen(chart.BottomAxis.AxisLineColor, 1));
      painter.drawLine(proj.Project(0, -bw, 0), proj.Project(layout.width, -bw, 0));
    }
    ValueAxis();
    PointAxis();
  }

  // Ticks, minor ticks and labels of the values.
  void ValueAxis() {
    const double lw = LeftWall();
    const ChartAxis& left = chart.LeftAxis;
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
    if (!left.LabelsVisible) {
      return;
    }
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

  // A tick and the label under each point of the page.
  void PointAxis() {
    const ChartSeries* first = chart.FirstActive();
    if (first == nullptr) {
      return;
    }
    const ChartAxis& bottom = chart.BottomAxis;
    painter.setFont(AxisFont(bottom));
    const QFontMetricsF fm(painter.font(), painter.device());
    QRectF last;
    const int end = std::min(first->Count(), layout.firstPoint + layout.places);
    for (int i = std::max(0, layout.firstPoint); i < end; ++i) {
      const double x = layout.WorldX(i);
      if (x < -1e-9 || x > layout.width + 1e-9 || (i - layout.firstPoint) % layout.labelStride) {
        continue;
      }
      const QPointF p = proj.Project(x, -BottomWall(), 0);
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

  void Series() {
    if (!Visible()) {
      return;
    }
    SeriesSolids solids(chart, layout, proj);
    std::vector<Solid> all = solids.Build();
    std::stable_sort(all.begin(), all.end(),
                     [](const Solid& a, const Solid& b) { return a.depth > b.depth; });
    for (const Solid& solid : all) {
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

}  // namespace velmar
