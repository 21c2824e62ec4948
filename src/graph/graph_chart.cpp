#include "graph_chart.h"

#include "graph_picture.h"

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

}  // namespace

GraphChart::GraphChart() {
  Chart3D& c = Chart1;
  c.Hint = kHint;
  c.ShowHint = true;
  c.View3D = true;
  c.DepthPercent = kDepthPercent;
  c.Orthogonal = false;
  c.Elevation = kElevation;
  c.Rotation = kRotation;
  c.Zoom = kZoom;
  c.HorizOffset = kHorizOffset;
  c.VertOffset = kVertOffset;
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

  Series1 = c.AddSeries(ChartSeries::Kind::VerticalBars, QStringLiteral("VerticalBars"),
                        QColor(255, 0, 0));
  Series1->Active = true;
  Series1->BarWidthPercent = 50;
  Series1->BarsSideBySide = false;
  Series2 = c.AddSeries(ChartSeries::Kind::Line, QStringLiteral("Lines"), kYellow);
  Series2->Active = false;
  Series2->PointerVisible = false;
  Series3 = c.AddSeries(ChartSeries::Kind::Points, QStringLiteral("Points"), kYellow);
  Series3->Active = false;
  Series3->PointerVisible = true;
  Series3->Pointer = ChartSeries::PointerStyle::Rectangle;
  Series4 = c.AddSeries(ChartSeries::Kind::Area, QStringLiteral("Area"), kYellow);
  Series4->Active = false;
  Series4->ColorEachPoint = true;
  for (ChartSeries* s : {Series1, Series2, Series3, Series4}) {
    SetMarks(*s);
  }
}

void GraphChart::FormCreate() {
  Chart1.TitleLines.clear();
  Chart1.TitleFontFamily = QStringLiteral("Small Fonts");
  Chart1.TitleFontPointSize = 7;
  Chart1.TitleLines << kTitle;
  Chart1.TitleVisible = true;
  SelectStyle(0);
}

void GraphChart::SelectStyle(uint8_t n) {
  if (n >= kStyles) {
    return;
  }
  currentStyle_ = n;
  for (int i = 0; i < Chart1.SeriesCount(); ++i) {
    Chart1.Series(i).Active = false;
  }
  Chart1.LeftAxis.Automatic = false;
  Chart1.BottomAxis.Automatic = false;
  Chart1.BottomAxis.Maximum = 4;
  Chart1.LegendResizeChart = false;
  Chart1.LegendVisible = false;
  ChartSeries& series = Chart1.Series(n);
  series.Clear();
  series.Active = true;
  Chart1.DepthPercent = kDepthPercent;
  Chart1.Zoom = kZoom;
  Chart1.Rotation = kRotation;
  Chart1.Elevation = kElevation;
  Chart1.HorizOffset = kHorizOffset;
  Chart1.VertOffset = kVertOffset;
  NotifyChanged();
}

void GraphChart::RotBarChange(int position) {
  Chart1.Rotation = 180 - position;
  NotifyChanged();
}

void GraphChart::ElBarChange(int position) {
  Chart1.Elevation = 180 - position;
  NotifyChanged();
}

void GraphChart::ZoombarChange(int position) {
  Chart1.Zoom = position;
  NotifyChanged();
}

}  // namespace velmar
