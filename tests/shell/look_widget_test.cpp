// The meter's windows as people run them today: Qt's light and dark Fusion
// palettes, the default font and one half as large again. ctest runs these
// tests again at device pixel ratios 1.25, 1.5 and 2 (QT_SCALE_FACTOR), so
// every check below is made on pictures at those ratios too. Each caption is
// measured on the picture Qt draws of the window: its contrast, whether a
// disabled one looks disabled, whether it is cut.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPushButton>
#include <QSet>
#include <QStyle>
#include <QTabWidget>
#include <QTemporaryDir>
#include <map>
#include <set>

#include "alarms/widgets/alarm_window.h"
#include "config/settings_loader.h"
#include "measure/widgets/indicator.h"
#include "platform/widgets/picture_view.h"
#include "report/widgets/report_profile_wizard.h"
#include "shell/meter_window_fixture.h"
#include "shell/paint/meter_art.h"
#include "shell/setup_test_host.h"
#include "shell/widgets/detailed_setup.h"
#include "shell/widgets/setup_wizard.h"
#include "shell/widgets/tip_window.h"
#include "support/look_check.h"
#include "support/main_window_probe.h"
#include "wizard/paint/wizard_art.h"

namespace velmar {
namespace {

// The dark palette people give Qt's Fusion style (Qt 6.4 has no dark
// scheme of its own): grey windows, near-black fields, white text.
QPalette DarkFusionPalette() {
  QPalette p;
  p.setColor(QPalette::Window, QColor(53, 53, 53));
  p.setColor(QPalette::WindowText, Qt::white);
  p.setColor(QPalette::Base, QColor(25, 25, 25));
  p.setColor(QPalette::AlternateBase, QColor(53, 53, 53));
  p.setColor(QPalette::ToolTipBase, QColor(53, 53, 53));
  p.setColor(QPalette::ToolTipText, Qt::white);
  p.setColor(QPalette::Text, Qt::white);
  p.setColor(QPalette::Button, QColor(53, 53, 53));
  p.setColor(QPalette::ButtonText, Qt::white);
  p.setColor(QPalette::BrightText, Qt::red);
  p.setColor(QPalette::Link, QColor(42, 130, 218));
  p.setColor(QPalette::Highlight, QColor(42, 130, 218));
  p.setColor(QPalette::HighlightedText, Qt::black);
  for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    p.setColor(QPalette::Disabled, role, QColor(127, 127, 127));
  }
  return p;
}

struct Look {
  const char* name;
  bool dark;
  double font;
};

using test::MeterWindowTest;

// Names the test runs by the look.
void PrintTo(const Look& look, std::ostream* os) {
  *os << look.name;
}

class LookTest : public MeterWindowTest, public ::testing::WithParamInterface<Look> {
 protected:
  void SetUp() override {
    savedPalette_ = QApplication::palette();
    savedFont_ = QApplication::font();
    QApplication::setPalette(GetParam().dark ? DarkFusionPalette()
                                             : QApplication::style()->standardPalette());
    QFont font = savedFont_;
    font.setPointSizeF(savedFont_.pointSizeF() * GetParam().font);
    QApplication::setFont(font);
  }
  void TearDown() override {
    QApplication::setPalette(savedPalette_);
    QApplication::setFont(savedFont_);
  }

  // Checks what `window` shows now and, for the documentation, keeps its
  // picture when VELMAR_SCREENSHOT_DIR names a folder.
  void Check(QWidget& window, const QString& what) {
    window.show();
    QApplication::processEvents();
    EXPECT_EQ(test::LookProblems(window).join(QLatin1Char('\n')).toStdString(), "")
        << what.toStdString();
    const QString shots = qEnvironmentVariable("VELMAR_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
      QDir().mkpath(shots);
      const QString ratio = QString::number(window.devicePixelRatioF());
      window.grab().save(QStringLiteral("%1/look-%2-%3-ratio%4.png")
                             .arg(shots, QString::fromLatin1(GetParam().name), what, ratio));
    }
  }

