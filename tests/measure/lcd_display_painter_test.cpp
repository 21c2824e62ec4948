#include "measure/paint/lcd_display_painter.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QRect>
#include <climits>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "support/pixels.h"

namespace velmar {
namespace {

using Segment = LcdDisplayPainter::Segment;

const QColor kOlive(128, 128, 0);
const QColor kSegmentLime(0, 255, 0);
const QColor kGreen(0, 128, 0);
const QColor kYellow(255, 255, 0);

struct Geometry {
  int width;
  int height;
  int line;
};

// The main window's small digits, the default digits and a larger odd one.
const std::vector<Geometry> kGeometries = {{10, 17, 3}, {20, 30, 5}, {31, 51, 7}};

// Lit segments of each digit as a seven-segment display shows them, named
// t(op), a (upper left), b (upper right), m(iddle), c (lower left),
// d (lower right), o (bottom).
const std::map<int, std::string> kLit = {
    {0, "tabcdo"}, {1, "bd"},     {2, "tbmco"}, {3, "tbmdo"},   {4, "abmd"},
    {5, "tamdo"},  {6, "tamcdo"}, {7, "tbd"},   {8, "tabmcdo"}, {9, "tabmdo"},
};
const std::string kSegmentNames = "tabmcdo";

Segment SegmentOf(char name) {
  switch (name) {
    case 't':
      return LcdDisplayPainter::kTop;
    case 'a':
      return LcdDisplayPainter::kUpperLeft;
    case 'b':
      return LcdDisplayPainter::kUpperRight;
    case 'm':
      return LcdDisplayPainter::kMiddle;
    case 'c':
      return LcdDisplayPainter::kLowerLeft;
    case 'd':
      return LcdDisplayPainter::kLowerRight;
    default:
      return LcdDisplayPainter::kBottom;
  }
}

// A pixel well inside each segment of a W x H digit with line width L.
QPoint SamplePoint(char name, const Geometry& g) {
  const int w = g.width, h = g.height, l = g.line;
  const int upperY = (l - 1 + h / 2 - l / 2) / 2;
  const int lowerY = (h / 2 + l / 2 + h - l) / 2;
  switch (name) {
    case 't':
      return {w / 2, l / 2};
    case 'a':
      return {l / 2, upperY};
    case 'b':
      return {w - 1 - l / 2, upperY};
    case 'm':
      return {w / 2, h / 2};
    case 'c':
      return {l / 2, lowerY};
    case 'd':
      return {w - 1 - l / 2, lowerY};
    default:
      return {w / 2, h - 1 - l / 2};
  }
}

using test::Hex;

::testing::AssertionResult PixelIs(const QImage& image, int x, int y, const QColor& colour) {
  if (!image.rect().contains(x, y)) {
    return ::testing::AssertionFailure() << "(" << x << "," << y << ") outside the image";
  }
  const QRgb actual = image.pixel(x, y);
  if ((actual & 0xffffffu) == (colour.rgb() & 0xffffffu)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is " << Hex(actual)
                                       << ", expected " << Hex(colour.rgb());
}

// Reads the digit drawn at (x, y) by sampling every segment; '?' when the
// segments form no digit or a sample is neither lit nor unlit.
char ReadDigit(const QImage& image, int x, int y, const Geometry& g, const QColor& on,
               const QColor& off) {
  std::string lit;
  for (char name : kSegmentNames) {
    const QPoint p = SamplePoint(name, g) + QPoint(x, y);
    const QRgb pixel = image.pixel(p) & 0xffffffu;
    if (pixel == (on.rgb() & 0xffffffu)) {
      lit += name;
    } else if (pixel != (off.rgb() & 0xffffffu)) {
      return '?';
    }
  }
  for (const auto& [digit, segments] : kLit) {
    if (segments == lit) {
      return static_cast<char>('0' + digit);
    }
  }
  return '?';
}

// Reads a whole display: cells of width ÷ digits, digits centred in them.
std::string ReadDisplay(const QImage& image, const LcdDisplayPainter& painter) {
  const Geometry g{painter.DigitWidth(), painter.DigitHeight(), painter.DigitLineWidth()};
  const int cell = image.width() / painter.NumDigits();
  const int y = (image.height() - g.height) / 2;
  std::string text;
  for (int i = 0; i < painter.NumDigits(); ++i) {
    text += ReadDigit(image, (cell - g.width) / 2 + i * cell, y, g, painter.LightOnColor(),
                      painter.LightOffColor());
  }
  return text;
}

// True when every pixel outside `digits` has the background colour.
::testing::AssertionResult BackgroundOutside(const QImage& image, const std::vector<QRect>& digits,
                                             const QColor& background) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      bool inside = false;
      for (const QRect& r : digits) {
        inside = inside || r.contains(x, y);
      }
      if (!inside) {
        auto result = PixelIs(image, x, y, background);
        if (!result) {
          return result;
        }
      }
    }
  }
  return ::testing::AssertionSuccess();
}

