#include "graph/chart_renderer.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>

#include "graph/graph_chart.h"
#include "graph/graph_feeder.h"

namespace velmar {
namespace {

// The graph window's chart area at its size in the window.
const QSize kChartSize(385, 290);
const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kBackWall(255, 235, 193);

QRgb Rgb(const QColor& c) {
  return c.rgb() & 0xffffffu;
}

int CountPixels(const QImage& image, const QColor& color) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      n += (image.pixel(x, y) & 0xffffffu) == Rgb(color);
    }
  }
  return n;
}

// Pixels of a hue: one channel strong, the other two weak (shaded faces
// are lighter or darker than the colour itself).
int CountHue(const QImage& image, int channel) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c(image.pixel(x, y));
      const int v[3] = {c.red(), c.green(), c.blue()};
      n += v[channel] > 150 && v[(channel + 1) % 3] < 120 && v[(channel + 2) % 3] < 120;
    }
  }
  return n;
}

QColor PixelAt(const QImage& image, QPointF p) {
  return QColor(
      image.pixel(static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y()))));
}

// A window's chart fed with live data (up 187.42, down 812.05 kbit/s).
class ChartRendererTest : public ::testing::Test {
 protected:
  ChartRendererTest() {
    chart.InitializeTitleAndStyle();
    feeder.Attach(&chart);
  }
  void FeedLive(int64_t up = 187, int64_t down = 812, int scale = 880) {
    displays.SetValue(Display::UpDigits, up);
    displays.SetValue(Display::UpDigits2, 42);
    displays.SetValue(Display::UpAvgDigits, 142);
    displays.SetValue(Display::DownDigits, down);
    displays.SetValue(Display::DownDigits2, 5);
    displays.SetValue(Display::DownAvgDigits, 655);
    feeder.GraphMode = 1;
    feeder.Feed(state, displays, scale, DisplayUnit());
  }
  void FeedHistory() {
    for (size_t i = 0; i < 32; ++i) {
      state.UpWindow[i] = static_cast<float>(10000 + 300 * i);
      state.DownWindow[i] = static_cast<float>(60000 + 1000 * i);
    }
    feeder.GraphMode = 2;
    state.AlarmToggle = false;
    feeder.Feed(state, displays, 900, DisplayUnit());
    feeder.Feed(state, displays, 900, DisplayUnit());
  }
  QImage Render() const { return ChartRenderer::RenderImage(chart.Chart, kChartSize); }
  ChartRenderer::Layout Layout() const {
    return ChartRenderer::ComputeLayout(chart.Chart, QRectF(QPointF(0, 0), QSizeF(kChartSize)));
  }

  GraphChart chart;
  GraphFeeder feeder;
  MeasurementState state;
  StoredDisplays displays;
};

TEST_F(ChartRendererTest, ImageChangesWithStyleRotationAndData) {
  FeedLive();
  std::vector<QImage> styles;
  for (uint8_t n = 0; n < 4; ++n) {
    chart.SelectStyle(n);
    FeedLive();
    styles.push_back(Render());
    EXPECT_EQ(styles.back().size(), kChartSize);
  }
  for (size_t a = 0; a < styles.size(); ++a) {
    for (size_t b = a + 1; b < styles.size(); ++b) {
      EXPECT_NE(styles[a], styles[b]) << "styles " << a << " and " << b;
    }
  }
  chart.SelectStyle(0);
  FeedLive();
  const QImage base = Render();
  EXPECT_EQ(base, Render()) << "the same chart draws the same picture";
  chart.SetRotationFromSlider(150);
  const QImage turned = Render();
  EXPECT_NE(base, turned);
  chart.SetElevationFromSlider(100);
  EXPECT_NE(turned, Render());
  chart.SelectStyle(0);
  FeedLive(300, 100);
  EXPECT_NE(base, Render()) << "other values";
  FeedLive();
  EXPECT_EQ(base, Render()) << "the first values again";
}

TEST_F(ChartRendererTest, BarsShowTheirColoursOnTheirFronts) {
  FeedLive();
  const QImage image = Render();
  const ChartRenderer::Layout l = Layout();
  const ChartSeries& s = chart.ActiveSeries();
  const QColor colors[] = {kGreen, QColor(0, 128, 0), kRed, QColor(128, 0, 0)};
  for (int i = 0; i < 4; ++i) {
    // The middle of the bar's front face.
    const QPointF p = l.projection.Project(l.WorldX(i), l.WorldY(s.Value(i)) / 2, l.seriesFront);
    EXPECT_EQ(PixelAt(image, p), colors[i]) << s.Label(i).toStdString();
  }
  // Lines, points and the area show the points' colours too, shaded
  // where a face is turned.
  for (uint8_t n = 1; n < 4; ++n) {
    chart.SelectStyle(n);
    FeedLive();
    const QImage other = Render();
    EXPECT_GT(CountHue(other, 1), 20) << int(n);
    EXPECT_GT(CountHue(other, 0), 20) << int(n);
  }
}