 private:
  QPalette savedPalette_;
  QFont savedFont_;
};

TEST_P(LookTest, MainWindowOnEveryTab) {
  auto form = MakeMainWindow();
  form->show();
  if (GetParam().font == 1) {
    EXPECT_EQ(form->size(), QSize(281, 496)) << "the default font keeps the window's size";
  } else {
    EXPECT_GE(form->width(), 281 * GetParam().font - 1);
    EXPECT_GE(form->height(), 495 * GetParam().font - 1);
  }
  // Speeds in Mb/s, a known adapter and a status message longer than the
  // bar, which must keep both its ends.
  DisplayUnit unit;
  unit.Update(30000000, 0);
  Probe(*form).View().displays.ShowSpeedUnit(unit);
  Probe(*form).View().displays.SetValue(Display::DownDigits, 25672);
  Probe(*form).View().displays.SetValue(Display::DownDigits2, 10);
  Probe(*form).View().displays.SetValue(Display::DownIndicator, 63);
  Probe(*form).View().settings.SetAdapterLabel(QStringLiteral("Network Adapter: eth0"));
  Probe(*form).View().analysis.SetStatusText(QStringLiteral(
      "12:00:01 - Download failed: [10061] Connection refused by the server, next try in 4 s"));
  Probe(*form).View().analysis.SetTotalDisplay(int64_t{73400320});
  auto* tabs = form->findChild<QTabWidget*>(QStringLiteral("tabs"));
  ASSERT_NE(tabs, nullptr);
  const QStringList names{"main", "settings", "reporting", "exit"};
  for (int i = 0; i < tabs->count(); ++i) {
    tabs->setCurrentIndex(i);
    Check(*form, QStringLiteral("window-") + names[i]);
  }
  // The sizer's reduced layouts keep the panel and the status bar whole.
  emit form->findChild<MeterPanel*>()->onlyBottom();
  Check(*form, QStringLiteral("window-only-bottom"));
  emit form->findChild<MeterPanel*>()->restoreLayout();
  auto* status = form->findChild<ElidedLabel*>(QStringLiteral("statusPanel"));
  ASSERT_NE(status, nullptr);
  EXPECT_TRUE(status->ShownText().endsWith(QStringLiteral("next try in 4 s")))
      << status->ShownText().toStdString();
  EXPECT_TRUE(status->ShownText().startsWith(QStringLiteral("12:00:01"))) << "both ends kept";
}

TEST_P(LookTest, AlarmWindowWithAnInvalidThresholdAndDisabledFields) {
  SettingsList settings;
  settings.SetLines(SettingsList::DefaultLines());
  settings.SetLine(27, "1");
  settings.SetLine(17, "abc");  // not a whole number: shown in red
  settings.SetLine(36, "0");    // a beep: the parameter field means nothing
  AlarmWindow window(settings);
  Check(window, QStringLiteral("alarms-beep"));
  EXPECT_FALSE(window.Event()->isEnabled());
  EXPECT_FALSE(window.EventLabel()->isEnabled());
  window.Action()->setCurrentIndex(1);
  EXPECT_EQ(window.EventLabel()->text(), "E-&mail address:");
  EXPECT_TRUE(window.Event()->isEnabled());
  Check(window, QStringLiteral("alarms-mail"));
  // The longest caption, whole in every font.
  window.Action()->setCurrentIndex(4);
  EXPECT_EQ(window.EventLabel()->text(), "&Nothing to give for a notification");
  Check(window, QStringLiteral("alarms-notify"));
  EXPECT_LT(window.EventLabel()->geometry().right(), window.Event()->x());
}

TEST_P(LookTest, SetupDialogsOnEveryPage) {
  test::SetupTestHost host;
  host.Start({{8, "proxy.example.lan"}, {9, "3128"}, {14, "0"}});
  {
    DetailedSetup setup(host);
    Check(setup, QStringLiteral("setup-proxy-off"));
    setup.findChild<QCheckBox*>(QStringLiteral("UseProxyBox"))->setChecked(true);
    Check(setup, QStringLiteral("setup-proxy-on"));
  }
  SetupWizard wizard(host);
  for (int page = 0; page < wizard.Pages()->count(); ++page) {
    wizard.Pages()->setCurrentIndex(page);
    Check(wizard, QStringLiteral("wizard-%1").arg(page));
  }
}

TEST_P(LookTest, ReportWizardOnEveryPageAndTheTipWindow) {
  ProfileStore profiles(dir.filePath("Profiles"));
  ReportProfileWizard wizard(profiles);
  for (int page = 0; page < wizard.NoteBook()->count(); ++page) {
    wizard.NoteBook()->setCurrentIndex(page);
    Check(wizard, QStringLiteral("report-wizard-%1").arg(page));
  }
  TipWindow tip(TipText(Tip::kAverageUnlocked));
  Check(tip, QStringLiteral("tip"));
}

TEST_P(LookTest, CaptionsInThePicturesReadOnTheirOlive) {
  // The wizard pictures carry their own captions on the olive backdrop,
  // the same in any theme.
  for (int page = 0; page < 8; ++page) {
    const QSize size = FontScale(GetParam().font).Size(WizardArt::kPictureSize);
    const QImage picture = MeterArt::WizardPicture(page, size, 2);
    const QRectF area = WizardArt::CaptionArea(size);
    const test::InkMeasure m = test::MeasureInk(
        picture, test::ToPixels(area.toRect().adjusted(8, 0, -8, 0), picture.devicePixelRatio()));
    EXPECT_GE(m.contrast, 4.5) << "page " << page;
  }
}

// The colours a region of a picture holds.
QSet<QRgb> ColoursIn(const QImage& picture, QRect area) {
  QSet<QRgb> colours;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      colours.insert(picture.pixel(x, y) | 0xff000000u);
    }
  }
  return colours;
}