void UseGeometry(LcdDisplayPainter& painter, const Geometry& g) {
  painter.SetDigitWidth(g.width);
  painter.SetDigitHeight(g.height);
  painter.SetDigitLineWidth(g.line);
}

// The main window's five-digit speed display.
LcdDisplayPainter SpeedDisplay() {
  LcdDisplayPainter painter;
  painter.SetNumDigits(5);
  UseGeometry(painter, {10, 17, 3});
  painter.SetLightOnColor(kYellow);
  painter.SetSize({50, 20});
  return painter;
}

TEST(LcdDisplayPainterTest, DefaultsOfANewDisplay) {
  LcdDisplayPainter painter;
  EXPECT_EQ(painter.NumDigits(), 6);
  EXPECT_EQ(painter.Value(), 0);
  EXPECT_EQ(painter.DigitHeight(), 30);
  EXPECT_EQ(painter.DigitWidth(), 20);
  EXPECT_EQ(painter.DigitLineWidth(), 5);
  EXPECT_EQ(painter.BackgroundColor(), kOlive);
  EXPECT_EQ(painter.LightOnColor(), kSegmentLime);
  EXPECT_EQ(painter.LightOffColor(), kGreen);
  EXPECT_EQ(painter.Size(), QSize(168, 36));
  const QImage& image = painter.Render();
  EXPECT_EQ(image.size(), QSize(168, 36));
  EXPECT_EQ(ReadDisplay(image, painter), "000000");
}

TEST(LcdDisplayPainterTest, TextIsZeroPaddedDecimalLikePrintf) {
  const std::vector<int> values = {0,      1,       7,  42,  99,      100,    12345,
                                   123456, INT_MAX, -1, -42, -100000, INT_MIN};
  for (int digits = 0; digits <= 14; ++digits) {
    for (int value : values) {
      char expected[64];
      std::snprintf(expected, sizeof expected, "%*.*d", digits, digits, value);
      EXPECT_EQ(LcdDisplayPainter::FormatText(value, digits), expected)
          << value << " in " << digits << " digits";
    }
  }
  EXPECT_EQ(LcdDisplayPainter::FormatText(7, 2), "07");
  EXPECT_EQ(LcdDisplayPainter::FormatText(100, 2), "100");
  EXPECT_EQ(LcdDisplayPainter::FormatText(-42, 5), "-00042");
}

