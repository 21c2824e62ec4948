#include "measure/widgets/lcd_display.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QPixmap>

#include "support/widget_grab.h"

namespace velmar {
namespace {

// Counts the paint events that reach the control.
class CountingLcdDisplay : public LcdDisplay {
 public:
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent* event) override {
    ++paints;
    LcdDisplay::paintEvent(event);
  }
};

using test::Grab;
using test::Settle;

TEST(LcdDisplayWidgetTest, NewDisplayHasTheDefaultLook) {
  LcdDisplay display;
  EXPECT_EQ(display.size(), QSize(168, 36));
  EXPECT_TRUE(display.testAttribute(Qt::WA_OpaquePaintEvent));
  EXPECT_EQ(display.focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(display.NumDigits(), 6);
  EXPECT_EQ(display.Value(), 0);
  EXPECT_EQ(display.DigitHeight(), 30);
  EXPECT_EQ(display.DigitWidth(), 20);
  EXPECT_EQ(display.DigitLineWidth(), 5);
  EXPECT_EQ(display.BackgroundColor(), QColor(128, 128, 0));
  EXPECT_EQ(display.LightOnColor(), QColor(0, 255, 0));
  EXPECT_EQ(display.LightOffColor(), QColor(0, 128, 0));
  const QImage shown = Grab(display);
  EXPECT_EQ(shown.size(), QSize(168, 36));
  LcdDisplayPainter reference;
  EXPECT_EQ(shown, reference.Render());
}

TEST(LcdDisplayWidgetTest, ShowsExactlyThePaintersPicture) {
  LcdDisplay display;
  display.SetNumDigits(5);
  display.SetDigitWidth(10);
  display.SetDigitHeight(17);
  display.SetDigitLineWidth(3);
  display.SetLightOnColor(QColor(255, 255, 0));
  display.SetLightOffColor(QColor(0, 100, 0));
  display.SetBackgroundColor(QColor(90, 90, 0));
  display.resize(50, 20);
  display.SetValue(12345);
  EXPECT_EQ(display.NumDigits(), 5);
  EXPECT_EQ(display.DigitWidth(), 10);
  EXPECT_EQ(display.DigitHeight(), 17);
  EXPECT_EQ(display.DigitLineWidth(), 3);
  EXPECT_EQ(display.Value(), 12345);
  EXPECT_EQ(display.LightOnColor(), QColor(255, 255, 0));
  EXPECT_EQ(display.LightOffColor(), QColor(0, 100, 0));
  EXPECT_EQ(display.BackgroundColor(), QColor(90, 90, 0));

  LcdDisplayPainter reference;
  reference.SetNumDigits(5);
  reference.SetDigitWidth(10);
  reference.SetDigitHeight(17);
  reference.SetDigitLineWidth(3);
  reference.SetLightOnColor(QColor(255, 255, 0));
  reference.SetLightOffColor(QColor(0, 100, 0));
  reference.SetBackgroundColor(QColor(90, 90, 0));
  reference.SetSize({50, 20});
  reference.SetValue(12345);
  const QImage expected = reference.Render();
  EXPECT_EQ(Grab(display), expected);
  // A different value shows differently.
  display.SetValue(54321);
  EXPECT_NE(Grab(display), expected);
  reference.SetValue(54321);
  EXPECT_EQ(Grab(display), reference.Render());

  // A new size gives a picture of that size.
  display.resize(20, 20);
  display.SetNumDigits(2);
  display.SetValue(7);
  reference.SetSize({20, 20});
  reference.SetNumDigits(2);
  reference.SetValue(7);
  const QImage small = Grab(display);
  EXPECT_EQ(small.size(), QSize(20, 20));
  EXPECT_EQ(small, reference.Render());
  EXPECT_EQ(display.Painter().Size(), QSize(20, 20));
}

TEST(LcdDisplayWidgetTest, RepaintsOnlyWhenSomethingChanged) {
  CountingLcdDisplay display;
  display.show();
  Settle();
  ASSERT_GT(display.paints, 0);

  int before = display.paints;
  display.SetValue(0);
  display.SetNumDigits(6);
  display.SetDigitHeight(30);
  display.SetDigitWidth(20);
  display.SetDigitLineWidth(5);
  display.SetBackgroundColor(QColor(128, 128, 0));
  display.SetLightOnColor(QColor(0, 255, 0));
  display.SetLightOffColor(QColor(0, 128, 0));
  Settle();
  EXPECT_EQ(display.paints, before);
  EXPECT_EQ(display.Painter().DigitPictureBuilds(), 1);

  const auto changes = {
      +[](LcdDisplay& d) { d.SetValue(42); },
      +[](LcdDisplay& d) { d.SetNumDigits(4); },
      +[](LcdDisplay& d) { d.SetDigitHeight(20); },
      +[](LcdDisplay& d) { d.SetDigitWidth(12); },
      +[](LcdDisplay& d) { d.SetDigitLineWidth(3); },
      +[](LcdDisplay& d) { d.SetBackgroundColor(Qt::black); },
      +[](LcdDisplay& d) { d.SetLightOnColor(Qt::yellow); },
      +[](LcdDisplay& d) { d.SetLightOffColor(Qt::darkRed); },
  };
  int step = 0;
  for (auto change : changes) {
    before = display.paints;
    change(display);
    Settle();
    EXPECT_GT(display.paints, before) << "change " << step;
    before = display.paints;
    change(display);  // the same again
    Settle();
    EXPECT_EQ(display.paints, before) << "repeat of change " << step;
    ++step;
  }
  // Only the geometry and colour changes prepared new digit pictures.
  EXPECT_EQ(display.Painter().DigitPictureBuilds(), 1 + 6);
  EXPECT_EQ(Grab(display).pixel(0, 0), QColor(Qt::black).rgb());
}

}  // namespace
}  // namespace velmar
