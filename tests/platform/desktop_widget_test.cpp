// The pieces the windows share for today's desktops: fitting a window built
// in design pixels to a larger font, pictures at the screen's ratio, labels
// that keep both ends of a long text, and readouts told to screen readers.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "platform/widgets/elided_label.h"
#include "platform/widgets/field_caption.h"
#include "platform/widgets/fit_to_font.h"
#include "platform/widgets/picture_view.h"
#include "platform/widgets/readout.h"

namespace velmar {
namespace {

QFont FontOf(double points) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSizeF(points);
  return font;
}

TEST(FontScaleTest, TheDesignFontIsOneAndLargerFontsScaleEveryEdge) {
  EXPECT_EQ(FontScale::Of(FontOf(9)).Factor(), 1.0);
  EXPECT_TRUE(FontScale::Of(FontOf(7)).IsDesign()) << "a smaller font keeps the design";
  EXPECT_NEAR(FontScale::Of(FontOf(13.5)).Factor(), 1.5, 0.02);
  EXPECT_NEAR(FontScale::Of(FontOf(18)).Factor(), 2.0, 0.03);

  const FontScale s(1.5);
  EXPECT_EQ(s(7), 11) << "rounded half away from zero";
  // Neighbours that touched in the design still touch: edges are rounded,
  // not sizes.
  const QRect left = s.Rect(3, 1, 5, 5);
  const QRect right = s.Rect(8, 1, 5, 5);
  EXPECT_EQ(left.right() + 1, right.left());
  EXPECT_EQ(s.Rect(QRect(0, 0, 281, 495)), QRect(0, 0, 422, 743));
  EXPECT_EQ(FontScale(0.5).Factor(), 1.0);
}

// A control that follows the window's scale in its own drawing.
class ScaledChild : public QWidget, public FontScaled {
 public:
  using QWidget::QWidget;
  void SetFontScale(const FontScale& scale) override { factor = scale.Factor(); }
  double factor = 1;
};

// A window built in design pixels: a fixed size, a placed button with an
// icon, a control that draws to the scale, and a row placed by a layout.
struct DesignWindow {
  DesignWindow() {
    window.setFixedSize(200, 100);
    button = new QPushButton(QStringLiteral("Go"), &window);
    button->setGeometry(10, 20, 60, 24);
    button->setIconSize(QSize(16, 16));
    scaled = new ScaledChild(&window);
    scaled->setGeometry(100, 20, 30, 40);
    scaled->setMinimumSize(30, 40);
    row = new QWidget(&window);
    row->setGeometry(0, 70, 200, 30);
    auto* layout = new QHBoxLayout(row);
    laidOut = new QLabel(QStringLiteral("in a layout"));
    layout->addWidget(laidOut);
  }
  QWidget window;
  QPushButton* button;
  ScaledChild* scaled;
  QWidget* row;
  QLabel* laidOut;
};

TEST(FitToFontTest, PlacesAndSizesGrowWithTheFontAndLayoutsAreLeftAlone) {
  DesignWindow design;
  design.window.setFont(FontOf(9));
  EXPECT_TRUE(FitToFont(design.window).IsDesign());
  EXPECT_EQ(design.window.size(), QSize(200, 100)) << "nothing moves at the design font";
  EXPECT_EQ(design.button->geometry(), QRect(10, 20, 60, 24));

  DesignWindow large;
  large.window.setFont(FontOf(13.5));
  const FontScale s = FitToFont(large.window);
  ASSERT_NEAR(s.Factor(), 1.5, 0.02);
  EXPECT_EQ(large.window.minimumSize(), s.Size(QSize(200, 100))) << "a fixed size stays fixed";
  EXPECT_EQ(large.window.maximumSize(), s.Size(QSize(200, 100)));
  EXPECT_EQ(large.button->geometry(), s.Rect(10, 20, 60, 24));
  EXPECT_EQ(large.button->iconSize(), s.Size(QSize(16, 16)));
  EXPECT_EQ(large.scaled->geometry(), s.Rect(100, 20, 30, 40));
  EXPECT_EQ(large.scaled->minimumSize(), s.Size(QSize(30, 40)));
  EXPECT_EQ(large.scaled->factor, s.Factor());
  large.window.show();
  EXPECT_GT(large.laidOut->height(), 0);
  EXPECT_EQ(large.laidOut->geometry(), large.row->layout()->itemAt(0)->geometry())
      << "where its layout put it";
}

TEST(ElidedLabelTest, ALongTextKeepsBothEndsAndItsWholeText) {
  ElidedLabel label;
  label.resize(160, 20);
  const QString text =
      QStringLiteral("12:00:01 - Download failed: [10061] Connection refused, next try in 4 s");
  label.setText(text);
  const QString shown = label.ShownText();
  EXPECT_NE(shown, text);
  EXPECT_TRUE(shown.startsWith(QStringLiteral("12:00"))) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith(QStringLiteral("in 4 s"))) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QChar(0x2026)));
  EXPECT_LE(label.fontMetrics().horizontalAdvance(shown), label.contentsRect().width());
  EXPECT_EQ(label.text(), text);
  EXPECT_EQ(label.minimumSizeHint().width(), 0) << "a long text never widens its bar";
  label.resize(1000, 20);
  EXPECT_EQ(label.ShownText(), text) << "whole where it fits";
}

