#pragma once

#include <cstdint>

namespace velmar {

// The number the error report shows: which handler or step ran last. Only
// a SectionScope sets it.
class SectionNumber {
 public:
  operator uint8_t() const { return value_; }

 private:
  friend class SectionScope;
  uint8_t value_ = 0;
};

// Names the handler (and then the step of it) that runs while the scope
// lasts. The number stays when the scope ends: a report made after the
// handler returned, or while an exception it raised is passed on, names
// the last one that ran, as users quote it.
class SectionScope {
 public:
  SectionScope(SectionNumber& number, uint8_t section) : number_(number) { Step(section); }
  SectionScope(const SectionScope&) = delete;
  SectionScope& operator=(const SectionScope&) = delete;
  // The next step of the same handler.
  void Step(uint8_t section) { number_.value_ = section; }

 private:
  SectionNumber& number_;
};

}  // namespace velmar

// The numbers the error report shows as "in program section N": each
// handler or routine sets its own on entry, and long ones one per step,
// so a report says where the meter was. The numbers are what users quote
// to the help desk; they never change.
namespace velmar::section {

// Start-up and shutdown (MeterSession, MainWindow).
inline constexpr uint8_t kStart = 9;
inline constexpr uint8_t kResetForStart = 11;
inline constexpr uint8_t kLoadSettings = 12;
inline constexpr uint8_t kShowSplash = 8;
inline constexpr uint8_t kFirstShow = 59;
inline constexpr uint8_t kClose = 15;
inline constexpr uint8_t kEnd = 14;
inline constexpr uint8_t kSaveAndQuit = 20;
inline constexpr uint8_t kDiscardAndQuit = 21;
inline constexpr uint8_t kResetToDefaults = 51;

// The measurement tick (CounterSampler::Tick) and its steps.
inline constexpr uint8_t kTick = 21;
inline constexpr uint8_t kTickStamp = 211;
inline constexpr uint8_t kTickRead = 212;
inline constexpr uint8_t kTickTotals = 213;
inline constexpr uint8_t kTickUpRate = 214;
inline constexpr uint8_t kTickDownRate = 215;
inline constexpr uint8_t kTickPublish = 216;
inline constexpr uint8_t kTickRearm = 217;
inline constexpr uint8_t kReadCounters = 7;
inline constexpr uint8_t kListAdapters = 6;
inline constexpr uint8_t kComputeAverage = 5;

// The publication (ResultPublisher) and its steps.
inline constexpr uint8_t kPublish = 23;
inline constexpr uint8_t kPublishUpAverage = 231;
inline constexpr uint8_t kPublishDownAverage = 232;
inline constexpr uint8_t kPublishIdle = 234;
inline constexpr uint8_t kPublishStill = 235;
inline constexpr uint8_t kPublishAverageSum = 236;
inline constexpr uint8_t kPublishAverageMean = 237;
inline constexpr uint8_t kPublishAveragePercent = 238;
inline constexpr uint8_t kPublishSpeeds = 239;
inline constexpr uint8_t kPublishIndicators = 240;
inline constexpr uint8_t kPublishGraph = 241;
inline constexpr uint8_t kPublishTotal = 242;
inline constexpr uint8_t kEvaluateAlarms = 22;
inline constexpr uint8_t kRecordHistory = 44;

// The analysis buttons (AnalysisControl).
inline constexpr uint8_t kStartAnalysis = 16;
inline constexpr uint8_t kStopAnalysis = 17;
inline constexpr uint8_t kChooseSpy = 18;
inline constexpr uint8_t kChooseGenerate = 19;
inline constexpr uint8_t kClearTotal = 35;
inline constexpr uint8_t kToggleAnalysis = 36;
inline constexpr uint8_t kToggleAverageLock = 38;

// Generate mode's HTTP client events.
inline constexpr uint8_t kDownloadProgress = 46;
inline constexpr uint8_t kDownloadConnected = 47;
inline constexpr uint8_t kDownloadDisconnected = 48;
inline constexpr uint8_t kDownloadConnecting = 49;

// The window's commands (MainWindow, DialogCommands).
inline constexpr uint8_t kShowFromTray = 10;
inline constexpr uint8_t kHideToTray = 13;
inline constexpr uint8_t kShowOnlyBottom = 24;
inline constexpr uint8_t kShowOnlyTop = 25;
inline constexpr uint8_t kHideFromSizer = 26;
inline constexpr uint8_t kRestoreLayout = 27;
inline constexpr uint8_t kSizerClicked = 28;
inline constexpr uint8_t kSizerMenuFromGauge = 29;
inline constexpr uint8_t kPageChanged = 30;
inline constexpr uint8_t kGraphMenu = 31;
inline constexpr uint8_t kCloseGraph = 32;
inline constexpr uint8_t kLiveGraph = 33;
inline constexpr uint8_t kShowTip = 37;
inline constexpr uint8_t kHistoryGraph = 39;
inline constexpr uint8_t kSetupWizard = 40;
inline constexpr uint8_t kDetailedSetup = 41;
inline constexpr uint8_t kNetStat = 42;
inline constexpr uint8_t kReportWizard = 43;
inline constexpr uint8_t kPurgeHistory = 45;
inline constexpr uint8_t kAlarms = 50;
inline constexpr uint8_t kDeleteProfiles = 52;
inline constexpr uint8_t kOpenWebSite = 54;
inline constexpr uint8_t kTrayIconClicked = 56;
inline constexpr uint8_t kToggleStayOnTop = 57;
inline constexpr uint8_t kOpenHelp = 60;
inline constexpr uint8_t kGenerateReport = 63;
inline constexpr uint8_t kTrayHelp = 64;
inline constexpr uint8_t kTrayWebSite = 65;

}  // namespace velmar::section