TEST_F(ChartRendererTest, WallsPictureAndGradientAsSet) {
  // No traffic: no bars in front of the back wall.
  FeedLive(0, 0, 0);
  displays.SetValue(Display::UpDigits2, 0);
  const QImage image = Render();
  const ChartRenderer::Layout l = Layout();
  ASSERT_GT(l.depth, 0);
  // On the back wall, between two grid lines, away from the picture.
  const double v = l.valueMax - l.valueStep / 2;
  EXPECT_EQ(PixelAt(image, l.projection.Project(l.width * 0.97, l.WorldY(v), l.depth)), kBackWall);
  // The picture sits in the middle of the back wall: not the wall's colour
  // there, but close to it (it is faint).
  const QPointF middle = l.projection.Project(l.width / 2, l.height / 2, l.depth);
  bool pictureSeen = false;
  for (int dy = -30; dy <= 30 && !pictureSeen; ++dy) {
    const QColor c = PixelAt(image, middle + QPointF(0, dy));
    pictureSeen = c != kBackWall && std::abs(c.red() - kBackWall.red()) < 80;
  }
  EXPECT_TRUE(pictureSeen);
  // The bottom wall's top and the left wall are drawn in their colours,
  // shaded.
  const QColor bottom = PixelAt(image, l.projection.Project(l.width * 0.5, 0, l.depth * 0.5));
  EXPECT_GT(bottom.red(), bottom.blue() + 100) << "orange";
  // The gradient: silver at the top, black at the bottom, in the margins.
  const QColor top = QColor(image.pixel(1, 0));
  const QColor low = QColor(image.pixel(1, kChartSize.height() - 1));
  EXPECT_NEAR(top.red(), 192, 3);
  EXPECT_NEAR(top.blue(), 192, 3);
  EXPECT_LE(low.red(), 4);
  EXPECT_LE(low.green(), 4);

  // Without walls the wall colour is gone.
  chart.Chart.BackWall.Visible = false;
  EXPECT_EQ(CountPixels(Render(), kBackWall), 0);
}

TEST_F(ChartRendererTest, NothingIsDrawnOutsideTheChart) {
  FeedHistory();
  const QRect where(100, 80, 413, 300);
  const QColor sentinel(255, 0, 255);
  const auto check = [&](const char* what) {
    QImage image(700, 600, QImage::Format_RGB32);
    image.fill(sentinel);
    {
      QPainter painter(&image);
      ChartRenderer::Render(chart.Chart, painter, QRectF(where));
    }
    int outside = 0, inside = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const bool same = (image.pixel(x, y) & 0xffffffu) == Rgb(sentinel);
        if (where.contains(x, y)) {
          inside += same;
        } else {
          outside += !same;
        }
      }
    }
    EXPECT_EQ(outside, 0) << what;
    EXPECT_EQ(inside, 0) << what << ": the chart covers its whole rectangle";
  };
  check("the usual view");
  chart.SetZoomFromSlider(500);
  check("zoom 500");
  chart.SetZoomFromSlider(100);
  chart.SetRotationFromSlider(90);
  chart.SetElevationFromSlider(270);
  check("turned and tilted");
  chart.Chart.HorizOffset = -400;
  chart.Chart.VertOffset = 300;
  check("moved away");
  chart.SelectStyle(3);
  FeedHistory();
  chart.Chart.LegendVisible = true;
  chart.Chart.ZoomWindow = QRectF(0.1, 0.1, 0.2, 0.2);
  check("area, legend, zoomed into a rectangle");
}

TEST_F(ChartRendererTest, ZoomZeroDrawsOnlyTheBackground) {
  FeedLive();
  chart.SetZoomFromSlider(0);
  const QImage image = Render();
  EXPECT_EQ(CountPixels(image, kGreen), 0);
  EXPECT_EQ(CountPixels(image, kRed), 0);
  EXPECT_EQ(CountPixels(image, kBackWall), 0);
  EXPECT_FALSE(ChartRenderer::ZoomWindowFor(chart.Chart, QRectF(QPointF(0, 0), QSizeF(kChartSize)),
                                            QRectF(10, 10, 200, 200))
                   .has_value());
  chart.SetZoomFromSlider(1);
  EXPECT_NE(Render(), image);
}