TEST(LcdDisplayPainterTest, EveryDigitLightsItsOwnSegments) {
  for (const Geometry& g : kGeometries) {
    LcdDisplayPainter painter;
    UseGeometry(painter, g);
    for (int digit = 0; digit <= 9; ++digit) {
      SCOPED_TRACE(::testing::Message() << "digit " << digit << " at " << g.width << "x" << g.height
                                        << " line " << g.line);
      const QImage& picture = painter.DigitPicture(digit);
      ASSERT_EQ(picture.size(), QSize(g.width, g.height));
      for (char name : kSegmentNames) {
        const bool lit = kLit.at(digit).find(name) != std::string::npos;
        EXPECT_EQ(LcdDisplayPainter::SegmentLit(digit, SegmentOf(name)), lit) << name;
        const QPoint p = SamplePoint(name, g);
        EXPECT_TRUE(PixelIs(picture, p.x(), p.y(), lit ? kSegmentLime : kGreen))
            << "segment " << name;
      }
      EXPECT_EQ(ReadDigit(picture, 0, 0, g, kSegmentLime, kGreen), '0' + digit);
    }
  }
  EXPECT_FALSE(LcdDisplayPainter::SegmentLit(-1, LcdDisplayPainter::kTop));
  EXPECT_FALSE(LcdDisplayPainter::SegmentLit(10, LcdDisplayPainter::kTop));
}

TEST(LcdDisplayPainterTest, DigitPicturesAreCrispAndOutlinedInTheBackground) {
  for (const Geometry& g : kGeometries) {
    LcdDisplayPainter painter;
    UseGeometry(painter, g);
    const int w = g.width, h = g.height, l = g.line;
    for (int digit = 0; digit <= 9; ++digit) {
      SCOPED_TRACE(::testing::Message() << "digit " << digit << " at " << w << "x" << h);
      const QImage& picture = painter.DigitPicture(digit);
      // Only the three colours: no blended edge pixels.
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          const QRgb p = picture.pixel(x, y);
          ASSERT_TRUE(p == kOlive.rgb() || p == kSegmentLime.rgb() || p == kGreen.rgb())
              << Hex(p) << " at (" << x << "," << y << ")";
        }
      }
      // Every segment's outer edge lies on the picture's border, so the
      // outline frames the digit.
      for (int x = 0; x < w; ++x) {
        ASSERT_TRUE(PixelIs(picture, x, 0, kOlive));
        ASSERT_TRUE(PixelIs(picture, x, h - 1, kOlive));
      }
      for (int y = 0; y < h; ++y) {
        ASSERT_TRUE(PixelIs(picture, 0, y, kOlive));
        ASSERT_TRUE(PixelIs(picture, w - 1, y, kOlive));
      }
      // The gaps between neighbouring segments: the diagonal joints at the
      // corners, the inner edges of the bars, and where the middle bar meets
      // the verticals.
      EXPECT_TRUE(PixelIs(picture, l / 2, l / 2, kOlive));
      EXPECT_TRUE(PixelIs(picture, w - 1 - l / 2, l / 2, kOlive));
      EXPECT_TRUE(PixelIs(picture, l / 2, h - 1 - l / 2, kOlive));
      EXPECT_TRUE(PixelIs(picture, w - 1 - l / 2, h - 1 - l / 2, kOlive));
      EXPECT_TRUE(PixelIs(picture, w / 2, l - 1, kOlive));
      EXPECT_TRUE(PixelIs(picture, w / 2, h - l, kOlive));
      EXPECT_TRUE(PixelIs(picture, w / 2, h / 2 - l / 2, kOlive));
      EXPECT_TRUE(PixelIs(picture, w / 2, h / 2 + l / 2, kOlive));
      EXPECT_TRUE(PixelIs(picture, l - 1, h / 4, kOlive));
      EXPECT_TRUE(PixelIs(picture, w - l, h / 4, kOlive));
      EXPECT_TRUE(PixelIs(picture, 0, h / 2, kOlive));
      EXPECT_TRUE(PixelIs(picture, w - 1, h / 2, kOlive));
      // The hollow of the digit is background too.
      EXPECT_TRUE(PixelIs(picture, w / 2, h / 4, kOlive));
      EXPECT_TRUE(PixelIs(picture, w / 2, 3 * h / 4, kOlive));
    }
  }
}

