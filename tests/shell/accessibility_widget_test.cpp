// What a screen reader and a keyboard user get from the meter's windows,
// through Qt's accessibility interfaces: names and values of the displays,
// a name for every control, mnemonics, and Tab reaching every button.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <map>

#include "alarms/widgets/alarm_window.h"
#include "config/settings_loader.h"
#include "graph/widgets/graph_window.h"
#include "measure/widgets/indicator.h"
#include "measure/widgets/speed_readout.h"
#include "report/widgets/report_profile_wizard.h"
#include "shell/meter_window_fixture.h"
#include "shell/setup_test_host.h"
#include "shell/widgets/detailed_setup.h"
#include "shell/widgets/setup_wizard.h"
#include "support/main_window_probe.h"

namespace velmar {
namespace {

QAccessibleInterface* Accessible(QObject* object) {
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(object);
  EXPECT_NE(a, nullptr) << object->objectName().toStdString();
  return a;
}

// The controls of `window` a user can reach and work that a screen reader
// could not name: no name, or only dots ("...").
QStringList Unnamed(QWidget& window) {
  QStringList unnamed;
  static const QRegularExpression dots(QStringLiteral("^[.\\s]*$"));
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if (!(w->focusPolicy() & Qt::TabFocus) || w->isWindow() || w->focusProxy() != nullptr) {
      continue;
    }
    // Parts of a control that are no controls of their own.
    if (qobject_cast<QTabBar*>(w->parentWidget()) != nullptr || w->inherits("QAbstractSpinBox") ||
        w->parentWidget()->inherits("QAbstractSpinBox") ||
        w->parentWidget()->inherits("QComboBox") || w->inherits("QScrollBar") ||
        w->inherits("QAbstractItemView") || w->inherits("QTabBar")) {
      continue;
    }
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    const QString name = a != nullptr ? a->text(QAccessible::Name) : QString();
    if (dots.match(name).hasMatch()) {
      unnamed << QStringLiteral("%1 (%2)").arg(w->objectName(), w->metaObject()->className());
    }
  }
  return unnamed;
}

QString Join(const QStringList& list) {
  return list.join(QLatin1Char(','));
}

// The mnemonic letter of a caption, or 0.
QChar Mnemonic(const QString& text) {
  const int at = static_cast<int>(text.indexOf(QLatin1Char('&')));
  return at >= 0 && at + 1 < text.size() ? text.at(at + 1).toLower() : QChar();
}

// The letters that work at once in `window` as it shows now, and what is
// wrong: a captioned button without one, or a letter used twice.
QStringList MnemonicProblems(QWidget& window) {
  QStringList problems;
  std::map<QChar, QString> used;
  const auto take = [&](const QString& text, const QString& who) {
    const QChar letter = Mnemonic(text);
    if (letter.isNull()) {
      problems << who + QStringLiteral(" has no mnemonic");
    } else if (used.count(letter) != 0) {
      problems << QStringLiteral("%1 and %2 share '%3'").arg(used[letter], who, letter);
    } else {
      used[letter] = who;
    }
  };
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if (!w->isVisible()) {
      continue;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      const QString text = button->text();
      if (!text.isEmpty() && text != QLatin1String("...") && !w->inherits("QToolButton")) {
        take(text, text);
      }
    } else if (auto* label = qobject_cast<QLabel*>(w); label != nullptr && label->buddy()) {
      take(label->text(), label->text());
    } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
      for (int i = 0; i < tabs->count(); ++i) {
        take(tabs->tabText(i), tabs->tabText(i));
      }
    }
  }
  return problems;
}