TEST_F(ChartRendererTest, PointsPerPageLabelsAndMarks) {
  FeedLive();
  ChartRenderer::Layout l = Layout();
  EXPECT_EQ(l.firstPoint, 0);
  EXPECT_EQ(l.places, 4);
  EXPECT_DOUBLE_EQ(l.valueMin, 0);
  EXPECT_DOUBLE_EQ(l.valueMax, 880);
  EXPECT_FALSE(l.uprightLabels) << "four labels fit side by side";
  EXPECT_EQ(l.labelStride, 1);
  EXPECT_EQ(l.markStride, 1);

  FeedHistory();
  l = Layout();
  EXPECT_EQ(l.places, 32);
  EXPECT_TRUE(l.uprightLabels) << "32 labels do not fit side by side";
  EXPECT_TRUE(l.uprightMarks);
  // Thinned, but every kind of point ("UpAvg", "DwnAvg") keeps labels.
  EXPECT_EQ(l.labelStride % 2, 1);
  EXPECT_EQ(l.markStride % 2, 1);
  EXPECT_LT(l.labelStride, 8);

  // Paging: 12 points, 4 per page; the last page keeps its width unless
  // it is to be rescaled.
  chart.SelectStyle(0);
  for (int i = 0; i < 10; ++i) {
    chart.ActiveSeries().Add(i, QString::number(i));
  }
  chart.Chart.MaxPointsPerPage = 4;
  chart.Chart.Page = 2;
  l = Layout();
  EXPECT_EQ(l.firstPoint, 4);
  EXPECT_EQ(l.places, 4);
  chart.Chart.Page = 3;
  l = Layout();
  EXPECT_EQ(l.firstPoint, 8);
  EXPECT_EQ(l.places, 4);
  chart.Chart.ScaleLastPage = true;
  EXPECT_EQ(Layout().places, 2);
  chart.Chart.Page = 99;  // beyond the last page: the last
  EXPECT_EQ(Layout().firstPoint, 8);
  const QImage page3 = Render();
  chart.Chart.Page = 1;
  EXPECT_NE(Render(), page3);

  // An automatic value axis follows the page's values.
  chart.Chart.LeftAxis.Automatic = true;
  chart.Chart.Page = 3;
  l = Layout();
  EXPECT_DOUBLE_EQ(l.valueMin, 0);
  EXPECT_GE(l.valueMax, 9);
  EXPECT_LE(l.valueMax, 10);
}

TEST_F(ChartRendererTest, LegendTakesRoomOnlyWhenAsked) {
  FeedLive();
  const double plain = Layout().width;
  const QImage without = Render();
  chart.Chart.LegendVisible = true;
  ChartRenderer::Layout l = Layout();
  EXPECT_FALSE(l.legend.isEmpty());
  EXPECT_DOUBLE_EQ(l.width, plain) << "drawn over the chart";
  EXPECT_NE(Render(), without);
  chart.Chart.LegendResizeChart = true;
  l = Layout();
  EXPECT_LT(l.width, plain - l.legend.width() + 1);
  EXPECT_TRUE(l.chart.contains(l.legend));
}

TEST_F(ChartRendererTest, ZoomWindowOfADraggedRectangle) {
  FeedLive();
  const QRectF rect(QPointF(0, 0), QSizeF(kChartSize));
  ChartRenderer::Layout l = Layout();
  const double zm = (l.seriesFront + l.seriesBack) / 2;
  // The rectangle around the left half of the plot, bottom half of the
  // values, at the series' depth.
  const QPointF a = l.projection.Project(0, 0, zm);
  const QPointF b = l.projection.Project(l.width / 2, l.height / 2, zm);
  std::optional<QRectF> w =
      ChartRenderer::ZoomWindowFor(chart.Chart, rect, QRectF(a, b).normalized());
  ASSERT_TRUE(w.has_value());
  // The view is turned, so the screen rectangle covers a little more.
  EXPECT_NEAR(w->left(), 0, 0.02);
  EXPECT_NEAR(w->top(), 0, 0.02);
  EXPECT_GE(w->right(), 0.5 - 1e-9);
  EXPECT_LT(w->right(), 0.65);
  EXPECT_GE(w->bottom(), 0.5 - 1e-9);
  EXPECT_LT(w->bottom(), 0.65);

  // Zoomed, the plot shows that part of the points and values.
  chart.Chart.ZoomWindow = QRectF(0.25, 0.5, 0.5, 0.25);
  l = Layout();
  EXPECT_DOUBLE_EQ(l.xFrom, -0.5 + 4 * 0.25);
  EXPECT_DOUBLE_EQ(l.xTo, -0.5 + 4 * 0.75);
  EXPECT_DOUBLE_EQ(l.valueMin, 440);
  EXPECT_DOUBLE_EQ(l.valueMax, 660);
  // A second rectangle zooms further into the first.
  w = ChartRenderer::ZoomWindowFor(
      chart.Chart, rect,
      QRectF(l.projection.Project(0, l.height, zm), l.projection.Project(l.width, 0, zm))
          .normalized());
  ASSERT_TRUE(w.has_value());
  EXPECT_NEAR(w->left(), 0.25, 0.01);
  EXPECT_NEAR(w->width(), 0.5, 0.01);
  // A rectangle beside the plot covers nothing.
  EXPECT_FALSE(
      ChartRenderer::ZoomWindowFor(chart.Chart, rect, QRectF(-50, -50, 10, 10)).has_value());
}