TEST(LcdDisplayPainterTest, SegmentsFollowTheLineWidth) {
  // With line 3 the bars are one pixel thick inside their outline; with
  // line 5 three.
  LcdDisplayPainter painter;
  UseGeometry(painter, {20, 30, 3});
  const QImage thin = painter.DigitPicture(8);
  EXPECT_TRUE(PixelIs(thin, 10, 1, kSegmentLime));
  EXPECT_TRUE(PixelIs(thin, 10, 2, kOlive));
  EXPECT_TRUE(PixelIs(thin, 10, 3, kOlive));
  EXPECT_TRUE(PixelIs(thin, 1, 8, kSegmentLime));
  EXPECT_TRUE(PixelIs(thin, 2, 8, kOlive));
  EXPECT_TRUE(PixelIs(thin, 3, 8, kOlive));
  painter.SetDigitLineWidth(5);
  const QImage thick = painter.DigitPicture(8);
  EXPECT_TRUE(PixelIs(thick, 10, 1, kSegmentLime));
  EXPECT_TRUE(PixelIs(thick, 10, 2, kSegmentLime));
  EXPECT_TRUE(PixelIs(thick, 10, 3, kSegmentLime));
  EXPECT_TRUE(PixelIs(thick, 10, 4, kOlive));
  EXPECT_TRUE(PixelIs(thick, 1, 8, kSegmentLime));
  EXPECT_TRUE(PixelIs(thick, 2, 8, kSegmentLime));
  EXPECT_TRUE(PixelIs(thick, 3, 8, kSegmentLime));
  EXPECT_TRUE(PixelIs(thick, 4, 8, kOlive));
  EXPECT_NE(thin, thick);
}

TEST(LcdDisplayPainterTest, SegmentCornersFollowTheGeometry) {
  LcdDisplayPainter painter;
  UseGeometry(painter, {10, 17, 3});
  EXPECT_EQ(painter.SegmentPolygon(LcdDisplayPainter::kTop),
            QPolygon({{0, 0}, {9, 0}, {7, 2}, {2, 2}}));
  EXPECT_EQ(painter.SegmentPolygon(LcdDisplayPainter::kUpperLeft),
            QPolygon({{0, 0}, {2, 2}, {2, 7}, {0, 8}}));
  EXPECT_EQ(painter.SegmentPolygon(LcdDisplayPainter::kUpperRight),
            QPolygon({{9, 0}, {9, 8}, {7, 7}, {7, 2}}));
  EXPECT_EQ(painter.SegmentPolygon(LcdDisplayPainter::kMiddle),
            QPolygon({{0, 8}, {2, 7}, {7, 7}, {9, 8}, {7, 9}, {2, 9}}));
  EXPECT_EQ(painter.SegmentPolygon(LcdDisplayPainter::kLowerLeft),
            QPolygon({{0, 8}, {2, 9}, {2, 14}, {0, 16}}));
  EXPECT_EQ(painter.SegmentPolygon(LcdDisplayPainter::kLowerRight),
            QPolygon({{9, 8}, {9, 16}, {7, 14}, {7, 9}}));
  EXPECT_EQ(painter.SegmentPolygon(LcdDisplayPainter::kBottom),
            QPolygon({{0, 16}, {2, 14}, {7, 14}, {9, 16}}));
}

TEST(LcdDisplayPainterTest, ShortValuesArePaddedWithLitZeros) {
  LcdDisplayPainter two;
  two.SetNumDigits(2);
  UseGeometry(two, {10, 17, 3});
  two.SetSize({20, 20});
  two.SetValue(7);
  EXPECT_EQ(ReadDisplay(two.Render(), two), "07");

  LcdDisplayPainter speed = SpeedDisplay();
  speed.SetValue(42);
  const QImage& image = speed.Render();
  EXPECT_EQ(ReadDisplay(image, speed), "00042");
  // The zeros are lit in the lit colour, yellow here.
  EXPECT_TRUE(PixelIs(image, 5, 2, kYellow));

  LcdDisplayPainter total;
  total.SetNumDigits(14);
  UseGeometry(total, {10, 17, 3});
  total.SetLightOnColor(kYellow);
  total.SetSize({128, 21});
  EXPECT_EQ(ReadDisplay(total.Render(), total), "00000000000000");
  total.SetValue(1234567890);
  EXPECT_EQ(ReadDisplay(total.Render(), total), "00001234567890");
}

