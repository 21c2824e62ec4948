#include "graph/graph_chart.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

struct Expected {
  ChartSeries::Kind kind;
  const char* title;
  QColor color;
};

TEST(GraphChartTest, ChartSettingsAtCreation) {
  GraphChart g;
  g.InitializeTitleAndStyle();
  const Chart3D& c = g.Chart;
  ASSERT_EQ(c.TitleLines.size(), 1);
  EXPECT_TRUE(c.TitleLines[0].startsWith("Velmar 2000 - "));
  EXPECT_TRUE(c.TitleVisible);
  EXPECT_EQ(c.TitleFontFamily, "Small Fonts");
  EXPECT_EQ(c.TitleFontPointSize, 7);
  EXPECT_EQ(c.TitleFontColor, QColor(255, 255, 0));
  EXPECT_EQ(c.Hint, "Velmar 2000 3D Graph");
  EXPECT_TRUE(c.ShowHint);
  EXPECT_TRUE(c.View3D);
  EXPECT_EQ(c.DepthPercent, 50);
  EXPECT_FALSE(c.Orthogonal);
  EXPECT_EQ(c.Elevation, 342);
  EXPECT_EQ(c.Rotation, 344);
  EXPECT_EQ(c.Zoom, 90);
  EXPECT_EQ(c.HorizOffset, 0);
  EXPECT_EQ(c.VertOffset, 10);
  EXPECT_TRUE(c.AllowZoom);
  EXPECT_TRUE(c.AnimatedZoom);
  EXPECT_FALSE(c.Zoomed());
  EXPECT_EQ(c.MarginLeft, 2);
  EXPECT_EQ(c.MarginTop, 2);
  EXPECT_EQ(c.MarginRight, 2);
  EXPECT_EQ(c.MarginBottom, 2);
  EXPECT_TRUE(c.GradientVisible);
  EXPECT_EQ(c.GradientStartColor, QColor(192, 192, 192));
  EXPECT_EQ(c.GradientEndColor, QColor(0, 0, 0));
  EXPECT_FALSE(c.BackImage.isNull());
  EXPECT_TRUE(c.BackImageInside);
  EXPECT_EQ(c.BackWall.Size, 9);
  EXPECT_EQ(c.BackWall.Color, QColor(255, 235, 193));
  EXPECT_EQ(c.BottomWall.Size, 4);
  EXPECT_EQ(c.BottomWall.Color, QColor(235, 170, 35));
  EXPECT_EQ(c.LeftWall.Size, 4);
  EXPECT_EQ(c.LeftWall.Color, QColor(255, 217, 136));
  for (const ChartAxis* axis : {&c.LeftAxis, &c.BottomAxis}) {
    EXPECT_FALSE(axis->AxisLineVisible);
    EXPECT_FALSE(axis->Automatic);
    EXPECT_EQ(axis->LabelFontFamily, "Arial");
    EXPECT_EQ(axis->LabelFontColor, QColor(255, 255, 0));
  }
  EXPECT_EQ(c.LeftAxis.Maximum, 5.0);
  EXPECT_EQ(c.LeftAxis.MinorTickCount, 2);
  EXPECT_EQ(c.LeftAxis.TickLength, 2);
  EXPECT_EQ(c.LeftAxis.MinorTickLength, 2);
  EXPECT_FALSE(c.LegendVisible);
  EXPECT_FALSE(c.LegendResizeChart);
  EXPECT_EQ(c.MaxPointsPerPage, 12);
  EXPECT_FALSE(c.ScaleLastPage);

  const Expected expected[] = {{ChartSeries::Kind::VerticalBars, "VerticalBars", QColor(255, 0, 0)},
                               {ChartSeries::Kind::Line, "Lines", QColor(255, 255, 0)},
                               {ChartSeries::Kind::Points, "Points", QColor(255, 255, 0)},
                               {ChartSeries::Kind::Area, "Area", QColor(255, 255, 0)}};
  ASSERT_EQ(c.SeriesCount(), 4);
  for (int i = 0; i < 4; ++i) {
    const ChartSeries& s = c.Series(i);
    EXPECT_EQ(s.SeriesKind(), expected[i].kind) << i;
    EXPECT_EQ(s.Title, expected[i].title) << i;
    EXPECT_EQ(s.SeriesColor, expected[i].color) << i;
    EXPECT_EQ(s.Active, i == 0) << i;
    EXPECT_EQ(s.Count(), 0) << i;
    EXPECT_TRUE(s.Marks.Visible) << i;
    EXPECT_EQ(s.Marks.FontFamily, "Small Fonts") << i;
    EXPECT_EQ(s.Marks.FontPixelHeight, 9) << i;
    EXPECT_EQ(s.Marks.FontColor, QColor(0, 0, 0)) << i;
    EXPECT_EQ(s.Marks.ArrowLength, 10) << i;
  }
  EXPECT_EQ(g.BarSeries, &c.Series(0));
  EXPECT_EQ(g.AreaSeries, &c.Series(3));
  EXPECT_EQ(g.BarSeries->BarWidthPercent, 50);
  EXPECT_FALSE(g.BarSeries->BarsSideBySide);
  EXPECT_FALSE(g.LineSeries->PointerVisible);
  EXPECT_EQ(g.PointSeries->Pointer, ChartSeries::PointerStyle::Rectangle);
  EXPECT_TRUE(g.AreaSeries->ColorEachPoint);
  EXPECT_EQ(g.CurrentStyle(), 0);
  EXPECT_EQ(&g.ActiveSeries(), g.BarSeries);
}