TEST(CaptionFieldTest, ACaptionNamesItsFieldAndLooksAsUsableAsItIs) {
  QWidget window;
  auto* caption = new QLabel(QStringLiteral("&Port:"), &window);
  auto* field = new QLineEdit(&window);
  field->setEnabled(false);
  CaptionField(*caption, *field);
  EXPECT_EQ(caption->buddy(), field);
  EXPECT_FALSE(caption->isEnabled()) << "a disabled field's caption from the start";
  field->setEnabled(true);
  EXPECT_TRUE(caption->isEnabled());
  window.setEnabled(false);
  EXPECT_FALSE(caption->isEnabled());
  window.setEnabled(true);
  field->setEnabled(false);
  EXPECT_FALSE(caption->isEnabled());
  EXPECT_EQ(QAccessible::queryAccessibleInterface(field)->text(QAccessible::Name), "Port:");
  delete caption;
  field->setEnabled(true);  // a caption gone is no caption to follow
}

TEST(PictureViewTest, DrawsForItsSizeAndRatioAndOnlyWhenTheyChange) {
  int draws = 0;
  PictureView view([&draws](QSize size, qreal ratio) {
    ++draws;
    QImage image = ImageAtRatio(size, ratio);
    image.fill(Qt::red);
    return image;
  });
  view.resize(40, 30);
  const QImage& first = view.Picture();
  EXPECT_EQ(first.devicePixelRatio(), view.devicePixelRatioF());
  EXPECT_EQ(first.deviceIndependentSize().toSize(), QSize(40, 30));
  view.Picture();
  EXPECT_EQ(draws, 1);
  view.resize(60, 30);
  EXPECT_EQ(view.Picture().deviceIndependentSize().toSize(), QSize(60, 30));
  EXPECT_EQ(draws, 2);
  EXPECT_EQ(ImageAtRatio(QSize(10, 3), 1.5).size(), QSize(15, 5)) << "whole pixels, rounded up";
  EXPECT_TRUE(ImageAtRatio(QSize(0, 3), 2).isNull());
}

// A readout with a value set by the test.
class Gauge : public QWidget, public Readout {
 public:
  Gauge() { InstallReadoutAccessibility(); }
  QString ReadoutText() const override { return QStringLiteral("%1 km/h").arg(value); }
  double ReadoutValue() const override { return value; }
  double ReadoutMaximum() const override { return 300; }
  void Set(int v) {
    value = v;
    announcer.Changed();
  }
  int value = 0;
  ValueAnnouncer announcer{*this, *this};
};

TEST(ReadoutTest, ScreenReadersGetANameAValueAndNoInnerParts) {
  Gauge gauge;
  gauge.setAccessibleName(QStringLiteral("Speed"));
  gauge.setToolTip(QStringLiteral("How fast"));
  auto* inner = new QLabel(QStringLiteral("digits"), &gauge);
  (void)inner;
  gauge.value = 88;
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&gauge);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->role(), QAccessible::StaticText);
  EXPECT_EQ(a->text(QAccessible::Name), "Speed");
  EXPECT_EQ(a->text(QAccessible::Value), "88 km/h");
  EXPECT_EQ(a->text(QAccessible::Description), "How fast");
  EXPECT_EQ(a->childCount(), 0) << "its digits are drawn, not objects";
  ASSERT_NE(a->valueInterface(), nullptr);
  EXPECT_EQ(a->valueInterface()->currentValue().toDouble(), 88);
  EXPECT_EQ(a->valueInterface()->maximumValue().toDouble(), 300);
  ASSERT_NE(a->textInterface(), nullptr);
  EXPECT_EQ(a->textInterface()->text(0, a->textInterface()->characterCount()), "88 km/h");
}

TEST(ReadoutTest, ChangesAreToldAtMostOnceASecondAndTheLatestAlways) {
  struct Told {
    QAccessible::Event type;
    QVariant value;
  };
  std::vector<Told> told;
  ValueAnnouncer::RouteTo([&told](QAccessibleEvent& e) {
    told.push_back({e.type(), e.type() == QAccessible::ValueChanged
                                  ? static_cast<QAccessibleValueChangeEvent&>(e).value()
                                  : QVariant()});
  });
  Gauge gauge;
  for (int v = 1; v <= 10; ++v) {  // ten changes within a few milliseconds
    gauge.Set(v);
  }
  ASSERT_EQ(told.size(), 2u) << "the first at once: a value and a text event";
  EXPECT_EQ(told[0].type, QAccessible::ValueChanged);
  EXPECT_EQ(told[0].value.toDouble(), 1);
  EXPECT_EQ(told[1].type, QAccessible::TextUpdated);
  QTest::qWait(ValueAnnouncer::kIntervalMs / 2);
  EXPECT_EQ(told.size(), 2u) << "nothing more within the second";
  QTest::qWait(ValueAnnouncer::kIntervalMs / 2 + 300);
  ASSERT_EQ(told.size(), 4u) << "then the latest, once";
  EXPECT_EQ(told[2].value.toDouble(), 10);
  gauge.Set(10);
  QTest::qWait(ValueAnnouncer::kIntervalMs + 300);
  EXPECT_EQ(told.size(), 4u) << "an unchanged text is not told again";
  ValueAnnouncer::RouteTo(nullptr);
}

}  // namespace
}  // namespace velmar