TEST(LcdDisplayPainterTest, LongValuesShowTheirLeadingDigits) {
  LcdDisplayPainter two;
  two.SetNumDigits(2);
  UseGeometry(two, {10, 17, 3});
  two.SetSize({20, 20});
  two.SetValue(100);
  EXPECT_EQ(ReadDisplay(two.Render(), two), "10");
  two.SetValue(99);
  EXPECT_EQ(ReadDisplay(two.Render(), two), "99");
  two.SetValue(987654);
  EXPECT_EQ(ReadDisplay(two.Render(), two), "98");

  LcdDisplayPainter speed = SpeedDisplay();
  speed.SetValue(123456);
  EXPECT_EQ(ReadDisplay(speed.Render(), speed), "12345");
  speed.SetValue(INT_MAX);
  EXPECT_EQ(ReadDisplay(speed.Render(), speed), "21474");
}

TEST(LcdDisplayPainterTest, AMinusSignShowsAsAOne) {
  LcdDisplayPainter speed = SpeedDisplay();
  speed.SetValue(-42);  // "-00042"
  EXPECT_EQ(ReadDisplay(speed.Render(), speed), "10004");
  speed.SetValue(INT_MIN);  // "-2147483648"
  EXPECT_EQ(ReadDisplay(speed.Render(), speed), "12147");
}

TEST(LcdDisplayPainterTest, DigitsSitCentredInTheirCellsOnTheBackground) {
  LcdDisplayPainter painter;
  painter.SetValue(123456);
  const QImage& image = painter.Render();
  // 168 / 6 = 28 wide cells, the 20 x 30 digits at x = 4 + 28 i, y = 3.
  std::vector<QRect> digits;
  const std::string shown = "123456";
  for (int i = 0; i < 6; ++i) {
    const QRect r(4 + 28 * i, 3, 20, 30);
    digits.push_back(r);
    EXPECT_EQ(image.copy(r), painter.DigitPicture(shown[static_cast<size_t>(i)] - '0'))
        << "cell " << i;
  }
  EXPECT_TRUE(BackgroundOutside(image, digits, kOlive));
  EXPECT_TRUE(PixelIs(image, 3, 18, kOlive));
  EXPECT_TRUE(PixelIs(image, 28, 18, kOlive));
  EXPECT_TRUE(PixelIs(image, 167, 18, kOlive));

  // Narrow cells (128 / 14 = 9 for 10 wide digits) overlap by one column:
  // each digit covers its left neighbour's outline.
  LcdDisplayPainter total;
  total.SetNumDigits(14);
  UseGeometry(total, {10, 17, 3});
  total.SetSize({128, 21});
  const QImage& packed = total.Render();
  EXPECT_TRUE(BackgroundOutside(packed, {QRect(0, 2, 9 * 13 + 10, 17)}, kOlive));
  EXPECT_EQ(packed.copy(9 * 13, 2, 10, 17), total.DigitPicture(0));
}

