// What the windows share for today's desktops, where the window tests do
// not reach: the font scale's edges, fitting a window (its limits, its
// self-drawn controls, its layouts) and the pace of announcements.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QTest>

#include "platform/widgets/fit_to_font.h"
#include "platform/widgets/readout.h"

namespace velmar {
namespace {

QFont FontOf(double points) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSizeF(points);
  return font;
}

// A control that follows the window's scale in its own drawing.
class ScaledChild : public QWidget, public FontScaled {
 public:
  using QWidget::QWidget;
  void SetFontScale(const FontScale& scale) override { factor = scale.Factor(); }
  double factor = 1;
};

TEST(FitToFontTest, PlacesSizesAndLimitsGrowWithTheFontLayoutsAreLeftAlone) {
  EXPECT_TRUE(FontScale::Of(FontOf(7)).IsDesign()) << "a smaller font keeps the design";
  const FontScale s(1.5);
  // Edges are rounded, not sizes: neighbours that touched still touch.
  EXPECT_EQ(s.Rect(3, 1, 5, 5).right() + 1, s.Rect(8, 1, 5, 5).left());

  for (const double points : {9.0, 13.5}) {
    QWidget window;
    window.setFont(FontOf(points));
    window.setFixedSize(200, 100);
    auto* scaled = new ScaledChild(&window);
    scaled->setGeometry(100, 20, 30, 40);
    scaled->setMinimumSize(30, 40);  // grown first, it must not grow twice
    auto* row = new QWidget(&window);
    row->setGeometry(0, 70, 200, 30);
    auto* laidOut = new QLabel(QStringLiteral("in a layout"));
    (new QHBoxLayout(row))->addWidget(laidOut);
    const FontScale fit = FitToFont(window);
    EXPECT_NEAR(fit.Factor(), points / 9, 0.02);
    EXPECT_EQ(window.maximumSize(), fit.Size(QSize(200, 100))) << "a fixed size stays fixed";
    EXPECT_EQ(scaled->geometry(), fit.Rect(100, 20, 30, 40));
    EXPECT_EQ(scaled->minimumSize(), fit.Size(QSize(30, 40)));
    EXPECT_EQ(scaled->factor, fit.Factor());
    window.show();
    EXPECT_EQ(laidOut->geometry(), row->layout()->itemAt(0)->geometry()) << "its layout's place";
  }
}

// A readout with a value set by the test.
class Gauge : public QWidget, public Readout {
 public:
  QString ReadoutText() const override { return QStringLiteral("%1 km/h").arg(value); }
  double ReadoutValue() const override { return value; }
  double ReadoutMaximum() const override { return 300; }
  void Set(int v) {
    value = v;
    announcer.Changed();
  }
  int value = 0;
  static constexpr int kIntervalMs = 200;
  ValueAnnouncer announcer{*this, *this, kIntervalMs};
};

TEST(ReadoutTest, ChangesAreToldAtMostOnceASecondAndTheLatestAlways) {
  std::vector<std::pair<QAccessible::Event, double>> told;
  ValueAnnouncer::RouteTo([&told](QAccessibleEvent& e) {
    const bool value = e.type() == QAccessible::ValueChanged;
    told.emplace_back(e.type(),
                      value ? static_cast<QAccessibleValueChangeEvent&>(e).value().toDouble() : -1);
  });
  Gauge gauge;
  for (int v = 1; v <= 10; ++v) {  // ten changes within a few milliseconds
    gauge.Set(v);
  }
  QElapsedTimer sinceFirst;
  sinceFirst.start();
  ASSERT_EQ(told.size(), 2u) << "the first at once: a value and a text event";
  EXPECT_EQ(told[0], std::make_pair(QAccessible::ValueChanged, 1.0));
  EXPECT_EQ(told[1].first, QAccessible::TextUpdated);
  EXPECT_TRUE(gauge.announcer.Pending());
  ASSERT_TRUE(QTest::qWaitFor([&] { return told.size() >= 4; }, 5000));
  EXPECT_EQ(told.size(), 4u) << "then the latest, once";
  EXPECT_GE(sinceFirst.elapsed(), Gauge::kIntervalMs - 20) << "nothing more within the interval";
  EXPECT_EQ(told[2], std::make_pair(QAccessible::ValueChanged, 10.0));
  gauge.Set(10);
  ASSERT_TRUE(gauge.announcer.Pending()) << "the same text waits for the interval as well";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !gauge.announcer.Pending(); }, 5000));
  EXPECT_EQ(told.size(), 4u) << "an unchanged text is not told again";
  ValueAnnouncer::RouteTo(nullptr);
}

}  // namespace
}  // namespace velmar
