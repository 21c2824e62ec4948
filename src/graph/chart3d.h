#pragma once

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "graph/chart_series.h"

namespace velmar {

// A wall of the chart's box: a slab of `Size` pixels behind (back), under
// (bottom) or left of (left) the plot.
struct ChartWall {
  bool Visible = true;
  int Size = 0;
  QColor Color = QColor(192, 192, 192);
};

// The left (value) axis or the bottom (point) axis.
struct ChartAxis {
  // Automatic: the range follows the data; otherwise Minimum..Maximum.
  bool Automatic = true;
  double Minimum = 0;
  double Maximum = 0;
  bool AxisLineVisible = true;
  QColor AxisLineColor = Qt::black;
  bool LabelsVisible = true;
  QString LabelFontFamily = QStringLiteral("Arial");
  int LabelFontPixelHeight = 11;
  QColor LabelFontColor = Qt::black;
  int TickLength = 4;
  int MinorTickLength = 2;
  int MinorTickCount = 3;
  QColor TickColor = QColor(64, 64, 64);
  bool GridVisible = true;
  QColor GridColor = QColor(128, 128, 128);
};

// The chart's model: everything the renderer draws, in the terms of the
// operations the graph window and its feed need. It holds no widget, so
// the same model draws on the screen, into an image and onto a printer.
class Chart3D {
 public:
  Chart3D();

  // Title: lines drawn centred at the top.
  QStringList TitleLines;
  bool TitleVisible = true;
  QString TitleFontFamily = QStringLiteral("Arial");
  double TitleFontPointSize = 8;
  QColor TitleFontColor = QColor(0, 0, 128);

  // 3D view. Rotation and elevation in degrees (0 or 360: seen from the
  // front), zoom in percent, offsets in pixels (positive: right, down).
  bool View3D = true;
  double DepthPercent = 15;
  double Rotation = 345;
  double Elevation = 345;
  double Zoom = 100;
  double HorizOffset = 0;
  double VertOffset = 0;
  bool Orthogonal = true;
  double PerspectivePercent = 15;

  // Margins in percent of the chart's size.
  double MarginLeft = 3, MarginTop = 4, MarginRight = 3, MarginBottom = 4;

  // Background: a colour, or a gradient from top to bottom.
  QColor BackColor = QColor(255, 255, 255);
  bool GradientVisible = false;
  QColor GradientStartColor = QColor(255, 255, 255);  // top
  QColor GradientEndColor = QColor(255, 255, 0);      // bottom
  // A picture drawn centred on the back wall ("inside" the walls) or
  // centred on the whole chart.
  QImage BackImage;
  bool BackImageInside = true;

  ChartWall BackWall;
  ChartWall BottomWall;
  ChartWall LeftWall;

  ChartAxis LeftAxis;
  ChartAxis BottomAxis;

  // Legend: the points of the first active series, at the right.
  bool LegendVisible = true;
  // Whether the legend takes its room from the plot or is drawn over it.
  bool LegendResizeChart = true;

  // Paging: 0 shows every point; otherwise pages of this many points.
  int MaxPointsPerPage = 0;
  // Whether a last page with fewer points spreads them over the page.
  bool ScaleLastPage = true;
  int Page = 1;  // from 1
  int NumPages() const;

  // The hint (tool tip) the chart shows when the mouse rests on it.
  QString Hint;
  bool ShowHint = true;

  // Zoom into a rectangle dragged with the mouse.
  bool AllowZoom = true;
  bool AnimatedZoom = false;
  int AnimatedZoomSteps = 8;
  // The part of the unzoomed plot shown, as fractions of its width and
  // height (y up): (0, 0, 1, 1) when not zoomed.
  QRectF ZoomWindow = QRectF(0, 0, 1, 1);
  bool Zoomed() const { return ZoomWindow != QRectF(0, 0, 1, 1); }
  void UndoZoom() { ZoomWindow = QRectF(0, 0, 1, 1); }

  // Margins of the printed page in percent of the page.
  double PrintMarginLeft = 15, PrintMarginTop = 15, PrintMarginRight = 15, PrintMarginBottom = 15;

  // Series, in list order; the chart owns them.
  ChartSeries* AddSeries(ChartSeries::Kind kind, const QString& title, const QColor& color);
  int SeriesCount() const { return static_cast<int>(series_.size()); }
  ChartSeries& Series(int index) const;
  // The first active series: the one whose points the axes, the legend
  // and the paging follow; null when none is active.
  ChartSeries* FirstActive() const;

 private:
  std::vector<std::unique_ptr<ChartSeries>> series_;
};

}  // namespace velmar