TEST(LcdDisplayPainterTest, ColoursReachEveryPixel) {
  LcdDisplayPainter painter;
  const QColor background(10, 20, 30), on(200, 100, 50), off(60, 70, 80);
  painter.SetBackgroundColor(background);
  painter.SetLightOnColor(on);
  painter.SetLightOffColor(off);
  painter.SetValue(10);  // "000010": a 1 with unlit segments beside lit ones
  const QImage& image = painter.Render();
  EXPECT_TRUE(PixelIs(image, 0, 0, background));
  const Geometry g{20, 30, 5};
  EXPECT_EQ(ReadDigit(image, 4 + 28 * 4, 3, g, on, off), '1');
  EXPECT_EQ(ReadDigit(image, 4 + 28 * 5, 3, g, on, off), '0');
  const QPoint top = SamplePoint('t', g);
  EXPECT_TRUE(PixelIs(image, 4 + 28 * 4 + top.x(), 3 + top.y(), off));
  EXPECT_TRUE(PixelIs(image, 4 + 28 * 5 + top.x(), 3 + top.y(), on));
  // Alpha is dropped: the control is opaque.
  painter.SetLightOnColor(QColor(200, 100, 50, 10));
  EXPECT_EQ(painter.LightOnColor(), on);
}

TEST(LcdDisplayPainterTest, DisplaysThatLookAlikeShareTheirPicturesAndPartWhenOneChanges) {
  LcdDisplayPainter first;
  LcdDisplayPainter second;
  EXPECT_EQ(&first.DigitPicture(8), &second.DigitPicture(8)) << "one set for one look";
  const QImage before = first.DigitPicture(8);
  ASSERT_TRUE(second.SetLightOnColor(Qt::red));
  EXPECT_EQ(first.DigitPicture(8), before) << "a shared set is never drawn over";
  EXPECT_NE(second.DigitPicture(8), before);
  ASSERT_TRUE(second.SetLightOnColor(first.LightOnColor()));
  EXPECT_EQ(&first.DigitPicture(8), &second.DigitPicture(8)) << "back to the same look";
}

TEST(LcdDisplayPainterTest, DigitPicturesAreRebuiltOnlyForGeometryAndColours) {
  LcdDisplayPainter painter;
  const int initial = painter.DigitPictureBuilds();
  EXPECT_EQ(initial, 1);
  const QImage before = painter.DigitPicture(8);

  // Value, digit count and size only move or choose pictures.
  EXPECT_TRUE(painter.SetValue(42));
  EXPECT_TRUE(painter.SetNumDigits(4));
  EXPECT_TRUE(painter.SetSize({100, 40}));
  painter.Render();
  EXPECT_EQ(painter.DigitPictureBuilds(), initial);

  // Setting what is already set changes nothing.
  EXPECT_FALSE(painter.SetValue(42));
  EXPECT_FALSE(painter.SetNumDigits(4));
  EXPECT_FALSE(painter.SetSize({100, 40}));
  EXPECT_FALSE(painter.SetDigitHeight(30));
  EXPECT_FALSE(painter.SetDigitWidth(20));
  EXPECT_FALSE(painter.SetDigitLineWidth(5));
  EXPECT_FALSE(painter.SetBackgroundColor(kOlive));
  EXPECT_FALSE(painter.SetLightOnColor(kSegmentLime));
  EXPECT_FALSE(painter.SetLightOffColor(kGreen));
  EXPECT_EQ(painter.DigitPictureBuilds(), initial);
  EXPECT_EQ(painter.DigitPicture(8), before);

  // Each geometry or colour change rebuilds once.
  EXPECT_TRUE(painter.SetDigitLineWidth(3));
  EXPECT_EQ(painter.DigitPictureBuilds(), initial + 1);
  EXPECT_NE(painter.DigitPicture(8), before);
  EXPECT_TRUE(painter.SetDigitHeight(24));
  EXPECT_EQ(painter.DigitPicture(8).height(), 24);
  EXPECT_TRUE(painter.SetDigitWidth(16));
  EXPECT_EQ(painter.DigitPicture(8).width(), 16);
  EXPECT_TRUE(painter.SetBackgroundColor(Qt::black));
  EXPECT_TRUE(PixelIs(painter.DigitPicture(8), 0, 0, Qt::black));
  EXPECT_TRUE(painter.SetLightOnColor(kYellow));
  EXPECT_TRUE(PixelIs(painter.DigitPicture(8), 8, 1, kYellow));
  EXPECT_TRUE(painter.SetLightOffColor(Qt::blue));
  EXPECT_TRUE(PixelIs(painter.DigitPicture(1), 8, 1, Qt::blue));
  EXPECT_EQ(painter.DigitPictureBuilds(), initial + 6);
  painter.SetValue(7);
  painter.Render();
  EXPECT_EQ(painter.DigitPictureBuilds(), initial + 6);
}

