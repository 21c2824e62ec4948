#include "alarms/widgets/alarm_window.h"

#include <gtest/gtest.h>

#include <QTest>

#include "config/settings_list.h"

namespace velmar {
namespace {

TEST(AlarmWindowTest, EveryChangeGoesToItsLineAtOnce) {
  SettingsList settings;
  settings.SetLines(SettingsList::DefaultLines());
  settings.SetLine(27, "1");
  settings.SetLine(17, "abc");
  settings.SetLine(36, "3");
  settings.SetLine(35, "http://alarm.example.test/");
  AlarmWindow window(settings);
  EXPECT_EQ(window.windowTitle(), "Velmar 2000 Alarms");
  EXPECT_EQ(window.Action()->currentText(), "Request URL ");
  EXPECT_EQ(window.Event()->text(), "http://alarm.example.test/");
  EXPECT_TRUE(window.Box(2)->isChecked());
  EXPECT_EQ(window.Box(2)->text(), "when the Average Downstream speed drops &below: ");
  EXPECT_EQ(window.Box(8)->text(), "when Downstream &inactive for :");
  EXPECT_TRUE(window.Threshold(2)->isEnabled());
  EXPECT_FALSE(window.Threshold(0)->isEnabled()) << "a field is enabled exactly while its box is";
  const QColor red = AlarmWindow::InvalidColour(window.palette());
  EXPECT_EQ(window.Threshold(2)->palette().color(QPalette::Text), red);

  window.Box(0)->setChecked(true);
  EXPECT_EQ(settings.Line(25), "1");
  EXPECT_TRUE(window.Threshold(0)->isEnabled());
  QTest::keyClicks(window.Threshold(0), "750");
  EXPECT_EQ(settings.Line(15), "0750") << "appended to the 0 already there";
  window.Threshold(0)->clear();
  QTest::keyClicks(window.Threshold(0), "7.5");
  EXPECT_EQ(settings.Line(15), "7.5") << "kept as typed";
  EXPECT_EQ(window.Threshold(0)->palette().color(QPalette::Text), red);
  window.Threshold(0)->clear();
  QTest::keyClicks(window.Threshold(0), "750");
  EXPECT_NE(window.Threshold(0)->palette().color(QPalette::Text), red);

  window.Action()->setCurrentIndex(4);
  EXPECT_EQ(window.Action()->currentText(), "Desktop notification");
  EXPECT_EQ(settings.Line(36), "4");
  window.Action()->setCurrentIndex(1);
  EXPECT_EQ(settings.Line(36), "1");
  window.Event()->clear();
  QTest::keyClicks(window.Event(), "ops@example.test");
  EXPECT_EQ(settings.Line(35), "ops@example.test");

  // All On/Off: any box off turns all on; all on turns all off.
  window.AllOnOff();
  for (int i = 0; i < 10; ++i)
    EXPECT_TRUE(window.Box(i)->isChecked()) << i;
  for (int line = 25; line <= 34; ++line)
    EXPECT_EQ(settings.Line(line), "1") << line;
  window.AllOnOff();
  for (int line = 25; line <= 34; ++line)
    EXPECT_EQ(settings.Line(line), "0") << line;
  EXPECT_FALSE(window.Threshold(5)->isEnabled());

  EXPECT_TRUE(AlarmWindow::IsWholeNumber("-3"));
  EXPECT_FALSE(AlarmWindow::IsWholeNumber(" 3"));
  EXPECT_FALSE(AlarmWindow::IsWholeNumber(""));
}

}  // namespace
}  // namespace velmar
