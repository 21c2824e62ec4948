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

namespace {

// Works out a chart's layout in steps: the title, the points of the page,
// the value range, the legend and the label room, then the 3D box fitted
// into what is left.
class LayoutBuilder {
 public:
  LayoutBuilder(const Chart3D& chart, const QRectF& rect, const QPaintDevice* device)
      : chart_(chart),
        device_(device),
        first_(chart.FirstActive()),
        count_(first_ != nullptr ? first_->Count() : 0),
        leftFm_(Metrics(AxisFont(chart.LeftAxis), device)),
        bottomFm_(Metrics(AxisFont(chart.BottomAxis), device)) {
    layout_.chart = rect;
    inner_ = rect.adjusted(
        rect.width() * chart.MarginLeft / 100, rect.height() * chart.MarginTop / 100,
        -rect.width() * chart.MarginRight / 100, -rect.height() * chart.MarginBottom / 100);
  }

  ChartRenderer::Layout Build() {
    PlaceTitle();
    ChoosePagePoints();
    ApplyZoom(ValueRange());
    PlaceLegend();
    MakeRoomForValueLabels();
    MeasureLabelsAndMarks();
    FitBox();
    ChooseValueStepForBox();
    return layout_;
  }

 private:
  struct Range {
    double lo;
    double hi;
  };

  void PlaceTitle() {
    if (!chart_.TitleVisible || chart_.TitleLines.isEmpty()) {
      return;
    }
    const QFontMetricsF fm = Metrics(TitleFont(chart_), device_);
    const double h = chart_.TitleLines.size() * fm.lineSpacing();
    layout_.title = QRectF(inner_.left(), inner_.top(), inner_.width(), h);
    inner_.setTop(inner_.top() + h + 2);
  }

  void ChoosePagePoints() {
    if (chart_.MaxPointsPerPage > 0) {
      const int page = std::clamp(chart_.Page, 1, chart_.NumPages());
      layout_.firstPoint = (page - 1) * chart_.MaxPointsPerPage;
      layout_.places = chart_.MaxPointsPerPage;
      if (chart_.ScaleLastPage) {
        layout_.places = std::max(1, std::min(layout_.places, count_ - layout_.firstPoint));
      }
    } else if (chart_.BottomAxis.Automatic) {
      layout_.firstPoint = 0;
      layout_.places = std::max(1, count_);
    } else {
      layout_.firstPoint = static_cast<int>(std::floor(chart_.BottomAxis.Minimum));
      layout_.places = std::max(
          1, static_cast<int>(std::ceil(chart_.BottomAxis.Maximum - chart_.BottomAxis.Minimum)));
    }
  }

