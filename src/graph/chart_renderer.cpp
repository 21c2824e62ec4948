#include "graph/chart_renderer.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPaintDevice>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "graph/chart_drawing.h"

namespace velmar {

using namespace chart_drawing;

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