// Lengths of the runs of alike pixels (lit or not) down column `x`.
std::vector<std::pair<bool, int>> RunsDown(const QImage& picture, int x, int top, int bottom) {
  std::vector<std::pair<bool, int>> runs;
  for (int y = top; y <= bottom; ++y) {
    const bool lit = qGray(picture.pixel(x, y)) > 40;
    if (runs.empty() || runs.back().first != lit) {
      runs.emplace_back(lit, 0);
    }
    ++runs.back().second;
  }
  return runs;
}

using HiDpiTest = MeterWindowTest;

// At the screen's ratio (1 in the normal run; 1.25, 1.5 and 2 in the look
// runs) the digits come out in their three colours only, no pixel blended by
// scaling; the bars all have one height and one gap; the meter picture and
// the lock are drawn at the ratio, not enlarged.
TEST_F(HiDpiTest, DisplaysBarsAndArtAreDrawnAtTheScreensRatio) {
  auto form = MakeMainWindow();
  form->show();
  Probe(*form).View().displays.SetValue(Display::DownDigits, 88888);
  Probe(*form).View().displays.SetValue(Display::DownDigits2, 10);
  Probe(*form).View().displays.SetValue(Display::DownIndicator, 50);
  QApplication::processEvents();
  const QImage picture = form->grab().toImage();
  const qreal ratio = picture.devicePixelRatio();
  EXPECT_EQ(ratio, form->devicePixelRatioF());

  for (const char* name : {"DownDigits", "DownDigits2"}) {
    auto* lcd = form->findChild<LcdDisplay*>(QString::fromLatin1(name));
    const QRect area = test::ToPixels(QRect(lcd->mapTo(form.get(), QPoint()), lcd->size()), ratio)
                           .adjusted(1, 1, -1, -1);
    const QSet<QRgb> expected{lcd->BackgroundColor().rgb(), lcd->LightOnColor().rgb(),
                              lcd->LightOffColor().rgb()};
    EXPECT_TRUE(ColoursIn(picture, area).subtract(expected).isEmpty())
        << name << " has blended pixels at ratio " << ratio;
  }
  // A row through the upper verticals of 88888: ten strokes, one width.
  auto* whole = form->findChild<LcdDisplay*>(QStringLiteral("DownDigits"));
  const QRect digits =
      test::ToPixels(QRect(whole->mapTo(form.get(), QPoint()), whole->size()), ratio);
  const int row = digits.top() + digits.height() / 3;
  std::map<int, int> strokes;  // width -> count
  int run = 0;
  for (int x = digits.left(); x <= digits.right() + 1; ++x) {
    if (x <= digits.right() &&
        (picture.pixel(x, row) & 0xffffffu) == (whole->LightOnColor().rgb() & 0xffffffu)) {
      ++run;
    } else if (run > 0) {
      ++strokes[run];
      run = 0;
    }
  }
  // The stroke of the screen's pixels (the line less the outline either
  // side), not the design's stroke enlarged.
  const LcdDisplayPainter& painter = whole->Painter();
  const int stroke = painter.DeviceLineWidth() - (painter.DeviceGap() + 1);
  EXPECT_EQ(strokes, (std::map<int, int>{{stroke, 10}})) << "stroke widths at ratio " << ratio;

  auto* tabs = form->findChild<QTabWidget*>(QStringLiteral("tabs"));
  tabs->setCurrentIndex(0);
  QApplication::processEvents();
  const QImage gaugeTab = form->grab().toImage();
  auto* bar = form->findChild<Indicator*>(QStringLiteral("DownIndicator"));
  const QRect bars = test::ToPixels(QRect(bar->mapTo(form.get(), QPoint()), bar->size()), ratio);
  const auto runs =
      RunsDown(gaugeTab, bars.left() + bars.width() / 4, bars.top() + 1, bars.bottom() - 1);
  std::set<int> barRows, gapRows;
  for (size_t i = 1; i + 1 < runs.size(); ++i) {  // the margins left out
    (runs[i].first ? barRows : gapRows).insert(runs[i].second);
  }
  EXPECT_EQ(barRows.size(), 1u) << "bar heights at ratio " << ratio;
  EXPECT_EQ(gapRows.size(), 1u) << "gaps at ratio " << ratio;
  EXPECT_GE(runs.size(), 2 * 30u) << "dozens of bars";

  auto* gauge = form->findChild<PictureView*>(QStringLiteral("gauge"));
  EXPECT_EQ(gauge->Picture().devicePixelRatio(), ratio);
  EXPECT_EQ(gauge->Picture().size(), test::ToPixels(gauge->rect(), ratio).size());

  auto* lock = form->findChild<QPushButton*>(QStringLiteral("AvgLockButton"));
  const int side = lock->iconSize().width();
  const QImage icon = lock->icon().pixmap(lock->iconSize(), ratio).toImage();
  const int pixels = static_cast<int>(std::lround(side * ratio));
  EXPECT_EQ(icon.size(), QSize(pixels, pixels));
  EXPECT_EQ(icon.convertToFormat(QImage::Format_ARGB32_Premultiplied),
            MeterArt::Lock(true, pixels, lock->palette().color(QPalette::Button)))
      << "drawn for its pixels, not scaled";
}