  // From the axis, or from the page's values rounded out to nice steps.
  Range ValueRange() const {
    double lo = chart_.LeftAxis.Minimum, hi = chart_.LeftAxis.Maximum;
    if (chart_.LeftAxis.Automatic) {
      lo = 0;
      hi = 0;
      ForEachPagePoint(chart_, layout_, [&](const ChartSeries& s, int i) {
        lo = std::min(lo, s.Value(i));
        hi = std::max(hi, s.Value(i));
      });
      if (hi <= lo) {
        hi = lo + 1;
      }
      const double step = ChartRenderer::NiceStep((hi - lo) / 5);
      hi = std::ceil(hi / step - 1e-9) * step;
      lo = std::floor(lo / step + 1e-9) * step;
    }
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo)) {
      lo = std::isfinite(lo) ? lo : 0;
      hi = lo + 1;
    }
    return {lo, hi};
  }

  // The rectangle zoom shows a part of the point and value ranges.
  void ApplyZoom(Range range) {
    QRectF zoom = chart_.ZoomWindow;
    if (!(zoom.width() > 0) || !(zoom.height() > 0)) {
      zoom = QRectF(0, 0, 1, 1);
    }
    const double x0 = layout_.firstPoint - 0.5;
    layout_.xFrom = x0 + layout_.places * zoom.left();
    layout_.xTo = x0 + layout_.places * (zoom.left() + zoom.width());
    const double span = range.hi - range.lo;
    layout_.valueMin = range.lo + span * zoom.top();
    layout_.valueMax = range.lo + span * (zoom.top() + zoom.height());
  }

  int PageEnd() const { return std::min(count_, layout_.firstPoint + layout_.places); }

  // At the right, beside or over the plot.
  void PlaceLegend() {
    if (!chart_.LegendVisible || first_ == nullptr || count_ == 0) {
      return;
    }
    const QFontMetricsF fm = Metrics(LegendFont(), device_);
    double textWidth = 0;
    int entries = 0;
    for (int i = std::max(0, layout_.firstPoint); i < PageEnd(); ++i, ++entries) {
      textWidth = std::max(textWidth, fm.horizontalAdvance(first_->Label(i)));
    }
    const double w = textWidth + 26;
    const double h = std::min(inner_.height(), entries * fm.lineSpacing() + 8);
    layout_.legend = QRectF(inner_.right() - w, inner_.top(), w, h);
    if (chart_.LegendResizeChart) {
      inner_.setRight(inner_.right() - w - 4);
    }
  }

  void MakeRoomForValueLabels() {
    layout_.valueStep =
        ChartRenderer::NiceStep((layout_.valueMax - layout_.valueMin) * leftFm_.height() * 1.8 /
                                std::max(inner_.height(), 1.0));
    if (!chart_.LeftAxis.LabelsVisible) {
      return;
    }
    double w = 0;
    for (double v : MajorValues(layout_.valueMin, layout_.valueMax, layout_.valueStep)) {
      w = std::max(w, leftFm_.horizontalAdvance(ChartRenderer::FormatValue(v)));
    }
    inner_.setLeft(inner_.left() + w + chart_.LeftAxis.TickLength + 4);
  }

  // The widest point label and value mark decide whether those stand
  // upright.
  void MeasureLabelsAndMarks() {
    if (first_ != nullptr) {
      for (int i = std::max(0, layout_.firstPoint); i < PageEnd(); ++i) {
        labelWidth_ = std::max(labelWidth_, bottomFm_.horizontalAdvance(first_->Label(i)));
      }
    }
    marks_ = HasMarks(chart_);
    ForEachPagePoint(chart_, layout_, [&](const ChartSeries& s, int i) {
      if (s.Marks.Visible) {
        const QFontMetricsF fm = Metrics(MarksFont(s.Marks), device_);
        markWidth_ =
            std::max(markWidth_, fm.horizontalAdvance(ChartRenderer::FormatValue(s.Value(i))) + 4);
        markHeight_ = std::max(markHeight_, fm.height() + 2);
        arrow_ = std::max(arrow_, static_cast<double>(s.Marks.ArrowLength));
      }
    });
  }

  double WallSize(const ChartWall& wall) const {
    return chart_.View3D && wall.Visible ? wall.Size : 0;
  }

  // Fits the box into the room left by the labels and marks; returns how
  // far apart (in pixels) neighbouring points land.
  double FitOnce() {
    QRectF area = inner_;
    if (chart_.BottomAxis.LabelsVisible && labelWidth_ > 0) {
      const double h = layout_.uprightLabels ? labelWidth_ : bottomFm_.height();
      area.setBottom(area.bottom() - h - chart_.BottomAxis.TickLength - 3);
    }
    if (marks_) {
      area.setTop(area.top() + arrow_ + (layout_.uprightMarks ? markWidth_ : markHeight_) + 4);
    }
    layout_.plotArea = area;
    layout_.width = std::max(area.width(), 1.0);
    layout_.height = std::max(area.height(), 1.0);
    layout_.depth = chart_.View3D ? std::max(0.0, chart_.DepthPercent) / 100 *
                                        std::min(layout_.width, layout_.height) * 0.5
                                  : 0;
    layout_.seriesFront = layout_.depth * 0.1;
    layout_.seriesBack = layout_.depth * 0.9;
    layout_.box = {-WallSize(chart_.LeftWall),
                   layout_.width,
                   -WallSize(chart_.BottomWall),
                   layout_.height,
                   0,
                   layout_.depth + WallSize(chart_.BackWall)};
    ChartProjection::Angles angles;
    if (chart_.View3D) {
      angles.rotation = chart_.Rotation;
      angles.elevation = chart_.Elevation;
      angles.orthogonal = chart_.Orthogonal;
      angles.perspectivePercent = chart_.PerspectivePercent;
    }
    layout_.projection = ChartProjection::Fitted(angles, layout_.box, area, chart_.Zoom,
                                                 chart_.HorizOffset, chart_.VertOffset);
    const double zm = (layout_.seriesFront + layout_.seriesBack) / 2;
    const QPointF a = layout_.projection.Project(layout_.WorldX(0), 0, zm);
    const QPointF b = layout_.projection.Project(layout_.WorldX(1), 0, zm);
    return std::hypot(b.x() - a.x(), b.y() - a.y());
  }

  // Labels and marks stand upright when they do not fit side by side;
  // standing upright they take other room, so the box is fitted again.
  void FitBox() {
    double room = FitOnce();
    for (int round = 0; round < 2; ++round) {
      const bool uprightLabels = room < labelWidth_ + kTextGap;
      const bool uprightMarks = room < markWidth_ + kTextGap;
      if (uprightLabels == layout_.uprightLabels && uprightMarks == layout_.uprightMarks) {
        break;
      }
      layout_.uprightLabels = uprightLabels;
      layout_.uprightMarks = uprightMarks;
      room = FitOnce();
    }
    const int period = LabelPeriod(first_, layout_.firstPoint, layout_.firstPoint + layout_.places);
    layout_.labelStride = Stride(layout_.uprightLabels ? bottomFm_.height() : labelWidth_, room,
                                 period, layout_.places);
    layout_.markStride =
        Stride(layout_.uprightMarks ? markHeight_ : markWidth_, room, period, layout_.places);
  }

  // The label step for the fitted height: labels a line and a half apart.
  void ChooseValueStepForBox() {
    const double leftWall = WallSize(chart_.LeftWall);
    const double pixels = std::abs(layout_.projection.Project(-leftWall, layout_.height, 0).y() -
                                   layout_.projection.Project(-leftWall, 0, 0).y());
    if (pixels > 1) {
      layout_.valueStep = ChartRenderer::NiceStep((layout_.valueMax - layout_.valueMin) *
                                                  leftFm_.height() * 1.5 / pixels);
    }
  }

  const Chart3D& chart_;
  const QPaintDevice* device_;
  const ChartSeries* first_;
  const int count_;
  const QFontMetricsF leftFm_;
  const QFontMetricsF bottomFm_;
  ChartRenderer::Layout layout_;
  QRectF inner_;
  double labelWidth_ = 0;
  bool marks_ = false;
  double markWidth_ = 0;
  double markHeight_ = 0;
  double arrow_ = 0;
};

}  // namespace

ChartRenderer::Layout ChartRenderer::ComputeLayout(const Chart3D& chart, const QRectF& rect,
                                                   const QPaintDevice* device) {
  return LayoutBuilder(chart, rect, device).Build();
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