TEST(GraphChartTest, SelectStyleActivatesOneEmptySeriesAndResetsTheView) {
  GraphChart g;
  g.InitializeTitleAndStyle();
  int changes = 0;
  QObject::connect(&g, &GraphChart::changed, [&] { ++changes; });
  for (uint8_t n = 0; n < 4; ++n) {
    // Disturb everything the style change resets.
    g.SetRotationFromSlider(10);
    g.SetElevationFromSlider(300);
    g.SetZoomFromSlider(250);
    g.Chart.DepthPercent = 5;
    g.Chart.HorizOffset = 33;
    g.Chart.VertOffset = -4;
    g.Chart.LeftAxis.Automatic = true;
    g.Chart.BottomAxis.Automatic = true;
    g.Chart.BottomAxis.Maximum = 32;
    g.Chart.LegendVisible = true;
    g.Chart.LegendResizeChart = true;
    g.Chart.Series(n).Add(1, "x");
    const int before = changes;

    g.SelectStyle(n);

    EXPECT_EQ(changes, before + 1);
    EXPECT_EQ(g.CurrentStyle(), n);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(g.Chart.Series(i).Active, i == n) << int(n) << " " << i;
    }
    EXPECT_EQ(g.ActiveSeries().Count(), 0);
    EXPECT_EQ(&g.ActiveSeries(), &g.Chart.Series(n));
    EXPECT_FALSE(g.Chart.LeftAxis.Automatic);
    EXPECT_FALSE(g.Chart.BottomAxis.Automatic);
    EXPECT_EQ(g.Chart.BottomAxis.Maximum, 4);
    EXPECT_FALSE(g.Chart.LegendVisible);
    EXPECT_FALSE(g.Chart.LegendResizeChart);
    EXPECT_EQ(g.Chart.DepthPercent, 50);
    EXPECT_EQ(g.Chart.Zoom, 90);
    EXPECT_EQ(g.Chart.Rotation, 344);
    EXPECT_EQ(g.Chart.Elevation, 342);
    EXPECT_EQ(g.Chart.HorizOffset, 0);
    EXPECT_EQ(g.Chart.VertOffset, 10);
  }
  // Only the chosen series is emptied: the others keep their points.
  g.BarSeries->Add(3, "Up", Qt::green);
  g.SelectStyle(2);
  EXPECT_EQ(g.BarSeries->Count(), 1);
  EXPECT_FALSE(g.BarSeries->Active);
  g.SelectStyle(3);

  // Numbers beyond the four styles change nothing.
  g.Chart.Rotation = 1;
  const int before = changes;
  for (uint8_t n : {4, 200, 255}) {
    g.SelectStyle(n);
  }
  EXPECT_EQ(changes, before);
  EXPECT_EQ(g.CurrentStyle(), 3);
  EXPECT_EQ(g.Chart.Rotation, 1);
  EXPECT_TRUE(g.AreaSeries->Active);
}