// The lock's shackle keeps a 3:1 contrast against the button it sits on,
// light or dark (a grey shackle vanished on a dark button).
TEST(LockPictureTest, TheShackleShowsOnALightAndADarkButton) {
  for (const QColor& face : {QColor(239, 239, 239), QColor(53, 53, 53), QColor(30, 30, 30)}) {
    QImage button(48, 48, QImage::Format_ARGB32_Premultiplied);
    button.fill(face);
    QPainter(&button).drawImage(0, 0, MeterArt::Lock(true, 48, face));
    // The shackle's arc, above the body.
    const test::InkMeasure m = test::MeasureInk(button, QRect(10, 2, 28, 18));
    EXPECT_EQ(m.background, face);
    EXPECT_GE(m.contrast, 3.0) << face.name().toStdString();
  }
  EXPECT_EQ(MeterArt::Lock(false, 24), MeterArt::Lock(false, 24, QColor(239, 239, 239)))
      << "the light theme's lock as it was";
}

INSTANTIATE_TEST_SUITE_P(Themes, LookTest,
                         ::testing::Values(Look{"light", false, 1}, Look{"dark", true, 1},
                                           Look{"light-large-font", false, 1.5},
                                           Look{"dark-large-font", true, 1.5}),
                         [](const auto& info) {
                           QString name = QString::fromLatin1(info.param.name);
                           return name.remove(QLatin1Char('-')).toStdString();
                         });

}  // namespace
}  // namespace velmar
