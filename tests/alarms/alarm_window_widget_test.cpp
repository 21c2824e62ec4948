#include "alarm_window.h"

#include <gtest/gtest.h>

#include <QTest>

#include "settings_list.h"

namespace velmar {
namespace {

TEST(AlarmWindowTest, EveryChangeGoesToItsLineAtOnce) {
  SettingsList settings;
  settings.SetLines(SettingsList::DefaultLines());
  settings.SetLine(27, "1");
  settings.SetLine(17, "abc");
  settings.SetLine(36, "3");
  settings.SetLine(35, "http://alarm.example.test/");
  AlarmWindow form(settings);
  EXPECT_EQ(form.windowTitle(), "Velmar2000 Alarms");
  EXPECT_EQ(form.Action()->currentText(), "Request URL ");
  EXPECT_EQ(form.Event()->text(), "http://alarm.example.test/");
  EXPECT_TRUE(form.Box(2)->isChecked());
  EXPECT_EQ(form.Box(2)->text(), "when the Average Downstream speed drops below: ");
  EXPECT_EQ(form.Box(8)->text(), "when Downstream inactive for :");
  EXPECT_TRUE(form.Threshold(2)->isEnabled());
  EXPECT_FALSE(form.Threshold(0)->isEnabled()) << "a field is enabled exactly while its box is";
  EXPECT_EQ(form.Threshold(2)->palette().color(QPalette::Text), QColor(Qt::red));

  form.Box(0)->setChecked(true);
  EXPECT_EQ(settings.Line(25), "1");
  EXPECT_TRUE(form.Threshold(0)->isEnabled());
  QTest::keyClicks(form.Threshold(0), "750");
  EXPECT_EQ(settings.Line(15), "0750") << "appended to the 0 already there";
  form.Threshold(0)->clear();
  QTest::keyClicks(form.Threshold(0), "7.5");
  EXPECT_EQ(settings.Line(15), "7.5") << "kept as typed";
  EXPECT_EQ(form.Threshold(0)->palette().color(QPalette::Text), QColor(Qt::red));
  form.Threshold(0)->clear();
  QTest::keyClicks(form.Threshold(0), "750");
  EXPECT_NE(form.Threshold(0)->palette().color(QPalette::Text), QColor(Qt::red));

  form.Action()->setCurrentIndex(1);
  EXPECT_EQ(settings.Line(36), "1");
  form.Event()->clear();
  QTest::keyClicks(form.Event(), "ops@example.test");
  EXPECT_EQ(settings.Line(35), "ops@example.test");

  // All On/Off: any box off turns all on; all on turns all off.
  form.AllOnOff();
  for (int i = 0; i < 10; ++i)
    EXPECT_TRUE(form.Box(i)->isChecked()) << i;
  for (int line = 25; line <= 34; ++line)
    EXPECT_EQ(settings.Line(line), "1") << line;
  form.AllOnOff();
  for (int line = 25; line <= 34; ++line)
    EXPECT_EQ(settings.Line(line), "0") << line;
  EXPECT_FALSE(form.Threshold(5)->isEnabled());

  EXPECT_TRUE(AlarmWindow::IsWholeNumber("-3"));
  EXPECT_FALSE(AlarmWindow::IsWholeNumber(" 3"));
  EXPECT_FALSE(AlarmWindow::IsWholeNumber(""));
}

}  // namespace
}  // namespace velmar
