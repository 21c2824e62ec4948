#include "measure/paint/indicator_painter.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "support/pixels.h"

namespace velmar {
namespace {

const QColor kBlack(0, 0, 0);
const QColor kLime(0, 255, 0);
const QColor kDimLime(0, 127, 0);
const QColor kAverageBlue(149, 173, 255);

using test::Hex;

// The picture an indicator of `width` x `height` (width 12 or more) should
// show with `litBars` of its `bars` lit: two-row bars every three rows from
// row 2, each row lit from column 5 to the column left of the centre and
// from the column right of the centre to column width - 6.
QImage Expected(int width, int height, int bars, int litBars, const QColor& background,
                const QColor& foreground, const QColor& dim) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(background);
  for (int bar = 0; bar < bars; ++bar) {
    const QRgb colour = bar >= bars - litBars ? foreground.rgb() : dim.rgb();
    for (int y : {3 * bar + 2, 3 * bar + 3}) {
      for (int x = 5; x <= width / 2 - 1; ++x) {
        image.setPixel(x, y, colour);
      }
      for (int x = width / 2 + 1; x <= width - 6; ++x) {
        image.setPixel(x, y, colour);
      }
    }
  }
  return image;
}

::testing::AssertionResult SameImage(const QImage& actual, const QImage& expected) {
  if (actual.size() != expected.size()) {
    return ::testing::AssertionFailure()
           << "size " << actual.width() << "x" << actual.height() << ", expected "
           << expected.width() << "x" << expected.height();
  }
  for (int y = 0; y < expected.height(); ++y) {
    for (int x = 0; x < expected.width(); ++x) {
      const QRgb a = actual.pixel(x, y) & 0xffffffu;
      const QRgb e = expected.pixel(x, y) & 0xffffffu;
      if (a != e) {
        return ::testing::AssertionFailure()
               << "pixel (" << x << "," << y << ") is " << Hex(a) << ", expected " << Hex(e);
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// Bars whose left half starts lit in column 5, counted from the image.
int CountBars(const QImage& image, const QColor& colour) {
  int rows = 0;
  for (int y = 0; y < image.height(); ++y) {
    rows += (image.pixel(5, y) & 0xffffffu) == (colour.rgb() & 0xffffffu) ? 1 : 0;
  }
  return rows / 2;
}

TEST(IndicatorPainterTest, DefaultsOfANewIndicator) {
  IndicatorPainter painter;
  EXPECT_EQ(painter.Position(), 0);
  EXPECT_EQ(painter.Background(), kBlack);
  EXPECT_EQ(painter.Foreground(), kLime);
  EXPECT_EQ(painter.DimColor(), kDimLime);
  EXPECT_EQ(painter.Size(), QSize(32, 128));
  // 128 / 3 - 1 = 41 bars, only the bottom one lit at 0 %.
  EXPECT_TRUE(SameImage(painter.Render(), Expected(32, 128, 41, 1, kBlack, kLime, kDimLime)));
}

TEST(IndicatorPainterTest, BarCountAndFirstLitBar) {
  EXPECT_EQ(IndicatorPainter::BarCount(69), 22);
  EXPECT_EQ(IndicatorPainter::BarCount(79), 25);
  EXPECT_EQ(IndicatorPainter::BarCount(128), 41);
  // Fewer than two rows of three pixels: no bar.
  EXPECT_EQ(IndicatorPainter::BarCount(5), 0);
  EXPECT_EQ(IndicatorPainter::BarCount(0), 0);
  EXPECT_EQ(IndicatorPainter::BarCount(-9), 0);
  EXPECT_EQ(IndicatorPainter::BarCount(6), 1);

  EXPECT_EQ(IndicatorPainter::FirstLitBar(22, 0), 21);
  EXPECT_EQ(IndicatorPainter::FirstLitBar(22, 100), 0);
  EXPECT_EQ(IndicatorPainter::FirstLitBar(22, 50), 10);  // 10.5 rounds to the even 10
  EXPECT_EQ(IndicatorPainter::FirstLitBar(25, 50), 12);
  EXPECT_EQ(IndicatorPainter::FirstLitBar(4, 50), 2);   // 1.5 rounds to the even 2
  EXPECT_EQ(IndicatorPainter::FirstLitBar(12, 50), 6);  // 5.5 to 6
  EXPECT_EQ(IndicatorPainter::FirstLitBar(22, 98), 0);  // 0.42 to 0
  EXPECT_EQ(IndicatorPainter::FirstLitBar(22, 97), 1);  // 0.63 to 1
  EXPECT_EQ(IndicatorPainter::FirstLitBar(22, 1), 21);  // 20.79 to 21
  EXPECT_EQ(IndicatorPainter::FirstLitBar(25, 1), 24);  // 23.76 to 24
  EXPECT_EQ(IndicatorPainter::FirstLitBar(25, 3), 23);  // 23.28 to 23
  EXPECT_EQ(IndicatorPainter::FirstLitBar(22, -5), 21);
  EXPECT_EQ(IndicatorPainter::FirstLitBar(22, 250), 0);
  EXPECT_EQ(IndicatorPainter::FirstLitBar(1, 37), 0);
  EXPECT_EQ(IndicatorPainter::FirstLitBar(0, 37), 0);
  for (int bars = 1; bars <= 60; ++bars) {
    for (int position = 0; position <= 100; ++position) {
      const int first = IndicatorPainter::FirstLitBar(bars, position);
      ASSERT_GE(first, 0);
      ASSERT_LT(first, bars);
      // A higher percentage never lights fewer bars.
      if (position > 0) {
        ASSERT_LE(first, IndicatorPainter::FirstLitBar(bars, position - 1));
      }
    }
  }
}

TEST(IndicatorPainterTest, PositionsOutsideThePercentRangeAreLimited) {
  IndicatorPainter painter;
  EXPECT_FALSE(painter.SetPosition(-5));  // already 0
  EXPECT_EQ(painter.Position(), 0);
  EXPECT_TRUE(painter.SetPosition(250));
  EXPECT_EQ(painter.Position(), 100);
  EXPECT_FALSE(painter.SetPosition(101));
  EXPECT_FALSE(painter.SetPosition(100));
  EXPECT_TRUE(painter.SetPosition(99));
  EXPECT_TRUE(painter.SetPosition(INT_MIN));
  EXPECT_EQ(painter.Position(), 0);
  EXPECT_TRUE(painter.SetPosition(INT_MAX));
  EXPECT_EQ(painter.Position(), 100);
}

TEST(IndicatorPainterTest, MainWindowIndicatorsLightBarsFromTheBottom) {
  struct Case {
    int height;
    int position;
    int litBars;
  };
  const std::vector<Case> cases = {
      {69, -5, 1},  {69, 0, 1},  {69, 50, 12}, {69, 100, 22}, {69, 250, 22}, {69, 1, 1},
      {69, 97, 21}, {79, -5, 1}, {79, 0, 1},   {79, 50, 13},  {79, 100, 25}, {79, 250, 25},
  };
  for (const QColor& foreground : {kLime, kAverageBlue}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << "height " << c.height << " position " << c.position
                                        << " foreground " << Hex(foreground.rgb()));
      IndicatorPainter painter;
      painter.SetSize({17, c.height});
      painter.SetForeground(foreground);
      painter.SetPosition(c.position);
      const QImage& image = painter.Render();
      const int bars = c.height == 69 ? 22 : 25;
      EXPECT_EQ(CountBars(image, foreground), c.litBars);
      EXPECT_EQ(CountBars(image, painter.DimColor()), bars - c.litBars);
      EXPECT_TRUE(SameImage(
          image, Expected(17, c.height, bars, c.litBars, kBlack, foreground, painter.DimColor())));
    }
  }
}

TEST(IndicatorPainterTest, BarsLeaveMarginsAndACentreGap) {
  IndicatorPainter painter;
  painter.SetSize({17, 69});
  painter.SetPosition(100);
  const QImage& image = painter.Render();
  // Rows 2 and 3 form the top bar; row 4 is the gap to the next one.
  for (int y : {2, 3}) {
    for (int x = 0; x < 17; ++x) {
      const bool lit = (x >= 5 && x <= 7) || (x >= 9 && x <= 11);
      EXPECT_EQ(image.pixel(x, y), lit ? kLime.rgb() : kBlack.rgb()) << x << "," << y;
    }
  }
  for (int y : {0, 1, 4, 64, 67, 68}) {
    for (int x = 0; x < 17; ++x) {
      EXPECT_EQ(image.pixel(x, y), kBlack.rgb()) << x << "," << y;
    }
  }
  // The bottom bar, 3 * 21 + 2 and + 3, ends two rows above the bottom edge.
  EXPECT_EQ(image.pixel(5, 63), kLime.rgb());
  EXPECT_EQ(image.pixel(5, 65), kLime.rgb());
  EXPECT_EQ(image.pixel(11, 66), kLime.rgb());
}

TEST(IndicatorPainterTest, ColoursAndTheDimShade) {
  IndicatorPainter painter;
  EXPECT_TRUE(painter.SetForeground(kAverageBlue));
  EXPECT_EQ(painter.DimColor(), QColor(74, 86, 127));
  EXPECT_FALSE(painter.SetForeground(kAverageBlue));
  EXPECT_TRUE(painter.SetForeground(QColor(255, 1, 3)));
  EXPECT_EQ(painter.DimColor(), QColor(127, 0, 1));
  EXPECT_TRUE(painter.SetBackground(QColor(40, 50, 60)));
  EXPECT_FALSE(painter.SetBackground(QColor(40, 50, 60)));
  // The dim shade is the foreground's; the background does not change it.
  EXPECT_EQ(painter.DimColor(), QColor(127, 0, 1));
  painter.SetPosition(50);
  const QImage& image = painter.Render();
  EXPECT_TRUE(SameImage(image, Expected(32, 128, 41, 41 - 20, QColor(40, 50, 60), QColor(255, 1, 3),
                                        QColor(127, 0, 1))));
  // Alpha is dropped: the control is opaque.
  EXPECT_FALSE(painter.SetBackground(QColor(40, 50, 60, 0)));
  EXPECT_EQ(painter.Background().alpha(), 255);
}

TEST(IndicatorPainterTest, ImageFollowsChangesAndSize) {
  IndicatorPainter painter;
  painter.SetSize({17, 79});
  EXPECT_EQ(CountBars(painter.Render(), kLime), 1);
  painter.SetPosition(100);
  EXPECT_EQ(CountBars(painter.Render(), kLime), 25);
  painter.SetForeground(Qt::red);
  EXPECT_EQ(CountBars(painter.Render(), Qt::red), 25);
  painter.SetBackground(Qt::white);
  EXPECT_EQ(painter.Render().pixel(0, 0), QColor(Qt::white).rgb());
  EXPECT_TRUE(painter.SetSize({17, 69}));
  EXPECT_FALSE(painter.SetSize({17, 69}));
  EXPECT_EQ(painter.Render().size(), QSize(17, 69));
  EXPECT_EQ(CountBars(painter.Render(), Qt::red), 22);
}

TEST(IndicatorPainterTest, SmallAndEmptySizes) {
  IndicatorPainter painter;
  painter.SetPosition(100);
  // Too short for two rows of bars: background only.
  painter.SetSize({17, 5});
  EXPECT_TRUE(SameImage(painter.Render(), Expected(17, 5, 0, 0, kBlack, kLime, kDimLime)));
  // One bar, lit at any position.
  painter.SetSize({17, 6});
  painter.SetPosition(0);
  EXPECT_TRUE(SameImage(painter.Render(), Expected(17, 6, 1, 1, kBlack, kLime, kDimLime)));
  // Narrow controls: each half runs from beside the centre towards its
  // margin column, never past the image.
  painter.SetSize({8, 12});  // halves from 3 towards 4, from 5 towards 3
  const QImage& narrow = painter.Render();
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(narrow.pixel(x, 8), (x >= 3 && x <= 5) ? kLime.rgb() : kBlack.rgb()) << x;
  }
  for (int width = 1; width < 12; ++width) {
    painter.SetSize({width, 12});
    EXPECT_EQ(painter.Render().size(), QSize(width, 12));
    EXPECT_EQ(painter.Render().pixel(0, 0), kBlack.rgb());
  }
  // An empty control has no picture.
  painter.SetSize({0, 69});
  EXPECT_TRUE(painter.Render().isNull());
  painter.SetSize({17, -1});
  EXPECT_TRUE(painter.Render().isNull());
  painter.SetSize({17, 69});
  EXPECT_EQ(painter.Render().size(), QSize(17, 69));
}

// At a device pixel ratio (or in a window grown for its font) the picture
// has the screen's pixels, marked with the ratio, and every bar the same
// rows and gap; ratio 1 is the design's picture. (The window test checks
// the bars as Qt shows them at 1.25, 1.5 and 2.)
TEST(IndicatorPainterTest, ScaledPicturesHaveEvenBarsAndGaps) {
  IndicatorPainter painter;
  painter.SetSize({30, 124});
  painter.SetPosition(40);
  const QImage atOne = painter.Render().copy();
  EXPECT_FALSE(painter.SetLayoutScale(0.5)) << "below 1 counts as 1";
  EXPECT_TRUE(painter.SetDevicePixelRatio(1.5));
  EXPECT_TRUE(painter.SetLayoutScale(1.5));
  const QImage& image = painter.Render();
  EXPECT_EQ(image.devicePixelRatio(), 1.5);
  EXPECT_EQ(image.size(), QSize(45, 186));
  const IndicatorPainter::BarGeometry g = IndicatorPainter::Geometry(2.25);
  EXPECT_EQ(g.pitch, 7);  // 3 x 2.25, rounded
  EXPECT_EQ(g.bar, 5);
  const int bars = IndicatorPainter::BarCount(186, 2.25);
  for (int y = 0, bar = 0; bar < bars; ++bar) {
    const QColor colour = bar < IndicatorPainter::FirstLitBar(bars, 40) ? kDimLime : kLime;
    for (y = g.margin + bar * g.pitch; y < g.margin + (bar + 1) * g.pitch; ++y) {
      const QColor expected = y - g.margin - bar * g.pitch < g.bar ? colour : kBlack;
      ASSERT_EQ(image.pixel(g.sideMargin, y) & 0xffffffu, expected.rgb() & 0xffffffu) << y;
    }
  }
  EXPECT_EQ(IndicatorPainter::BarCount(124), IndicatorPainter::BarCount(248, 2));
  painter.SetDevicePixelRatio(1);
  painter.SetLayoutScale(1);
  EXPECT_TRUE(SameImage(painter.Render(), atOne));
}

}  // namespace
}  // namespace velmar