class AccessibilityTest : public test::MeterWindowTest {
 protected:
  void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
  void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

// (The AT-SPI test reads these from the running meter; here the parts it
// cannot reach: every name, the unit in values and hints as it changes.)
TEST_F(AccessibilityTest, DisplaysAndBarsHaveANameAndAValueInTheUnitShown) {
  auto form = MakeMainWindow();
  form->show();
  DisplayUnit unit;
  unit.Update(30000000, 0);  // 30 Gbit/s in kbit/s: the displays in Mb/s
  Probe(*form).View().displays.ShowSpeedUnit(unit);
  Probe(*form).View().displays.SetValue(Display::DownDigits, 25672);
  Probe(*form).View().displays.SetValue(Display::DownDigits2, 10);
  Probe(*form).View().displays.SetValue(Display::DownIndicator, 63);
  const auto text = [&](const char* name, QAccessible::Text t) {
    return Accessible(form->findChild<QWidget*>(QString::fromLatin1(name)))->text(t);
  };
  EXPECT_EQ(text("DownDigitsReadout", QAccessible::Value), "25,672.10 Mb/s");
  const QString hint = text("DownDigitsReadout", QAccessible::Description);
  EXPECT_TRUE(hint.contains("MegaBits per second")) << hint.toStdString();
  EXPECT_FALSE(hint.contains("KiloBits")) << hint.toStdString();
  const std::pair<const char*, const char*> names[] = {
      {"DownDigitsReadout", "Downstream speed"},
      {"UpDigitsReadout", "Upstream speed"},
      {"DownAvgDigitsReadout", "Average downstream speed"},
      {"UpAvgDigitsReadout", "Average upstream speed"},
      {"DownIndicator", "Downstream speed bar"},
      {"AvgIndicator", "Average speed bar"},
      {"UpIndicator", "Upstream speed bar"},
      {"TrafficLCD", "Total traffic"}};
  for (const auto& [object, name] : names) {
    EXPECT_EQ(text(object, QAccessible::Name), name);
  }
  EXPECT_EQ(text("DownIndicator", QAccessible::Value), "63%");
  unit.Update(10, 0);  // back in kbit/s
  Probe(*form).View().displays.ShowSpeedUnit(unit);
  EXPECT_EQ(text("DownDigitsReadout", QAccessible::Value), "25,672.10 Kb/s");
  EXPECT_TRUE(text("DownDigitsReadout", QAccessible::Description).contains("KiloBits per second"));
}

TEST_F(AccessibilityTest, EveryControlOfEveryWindowHasAName) {
  auto form = MakeMainWindow();
  form->show();
  EXPECT_EQ(Join(Unnamed(*form)).toStdString(), "");
  auto* lock = form->findChild<QPushButton*>(QStringLiteral("AvgLockButton"));
  EXPECT_EQ(Accessible(lock)->text(QAccessible::Name), "Average lock: on");
  lock->click();
  EXPECT_EQ(Accessible(lock)->text(QAccessible::Name), "Average lock: off");
  // The "..." buttons: named after their row, described by their hint.
  for (const auto& [name, row] : {std::pair{"alarmsButton", "Set alarms"},
                                  std::pair{"generateReportButton", "Generate Report"},
                                  std::pair{"restoreHistoryButton", "Restore saved History"}}) {
    QAccessibleInterface* a = Accessible(form->findChild<QPushButton*>(name));
    EXPECT_EQ(a->text(QAccessible::Name), row);
    EXPECT_FALSE(a->text(QAccessible::Description).isEmpty()) << name;
  }

  SettingsList settings;
  settings.SetLines(SettingsList::DefaultLines());
  AlarmWindow alarms(settings);
  EXPECT_EQ(Join(Unnamed(alarms)).toStdString(), "");
  EXPECT_EQ(Accessible(alarms.Threshold(0))->text(QAccessible::Name),
            "when the Average Downstream speed exceeds (Kbit/s)");
  // A combo box is read by its label, its choice as its value.
  alarms.Action()->setCurrentIndex(4);
  QAccessibleInterface* action = Accessible(alarms.Action());
  EXPECT_EQ(action->role(), QAccessible::ComboBox);
  EXPECT_EQ(action->text(QAccessible::Name), "Trigger the following event");
  EXPECT_EQ(action->text(QAccessible::Value), "Desktop notification");
  ASSERT_EQ(action->childCount(), 1) << "its list";
  EXPECT_EQ(action->child(0)->object(), alarms.Action()->view());

  test::SetupTestHost host;
  host.Start();
  DetailedSetup setup(host);
  EXPECT_EQ(Join(Unnamed(setup)).toStdString(), "");
  SetupWizard wizard(host);
  EXPECT_EQ(Join(Unnamed(wizard)).toStdString(), "");
  ProfileStore profiles(dir.filePath("Profiles"));
  ReportProfileWizard reports(profiles);
  EXPECT_EQ(Join(Unnamed(reports)).toStdString(), "");

  emit form->findChild<MeterPanel*>()->showLiveGraph();
  GraphWindow* graph = GraphWindow::Current();
  ASSERT_NE(graph, nullptr);
  EXPECT_EQ(Join(Unnamed(*graph)).toStdString(), "");
  EXPECT_EQ(Accessible(graph->findChild<QWidget*>("zoomSlider"))->text(QAccessible::Name), "Zoom");
  emit form->findChild<MeterPanel*>()->closeGraph();
}

TEST_F(AccessibilityTest, MnemonicsOnEveryButtonAndTabNeverTwiceInAView) {
  auto form = MakeMainWindow();
  form->show();
  auto* tabs = form->findChild<QTabWidget*>(QStringLiteral("tabs"));
  for (int i = 0; i < tabs->count(); ++i) {
    tabs->setCurrentIndex(i);
    EXPECT_EQ(Join(MnemonicProblems(*form)).toStdString(), "") << "tab " << i;
  }
  // A row's letter takes the keyboard to its "..." button, as the window
  // system delivers the key, through Qt's shortcut map.
  tabs->setCurrentIndex(1);
  QApplication::setActiveWindow(form.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  QTest::keyClick(form->windowHandle(), Qt::Key_E, Qt::AltModifier);
  ASSERT_NE(QApplication::focusWidget(), nullptr);
  EXPECT_EQ(QApplication::focusWidget()->objectName(), "alarmsButton");

  SettingsList settings;
  settings.SetLines(SettingsList::DefaultLines());
  AlarmWindow alarms(settings);
  alarms.show();
  EXPECT_EQ(Join(MnemonicProblems(alarms)).toStdString(), "");
  test::SetupTestHost host;
  host.Start({{14, "1"}});
  DetailedSetup setup(host);
  setup.show();
  EXPECT_EQ(Join(MnemonicProblems(setup)).toStdString(), "");
}

TEST_F(AccessibilityTest, TabReachesEveryButtonSleepAndGenerateToo) {
  // Measuring, so Spy and Generate are enabled.
  SettingsList s;
  s.SetLines(SettingsList::DefaultLines());
  s.SetLine(11, "1");
  QFile file(dir.filePath("Velmarsettings.ini"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(SettingsLoader::Serialise(s));
  file.close();
  auto form = MakeMainWindow();
  form->show();
  QApplication::setActiveWindow(form.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  auto* tabs = form->findChild<QTabWidget*>(QStringLiteral("tabs"));
  for (int page = 0; page < tabs->count(); ++page) {
    tabs->setCurrentIndex(page);
    QApplication::processEvents();
    tabs->tabBar()->setFocus();
    QSet<QWidget*> reached;
    for (int i = 0; i < 60; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      reached.insert(QApplication::focusWidget());
    }
    for (QAbstractButton* b : form->findChildren<QAbstractButton*>()) {
      if (b->isVisible() && b->isEnabled() && (b->focusPolicy() & Qt::TabFocus)) {
        EXPECT_TRUE(reached.contains(b))
            << "page " << page << ": " << b->objectName().toStdString();
      }
    }
    for (const char* name : {"ActiveOff", "SniffOff"}) {
      EXPECT_TRUE(reached.contains(form->findChild<QWidget*>(name))) << name;
    }
  }
  // The pairs still show one choice pressed.
  auto* sleep = form->findChild<QPushButton*>(QStringLiteral("ActiveOff"));
  auto* active = form->findChild<QPushButton*>(QStringLiteral("ActiveOn"));
  EXPECT_TRUE(active->isChecked());
  EXPECT_FALSE(sleep->isChecked());
  active->click();
  EXPECT_TRUE(active->isChecked()) << "a pressed choice stays pressed";
  sleep->click();
  EXPECT_TRUE(sleep->isChecked());
  EXPECT_FALSE(active->isChecked());
  EXPECT_FALSE(Probe(*form).State().AnalysisActive);
}

// A screen reader offers a pair's buttons only "Toggle", which never clicks.
TEST_F(AccessibilityTest, ToggleActionRunsTheClicksCommand) {
  auto form = MakeMainWindow();
  form->show();
  EXPECT_EQ(Accessible(form.get())->role(), QAccessible::Window) << "a frame to AT-SPI";
  auto* sleep = form->findChild<QPushButton*>(QStringLiteral("ActiveOff"));
  auto* active = form->findChild<QPushButton*>(QStringLiteral("ActiveOn"));
  const auto toggle = [](QPushButton* b) {
    QAccessibleActionInterface* action = Accessible(b)->actionInterface();
    ASSERT_NE(action, nullptr);
    ASSERT_TRUE(action->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    action->doAction(QAccessibleActionInterface::toggleAction());
  };
  toggle(active);
  EXPECT_TRUE(Probe(*form).State().AnalysisActive);
  EXPECT_TRUE(active->isChecked());
  EXPECT_FALSE(sleep->isChecked());
  toggle(active);  // a pressed choice stays pressed, as with a click
  EXPECT_TRUE(active->isChecked());
  EXPECT_TRUE(Probe(*form).State().AnalysisActive);
  toggle(sleep);
  EXPECT_FALSE(Probe(*form).State().AnalysisActive);
  EXPECT_TRUE(sleep->isChecked());
  EXPECT_FALSE(active->isChecked());
}

}  // namespace
}  // namespace velmar
