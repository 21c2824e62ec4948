#include "graph/graph_chart.h"

#include "graph/graph_picture.h"

namespace velmar {

const QString GraphChart::kTitle = QStringLiteral("Velmar 2000 - Speeds in kbit/s");
const QString GraphChart::kHint = QStringLiteral("Velmar 2000 3D Graph");

namespace {

const QColor kYellow(255, 255, 0);

void SetMarks(ChartSeries& series) {
  series.Marks.Visible = true;
  series.Marks.FontFamily = QStringLiteral("Small Fonts");
  series.Marks.FontPixelHeight = 9;
  series.Marks.FontColor = Qt::black;
  series.Marks.ArrowLength = 10;
}

// The view a new chart opens with: its 3D angle, frame, background and
// walls.
void SetUpView(Chart3D& c) {
  c.Hint = GraphChart::kHint;
  c.ShowHint = true;
  c.View3D = true;
  c.DepthPercent = GraphChart::kDepthPercent;
  c.Orthogonal = false;
  c.Elevation = GraphChart::kElevation;
  c.Rotation = GraphChart::kRotation;
  c.Zoom = GraphChart::kZoom;
  c.HorizOffset = GraphChart::kHorizOffset;
  c.VertOffset = GraphChart::kVertOffset;
  c.AllowZoom = true;
  c.AnimatedZoom = true;
  c.MarginLeft = c.MarginTop = c.MarginRight = c.MarginBottom = 2;
  c.GradientVisible = true;
  c.GradientStartColor = QColor(192, 192, 192);  // silver
  c.GradientEndColor = QColor(0, 0, 0);
  c.BackImage = GraphPicture();
  c.BackImageInside = true;
  c.BackWall = {true, 9, QColor(255, 235, 193)};
  c.BottomWall = {true, 4, QColor(235, 170, 35)};
  c.LeftWall = {true, 4, QColor(255, 217, 136)};
}

// The axes, the legend and the title's font.
void SetUpAxesAndTitle(Chart3D& c) {
  for (ChartAxis* axis : {&c.LeftAxis, &c.BottomAxis}) {
    axis->AxisLineVisible = false;
    axis->Automatic = false;
    axis->LabelFontFamily = QStringLiteral("Arial");
    axis->LabelFontColor = kYellow;
  }
  c.LeftAxis.Minimum = 0;
  c.LeftAxis.Maximum = 5.0;
  c.LeftAxis.MinorTickCount = 2;
  c.LeftAxis.TickLength = 2;
  c.LeftAxis.MinorTickLength = 2;
  c.LegendVisible = false;
  c.LegendResizeChart = false;
  c.MaxPointsPerPage = 12;
  c.ScaleLastPage = false;
  c.TitleFontColor = kYellow;
  c.TitleFontFamily = QStringLiteral("Small Fonts");
  c.TitleFontPointSize = 7;
}

}  // namespace

GraphChart::GraphChart() {
  Chart3D& c = Chart;
  SetUpView(c);
  SetUpAxesAndTitle(c);

  BarSeries = c.AddSeries(ChartSeries::Kind::VerticalBars, QStringLiteral("VerticalBars"),
                          QColor(255, 0, 0));
  BarSeries->Active = true;
  BarSeries->BarWidthPercent = 50;
  BarSeries->BarsSideBySide = false;
  LineSeries = c.AddSeries(ChartSeries::Kind::Line, QStringLiteral("Lines"), kYellow);
  LineSeries->Active = false;
  LineSeries->PointerVisible = false;
  PointSeries = c.AddSeries(ChartSeries::Kind::Points, QStringLiteral("Points"), kYellow);
  PointSeries->Active = false;
  PointSeries->PointerVisible = true;
  PointSeries->Pointer = ChartSeries::PointerStyle::Rectangle;
  AreaSeries = c.AddSeries(ChartSeries::Kind::Area, QStringLiteral("Area"), kYellow);
  AreaSeries->Active = false;
  AreaSeries->ColorEachPoint = true;
  for (ChartSeries* s : {BarSeries, LineSeries, PointSeries, AreaSeries}) {
    SetMarks(*s);
  }
}

void GraphChart::InitializeTitleAndStyle() {
  Chart.TitleLines.clear();
  Chart.TitleFontFamily = QStringLiteral("Small Fonts");
  Chart.TitleFontPointSize = 7;
  Chart.TitleLines << kTitle;
  Chart.TitleVisible = true;
  SelectStyle(0);
}

void GraphChart::SelectStyle(uint8_t n) {
  if (n >= kStyles) {
    return;
  }
  currentStyle_ = n;
  for (int i = 0; i < Chart.SeriesCount(); ++i) {
    Chart.Series(i).Active = false;
  }
  Chart.LeftAxis.Automatic = false;
  Chart.BottomAxis.Automatic = false;
  Chart.BottomAxis.Maximum = 4;
  Chart.LegendResizeChart = false;
  Chart.LegendVisible = false;
  ChartSeries& series = Chart.Series(n);
  series.Clear();
  series.Active = true;
  Chart.DepthPercent = kDepthPercent;
  Chart.Zoom = kZoom;
  Chart.Rotation = kRotation;
  Chart.Elevation = kElevation;
  Chart.HorizOffset = kHorizOffset;
  Chart.VertOffset = kVertOffset;
  NotifyChanged();
}

void GraphChart::SetRotationFromSlider(int position) {
  Chart.Rotation = 180 - position;
  NotifyChanged();
}

void GraphChart::SetElevationFromSlider(int position) {
  Chart.Elevation = 180 - position;
  NotifyChanged();
}

void GraphChart::SetZoomFromSlider(int position) {
  Chart.Zoom = position;
  NotifyChanged();
}

}  // namespace velmar