TEST_F(ChartRendererTest, PageRenderingKeepsTheMargins) {
  FeedLive();
  const QColor sentinel(255, 0, 255);
  QImage page(600, 800, QImage::Format_RGB32);
  page.fill(sentinel);
  {
    QPainter painter(&page);
    ChartRenderer::RenderOnPage(chart.Chart, painter, QRectF(0, 0, 600, 800), QSizeF(kChartSize));
  }
  // 15 % margins: 90 px left and right; the chart keeps its proportions.
  const double w = 600 * 0.7, h = w * kChartSize.height() / kChartSize.width();
  const QRectF expected(90, (800 - h) / 2, w, h);
  for (int y = 0; y < 800; y += 7) {
    for (int x = 0; x < 600; x += 7) {
      const bool same = (page.pixel(x, y) & 0xffffffu) == Rgb(sentinel);
      if (!expected.adjusted(-1, -1, 1, 1).contains(x, y)) {
        ASSERT_TRUE(same) << x << "," << y;
      } else if (expected.adjusted(1, 1, -1, -1).contains(x, y)) {
        ASSERT_FALSE(same) << x << "," << y;
      }
    }
  }
  EXPECT_GT(CountPixels(page, kRed), 100) << "the bars, scaled up";
}

TEST(ChartRendererFormatTest, ValuesAndSteps) {
  EXPECT_EQ(ChartRenderer::FormatValue(1000.05), "1000.05");
  EXPECT_EQ(ChartRenderer::FormatValue(10), "10");
  EXPECT_EQ(ChartRenderer::FormatValue(0.1), "0.1");
  EXPECT_EQ(ChartRenderer::FormatValue(12.5), "12.5");
  EXPECT_EQ(ChartRenderer::FormatValue(0), "0");
  EXPECT_EQ(ChartRenderer::FormatValue(-0.001), "0");
  EXPECT_EQ(ChartRenderer::FormatValue(-3.25), "-3.25");
  EXPECT_EQ(ChartRenderer::FormatValue(1e6), "1000000");
  EXPECT_EQ(ChartRenderer::FormatValue(std::nan("")), "");
  EXPECT_EQ(ChartRenderer::NiceStep(0), 1);
  EXPECT_EQ(ChartRenderer::NiceStep(-5), 1);
  EXPECT_EQ(ChartRenderer::NiceStep(std::nan("")), 1);
  EXPECT_EQ(ChartRenderer::NiceStep(1), 1);
  EXPECT_EQ(ChartRenderer::NiceStep(1.1), 2);
  EXPECT_EQ(ChartRenderer::NiceStep(2), 2);
  EXPECT_EQ(ChartRenderer::NiceStep(2.2), 2.5);
  EXPECT_EQ(ChartRenderer::NiceStep(0.3), 0.5);
  EXPECT_EQ(ChartRenderer::NiceStep(7), 10);
  EXPECT_EQ(ChartRenderer::NiceStep(30), 50);
  EXPECT_EQ(ChartRenderer::NiceStep(176), 200);
}

TEST_F(ChartRendererTest, OddValuesDrawWithoutHarm) {
  // Infinite or missing values, values beyond the axis, negative values,
  // an empty chart and an image of no size.
  chart.ActiveSeries().Add(std::nan(""), "nan", kRed);
  chart.ActiveSeries().Add(INFINITY, "inf", kRed);
  chart.ActiveSeries().Add(1e12, "huge", kGreen);
  chart.ActiveSeries().Add(-50, "neg", kGreen);
  for (uint8_t n = 0; n < 4; ++n) {
    chart.Chart.Series(n).Active = true;
    if (n > 0) {
      chart.Chart.Series(n).Add(-1, "neg");
      chart.Chart.Series(n).Add(INFINITY, "inf");
      chart.Chart.Series(n).Add(3, "three");
    }
  }
  const QImage image = Render();
  EXPECT_GT(CountPixels(image, kGreen), 10) << "the huge bar, cut at the top";
  chart.Chart.LeftAxis.Automatic = true;
  EXPECT_EQ(Render().size(), kChartSize);
  EXPECT_TRUE(ChartRenderer::RenderImage(chart.Chart, QSize(0, 0)).isNull() ||
              ChartRenderer::RenderImage(chart.Chart, QSize(0, 0)).size().isEmpty());
  GraphChart empty;
  EXPECT_EQ(ChartRenderer::RenderImage(empty.Chart, QSize(30, 20)).size(), QSize(30, 20));
}

}  // namespace
}  // namespace velmar
