#include "measure/analysis_control.h"

#include <gtest/gtest.h>

#include "config/settings_list.h"
#include "measure/meter_core.h"
#include "support/scripted_ui.h"

namespace velmar {
namespace {

class FakeView : public AnalysisView {
 public:
  void ShowActivePressed(bool a) override { activeDown = a; }
  bool GenerateDown() const override { return generateDown; }
  void ShowGeneratePressed(bool g) override { generateDown = g; }
  void SetModeButtonsEnabled(bool e) override { modeEnabled = e; }
  void SetActiveMenuChecked(bool c) override { menuChecked = c; }
  void SetStatusText(const QString& t) override { status = t; }
  void SetTrayHint(const QString& h) override { hint = h; }
  void ShowLockPicture(bool l) override { lockShown = l ? "closed" : "open"; }
  void ShowTip(Tip t) override { tips.push_back(static_cast<int>(t)); }
  void ClearActualDisplays() override { ++actualCleared; }
  void ClearAverageDisplays() override { ++averagesCleared; }
  void SetTotalDisplay(int64_t v) override { total = v; }
  bool CalcTimerEnabled() const override { return timers; }
  void SetTimersEnabled(bool e) override { timers = e; }
  QString Url() const override { return url; }
  void CancelDownload() override { ++cancels; }

