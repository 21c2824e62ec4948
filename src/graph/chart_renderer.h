#pragma once

#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QSize>
#include <optional>

#include "graph/chart3d.h"
#include "graph/chart_projection.h"

class QPaintDevice;

namespace velmar {

// Draws a Chart3D with QPainter onto any paint device: the window, an
// image, a printer page. Painting is clipped to the chart's rectangle.
class ChartRenderer {
 public:
  // Where everything of a chart drawn into a rectangle lands.
  struct Layout {
    QRectF chart;     // the whole chart
    QRectF title;     // the title's band (empty when hidden)
    QRectF legend;    // empty when hidden
    QRectF plotArea;  // the room the 3D box is fitted into
    // The plot's front face in world pixels and the depth behind it.
    double width = 0;
    double height = 0;
    double depth = 0;
    ChartBox box;  // the plot with its walls
    ChartProjection projection;
    // Point axis: the page's first point and its number of places; the
    // points from `xFrom` to `xTo` (in point numbers, after the rectangle
    // zoom) span the plot's width.
    int firstPoint = 0;
    int places = 1;
    double xFrom = -0.5;
    double xTo = 0.5;
    // Value axis: the values from `valueMin` to `valueMax` (after the
    // rectangle zoom) span the plot's height.
    double valueMin = 0;
    double valueMax = 1;
    // The value axis' label step.
    double valueStep = 1;
    // Point labels and value marks turned upright when they do not fit
    // side by side.
    bool uprightLabels = false;
    bool uprightMarks = false;
    // Where not every point has room for its label or mark, only every
    // n-th point shows one.
    int labelStride = 1;
    int markStride = 1;
    // The depth of the series inside the box.
    double seriesFront = 0;
    double seriesBack = 0;

    double WorldX(double point) const;
    double WorldY(double value) const;
  };

  // `device`, when given, provides the font metrics (a printer's differ
  // from the screen's).
  static Layout ComputeLayout(const Chart3D& chart, const QRectF& rect,
                              const QPaintDevice* device = nullptr);
  static void Render(const Chart3D& chart, QPainter& painter, const QRectF& rect);
  // The chart at `size` pixels.
  static QImage RenderImage(const Chart3D& chart, const QSize& size);
  // The chart as it looks at `chartSize`, scaled to fit (keeping its
  // proportions) inside `page` less the chart's print margins.
  static void RenderOnPage(const Chart3D& chart, QPainter& painter, const QRectF& page,
                           const QSizeF& chartSize);

  // The zoom window that shows what a rectangle dragged over the chart
  // (drawn into `rect`) covers; none when it covers no part of the plot
  // or the view cannot be inverted (the plane seen edge-on, zoom 0).
  static std::optional<QRectF> ZoomWindowFor(const Chart3D& chart, const QRectF& rect,
                                             const QRectF& dragged);

  // The text of a value mark or an axis label: up to two decimals, no
  // trailing zeros.
  static QString FormatValue(double value);
  // The smallest of 1, 2, 2.5 and 5 times a power of ten that is at least
  // `rough` (1 for a rough step of 0 or less).
  static double NiceStep(double rough);
};

}  // namespace velmar