TEST(LcdDisplayPainterTest, RenderFollowsEveryChange) {
  LcdDisplayPainter speed = SpeedDisplay();
  speed.SetValue(1);
  EXPECT_EQ(ReadDisplay(speed.Render(), speed), "00001");
  speed.SetValue(2);
  EXPECT_EQ(ReadDisplay(speed.Render(), speed), "00002");
  speed.SetNumDigits(2);
  speed.SetSize({20, 20});
  EXPECT_EQ(speed.Render().size(), QSize(20, 20));
  EXPECT_EQ(ReadDisplay(speed.Render(), speed), "02");
  speed.SetLightOnColor(Qt::red);
  EXPECT_TRUE(PixelIs(speed.Render(), 10 + 5, 1 + 1, Qt::red));

  // Fewer cells on the same width: wider cells, the same pictures.
  LcdDisplayPainter painter;
  painter.SetValue(123456);
  painter.Render();
  painter.SetNumDigits(3);
  const QImage& wide = painter.Render();
  EXPECT_EQ(ReadDisplay(wide, painter), "123");
  // 168 / 3 = 56 wide cells: digits at x = 18 + 56 i.
  EXPECT_EQ(wide.copy(18, 3, 20, 30), painter.DigitPicture(1));
  EXPECT_EQ(wide.copy(18 + 2 * 56, 3, 20, 30), painter.DigitPicture(3));
  EXPECT_TRUE(BackgroundOutside(
      wide, {QRect(18, 3, 20, 30), QRect(74, 3, 20, 30), QRect(130, 3, 20, 30)}, kOlive));

  // An odd slack in the cell: 65 / 5 = 13 wide cells put the 10 wide digits
  // one column in.
  LcdDisplayPainter slack = SpeedDisplay();
  slack.SetSize({65, 20});
  slack.SetValue(90817);
  const QImage& image = slack.Render();
  const std::string shown = "90817";
  std::vector<QRect> digits;
  for (int i = 0; i < 5; ++i) {
    digits.emplace_back(1 + 13 * i, 1, 10, 17);
    EXPECT_EQ(image.copy(digits.back()), slack.DigitPicture(shown[static_cast<size_t>(i)] - '0'))
        << "cell " << i;
  }
  EXPECT_TRUE(BackgroundOutside(image, digits, kOlive));
}