TEST(GraphChartTest, SlidersMapTo180MinusPositionAndZoomAsIs) {
  GraphChart g;
  g.InitializeTitleAndStyle();
  int changes = 0;
  QObject::connect(&g, &GraphChart::changed, [&] { ++changes; });
  const std::pair<int, double> angles[] = {{180, 0}, {0, 180}, {360, -180}, {170, 10}, {1, 179}};
  for (const auto& [position, angle] : angles) {
    g.SetRotationFromSlider(position);
    EXPECT_EQ(g.Chart.Rotation, angle) << position;
    g.SetElevationFromSlider(position);
    EXPECT_EQ(g.Chart.Elevation, angle) << position;
  }
  for (int position : {0, 1, 100, 500}) {
    g.SetZoomFromSlider(position);
    EXPECT_EQ(g.Chart.Zoom, position);
  }
  EXPECT_EQ(changes, 2 * 5 + 4);
}

TEST(GraphChartTest, SeriesPointsAndTheirColours) {
  GraphChart g;
  ChartSeries& bars = *g.BarSeries;
  EXPECT_EQ(bars.Add(1.5, "a"), 0);
  EXPECT_EQ(bars.Add(2.5, "b", QColor(1, 2, 3)), 1);
  EXPECT_EQ(bars.Count(), 2);
  EXPECT_EQ(bars.PointColor(0), QColor(255, 0, 0)) << "no colour of its own: the series'";
  EXPECT_EQ(bars.PointColor(1), QColor(1, 2, 3));
  bars.SetValue(1, 7);
  EXPECT_EQ(bars.Value(1), 7);
  EXPECT_EQ(bars.Label(1), "b");
  EXPECT_THROW(bars.SetValue(2, 1), std::exception);
  EXPECT_THROW(bars.SetValue(-1, 1), std::exception);
  EXPECT_THROW(bars.At(2), std::exception);
  // Each point of the area in its own colour: points without one differ.
  g.AreaSeries->Add(1, "a");
  g.AreaSeries->Add(1, "b");
  EXPECT_NE(g.AreaSeries->PointColor(0), g.AreaSeries->PointColor(1));
  EXPECT_NE(g.AreaSeries->PointColor(0), g.AreaSeries->SeriesColor);
  bars.Clear();
  EXPECT_EQ(bars.Count(), 0);
  EXPECT_THROW(g.Chart.Series(4), std::exception);
}

TEST(GraphChartTest, PagesFollowTheFirstActiveSeries) {
  GraphChart g;
  g.InitializeTitleAndStyle();
  EXPECT_EQ(g.Chart.NumPages(), 1);
  for (int i = 0; i < 25; ++i) {
    g.BarSeries->Add(i, "p");
  }
  EXPECT_EQ(g.Chart.NumPages(), 3) << "12 points per page";
  g.Chart.MaxPointsPerPage = 0;
  EXPECT_EQ(g.Chart.NumPages(), 1);
  g.Chart.MaxPointsPerPage = 5;
  EXPECT_EQ(g.Chart.NumPages(), 5);
  g.SelectStyle(1);
  EXPECT_EQ(g.Chart.NumPages(), 1) << "the lines are empty";
}

}  // namespace
}  // namespace velmar
