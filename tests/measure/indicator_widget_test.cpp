#include "measure/widgets/indicator.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QPixmap>

#include "support/widget_grab.h"

namespace velmar {
namespace {

// Counts the paint events that reach the control.
class CountingIndicator : public Indicator {
 public:
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent* event) override {
    ++paints;
    Indicator::paintEvent(event);
  }
};

using test::Grab;
using test::Settle;

TEST(IndicatorWidgetTest, NewIndicatorHasTheDefaultLook) {
  Indicator indicator;
  EXPECT_EQ(indicator.size(), QSize(32, 128));
  EXPECT_TRUE(indicator.testAttribute(Qt::WA_OpaquePaintEvent));
  EXPECT_EQ(indicator.focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(indicator.Position(), 0);
  EXPECT_EQ(indicator.Background(), QColor(0, 0, 0));
  EXPECT_EQ(indicator.Foreground(), QColor(0, 255, 0));
  const QImage shown = Grab(indicator);
  EXPECT_EQ(shown.size(), QSize(32, 128));
  IndicatorPainter reference;
  EXPECT_EQ(shown, reference.Render());
  // The bottom bar is lit even at 0 %.
  EXPECT_EQ(shown.pixel(5, 3 * 40 + 2), QColor(0, 255, 0).rgb());
}

TEST(IndicatorWidgetTest, ShowsExactlyThePaintersPicture) {
  Indicator indicator;
  indicator.resize(17, 79);
  indicator.SetForeground(QColor(149, 173, 255));
  indicator.SetBackground(QColor(0, 0, 0));
  indicator.SetPosition(50);
  EXPECT_EQ(indicator.Foreground(), QColor(149, 173, 255));
  EXPECT_EQ(indicator.Position(), 50);

  IndicatorPainter reference;
  reference.SetSize({17, 79});
  reference.SetForeground(QColor(149, 173, 255));
  reference.SetPosition(50);
  EXPECT_EQ(Grab(indicator), reference.Render());

  indicator.SetPosition(250);
  EXPECT_EQ(indicator.Position(), 100);
  reference.SetPosition(100);
  EXPECT_EQ(Grab(indicator), reference.Render());

  indicator.SetBackground(QColor(20, 20, 20));
  reference.SetBackground(QColor(20, 20, 20));
  EXPECT_EQ(Grab(indicator), reference.Render());

  // A new size replaces the picture with one of that size.
  indicator.resize(17, 69);
  indicator.SetPosition(-5);
  EXPECT_EQ(indicator.Position(), 0);
  reference.SetSize({17, 69});
  reference.SetPosition(0);
  const QImage shown = Grab(indicator);
  EXPECT_EQ(shown.size(), QSize(17, 69));
  EXPECT_EQ(shown, reference.Render());
  EXPECT_EQ(indicator.Painter().Size(), QSize(17, 69));
}

TEST(IndicatorWidgetTest, RepaintsOnlyWhenSomethingChanged) {
  CountingIndicator indicator;
  indicator.show();
  Settle();
  ASSERT_GT(indicator.paints, 0);

  int before = indicator.paints;
  indicator.SetPosition(0);
  indicator.SetPosition(-5);  // limited to 0: no change
  indicator.SetBackground(Qt::black);
  indicator.SetForeground(QColor(0, 255, 0));
  Settle();
  EXPECT_EQ(indicator.paints, before);

  indicator.SetPosition(50);
  Settle();
  EXPECT_GT(indicator.paints, before);
  before = indicator.paints;
  indicator.SetPosition(50);
  Settle();
  EXPECT_EQ(indicator.paints, before);

  indicator.SetPosition(250);
  Settle();
  EXPECT_GT(indicator.paints, before);
  before = indicator.paints;
  indicator.SetPosition(100);
  Settle();
  EXPECT_EQ(indicator.paints, before);

  indicator.SetForeground(Qt::red);
  Settle();
  EXPECT_GT(indicator.paints, before);
  before = indicator.paints;
  indicator.SetBackground(Qt::blue);
  Settle();
  EXPECT_GT(indicator.paints, before);
  EXPECT_EQ(Grab(indicator).pixel(0, 0), QColor(Qt::blue).rgb());
  EXPECT_EQ(Grab(indicator).pixel(5, 2), QColor(Qt::red).rgb());
}

}  // namespace
}  // namespace velmar