TEST(LcdDisplayPainterTest, DegenerateSettingsDrawOnlyTheBackground) {
  // No cell to divide the width by.
  for (int digits : {0, -3}) {
    LcdDisplayPainter painter;
    painter.SetValue(88);
    painter.SetNumDigits(digits);
    EXPECT_TRUE(BackgroundOutside(painter.Render(), {}, kOlive)) << digits;
  }
  // Digits that cannot exist.
  for (QSize size : {QSize(0, 30), QSize(20, 0), QSize(-5, 30), QSize(20, -1)}) {
    LcdDisplayPainter painter;
    painter.SetValue(888888);
    painter.SetDigitWidth(size.width());
    painter.SetDigitHeight(size.height());
    EXPECT_TRUE(painter.DigitPicture(8).isNull());
    EXPECT_TRUE(BackgroundOutside(painter.Render(), {}, kOlive));
  }
  // Line widths out of proportion still give well-sized pictures.
  for (int line : {0, -2, 1, 11, 40}) {
    LcdDisplayPainter painter;
    painter.SetDigitLineWidth(line);
    EXPECT_EQ(painter.DigitPicture(8).size(), QSize(20, 30)) << line;
    EXPECT_EQ(painter.Render().size(), QSize(168, 36));
  }
  // An empty control has no picture.
  LcdDisplayPainter empty;
  empty.SetSize({0, 0});
  EXPECT_TRUE(empty.Render().isNull());
  empty.SetSize({-4, 10});
  EXPECT_TRUE(empty.Render().isNull());
  empty.SetSize({30, 10});
  EXPECT_EQ(empty.Render().size(), QSize(30, 10));
  // More cells than pixels: all cells fall on one place, the last on top.
  LcdDisplayPainter crowded;
  UseGeometry(crowded, {10, 17, 3});
  crowded.SetSize({10, 17});
  crowded.SetValue(35);
  crowded.SetNumDigits(1000000);
  const QImage& image = crowded.Render();
  EXPECT_EQ(image.copy(0, 0, 5, 17), crowded.DigitPicture(5).copy(5, 0, 5, 17));
}

// Lengths of the lit runs from `from` in steps of `step`.
std::vector<int> LitRuns(const QImage& image, QPoint from, QPoint step) {
  std::vector<int> runs{0};
  for (QPoint p = from; image.rect().contains(p); p += step) {
    const bool lit = (image.pixel(p) & 0xffffffu) == (kSegmentLime.rgb() & 0xffffffu);
    if (lit) {
      ++runs.back();
    } else if (runs.back() > 0) {
      runs.push_back(0);
    }
  }
  if (runs.back() == 0) {
    runs.pop_back();
  }
  return runs;
}

// At a device pixel ratio, or in a window grown for its font, the digits
// are drawn again in the screen's pixels, each length scaled and rounded
// once: both verticals and top and bottom of a digit alike, every cell the
// same picture, the picture marked with the ratio. (The window test checks
// them as Qt shows them at 1.25, 1.5 and 2.)
TEST(LcdDisplayPainterTest, ScaledDigitsHaveEvenStrokesInEveryCell) {
  for (const auto& [ratio, layout] : {std::pair{1.5, 1.5}, std::pair{3.0, 1.0}}) {
    LcdDisplayPainter painter;  // the meter's speed digits: 12 x 24, line 4
    UseGeometry(painter, {12, 24, 4});
    painter.SetNumDigits(5);
    painter.SetSize({static_cast<int>(80 * layout), static_cast<int>(30 * layout)});
    painter.SetValue(88888);
    painter.SetDevicePixelRatio(ratio);
    painter.SetLayoutScale(layout);
    const int w = painter.DeviceDigitWidth(), h = painter.DeviceDigitHeight();
    EXPECT_EQ(w, static_cast<int>(std::lround(12 * ratio * layout)));
    // The outline, centred on each edge (an odd width), takes (gap + 1) / 2
    // off either side of a segment.
    const int stroke = painter.DeviceLineWidth() - (painter.DeviceGap() + 1);
    const QImage& eight = painter.DigitPicture(8);
    for (int y : {h / 4, 3 * h / 4}) {
      EXPECT_EQ(LitRuns(eight, {0, y}, {1, 0}), (std::vector<int>{stroke, stroke})) << y;
    }
    const std::vector<int> down = LitRuns(eight, {w / 2, 0}, {0, 1});
    ASSERT_EQ(down.size(), 3u) << "top, middle, bottom";
    EXPECT_EQ(down.front(), stroke);
    EXPECT_EQ(down.back(), stroke);
    const QImage& image = painter.Render();
    EXPECT_EQ(image.devicePixelRatio(), ratio);
    const int cell = image.width() / 5;
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(image.copy((cell - w) / 2 + i * cell, (image.height() - h) / 2, w, h), eight) << i;
    }
  }
}

}  // namespace
}  // namespace velmar