  bool activeDown = false, generateDown = false, modeEnabled = false, menuChecked = false;
  bool timers = false;
  QString status, hint, lockShown, url = "http://";
  std::vector<int> tips;
  int actualCleared = 0, averagesCleared = 0, cancels = 0;
  int64_t total = -1;
};

class ButtonsDriver : public TickDriver {
 public:
  void SetCalcTimerEnabled(bool) override {}
  void StartDownload() override {}
  void HandleException(const std::exception&) override {}
};

class AnalysisControlTest : public ::testing::Test {
 protected:
  AnalysisControlTest() : control(core, settings, view) {
    settings.SetLines(SettingsList::DefaultLines());
    control.Now = [] { return QTime(14, 3, 22); };
  }
  SettingsList settings;
  StoredDisplays displays;
  ButtonsDriver driver;
  MeterCore core{driver, displays, settings};
  // The core's figures, set before a press and read after it.
  MeasurementState& state = core.SharedState();
  FakeView view;
  test::ScriptedUi ui;
  AnalysisControl control;
};

TEST_F(AnalysisControlTest, StatusTimeFollowsTheLocalesClockWithoutItsZone) {
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  control.StartAnalysis();
  EXPECT_TRUE(view.status.startsWith("2:03:22")) << view.status.toStdString();
  EXPECT_TRUE(view.status.contains("PM")) << view.status.toStdString();
  EXPECT_EQ(view.hint, "Velmar 2000 Started in SPY MODE");
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  control.StopAnalysis();
  EXPECT_EQ(view.status, "14:03:22 - Velmar 2000 Stopped");
  QLocale::setDefault(before);
}

TEST_F(AnalysisControlTest, ActiveStartsOnceAndSleepStops) {
  control.StartAnalysis();
  EXPECT_TRUE(state.AnalysisActive);
  EXPECT_TRUE(view.timers);
  EXPECT_TRUE(view.modeEnabled);
  EXPECT_TRUE(view.menuChecked);
  EXPECT_EQ(view.status, "14:03:22 - Velmar 2000 Started in SPY MODE");
  EXPECT_EQ(view.hint, "Velmar 2000 Started in SPY MODE");
  EXPECT_EQ(state.LastUpRate, 1e9f);

  // The second press resets nothing.
  state.DownWindow[31] = 500;
  state.DownAverage = 42;
  state.DownHighWater = 900;
  state.AlarmToggle = true;
  state.LastTickMs = 1234;
  control.StartAnalysis();
  EXPECT_EQ(state.DownWindow[31], 500);
  EXPECT_EQ(state.DownAverage, 42);
  EXPECT_EQ(state.DownHighWater, 900);
  EXPECT_EQ(state.LastTickMs, 1234u);
  EXPECT_FALSE(state.AlarmToggle) << "only the alarm toggle and the texts";
  EXPECT_EQ(state.ProgramSection, 16);

  control.StopAnalysis();
  EXPECT_FALSE(state.AnalysisActive);
  EXPECT_FALSE(view.timers);
  EXPECT_FALSE(view.modeEnabled);
  EXPECT_FALSE(view.menuChecked);
  EXPECT_EQ(state.LastTickMs, 0u);
  EXPECT_EQ(view.actualCleared, 1);
  EXPECT_EQ(view.status, "14:03:22 - Velmar 2000 Stopped");
  EXPECT_EQ(view.hint, "Velmar 2000 Stopped");
  EXPECT_EQ(view.cancels, 0) << "no download to cancel in Spy mode";
  EXPECT_EQ(state.ProgramSection, 17);
}

TEST_F(AnalysisControlTest, SleepKeepsTheAveragesOnlyWithTheLock) {
  state.AverageLock = true;
  control.StopAnalysis();
  EXPECT_EQ(view.averagesCleared, 0);
  state.AverageLock = false;
  control.StopAnalysis();
  EXPECT_EQ(view.averagesCleared, 1);

  state.UpIdleMs = 3000;
  state.DownIdleMs = 2000;
  control.StopAnalysis();
  EXPECT_EQ(state.UpIdleMs, 0);
  EXPECT_EQ(state.DownIdleMs, 0);
}

TEST_F(AnalysisControlTest, GenerateRefusesTheBareSchemeInAnyCase) {
  for (const QString& url : {QString("http://"), QString("  HTTP://  "), QString("Http://"),
                             QString(""), QString("   ")}) {
    view.url = url;
    view.generateDown = true;
    ui.messages.clear();
    control.ChooseGenerate();
    EXPECT_EQ(ui.messages, QStringList{AnalysisControl::kRefusal}) << url.toStdString();
    EXPECT_FALSE(view.generateDown) << "Spy shown pressed again";
    EXPECT_FALSE(state.GenerateMode);
    EXPECT_EQ(settings.Line(4), "0");
  }
  view.url = "http://example.test/big.bin";
  view.generateDown = true;
  control.ChooseGenerate();
  EXPECT_TRUE(state.GenerateMode);
  EXPECT_EQ(settings.Line(4), "1");
  EXPECT_EQ(view.status, "14:03:22 - Velmar 2000 Started in GENERATE MODE");
  EXPECT_EQ(view.hint, "") << "Generate does not touch the tray hint";

  // Back to Spy: cancels the download, line 4 "0".
  view.generateDown = false;
  control.ChooseSpy();
  EXPECT_FALSE(state.GenerateMode);
  EXPECT_EQ(view.cancels, 1);
  EXPECT_EQ(settings.Line(4), "0");
}

TEST_F(AnalysisControlTest, ActiveRefusesOnlyTheLowerCaseBareScheme) {
  view.generateDown = true;
  for (const QString& url : {QString("http://"), QString(" http:// "), QString("")}) {
    view.url = url;
    ui.messages.clear();
    view.activeDown = true;
    control.StartAnalysis();
    EXPECT_EQ(ui.messages, QStringList{AnalysisControl::kRefusal}) << url.toStdString();
    EXPECT_FALSE(view.activeDown) << "SLEEP shown pressed";
    EXPECT_FALSE(state.AnalysisActive);
  }
  view.url = "Http://";
  ui.messages.clear();
  control.StartAnalysis();
  EXPECT_TRUE(ui.messages.isEmpty());
  EXPECT_TRUE(state.AnalysisActive);
  EXPECT_EQ(view.hint, "Velmar 2000 Started in GENERATE MODE");
  // ACTIVE again in Generate mode cancels the running download.
  control.StartAnalysis();
  EXPECT_EQ(view.cancels, 1);
  control.StopAnalysis();
  EXPECT_EQ(view.cancels, 2);
}

TEST_F(AnalysisControlTest, TrayItemLockAndClear) {
  control.ToggleAnalysis();
  EXPECT_TRUE(state.AnalysisActive);
  EXPECT_TRUE(view.activeDown);
  EXPECT_TRUE(view.menuChecked);
  control.ToggleAnalysis();
  EXPECT_FALSE(state.AnalysisActive);
  EXPECT_FALSE(view.activeDown);
  EXPECT_FALSE(view.menuChecked);
  // Refused start from the menu: the item stays unchecked.
  view.generateDown = true;
  control.ToggleAnalysis();
  EXPECT_FALSE(view.menuChecked);

  ASSERT_TRUE(state.AverageLock);
  control.ToggleAverageLock();
  EXPECT_FALSE(state.AverageLock);
  EXPECT_EQ(view.lockShown, "open");
  EXPECT_EQ(view.tips, std::vector<int>{37});
  control.ToggleAverageLock();
  EXPECT_TRUE(state.AverageLock);
  EXPECT_EQ(view.lockShown, "closed");
  EXPECT_EQ(view.tips.size(), 1u);

  control.ClearTotal();
  EXPECT_EQ(view.total, 0);
  EXPECT_EQ(state.ProgramSection, 35);
  EXPECT_EQ(AnalysisControl::HintOf("no dash here"), "");
  EXPECT_EQ(AnalysisControl::HintOf("a - b - c"), "b - c");
}

}  // namespace
}  // namespace velmar
