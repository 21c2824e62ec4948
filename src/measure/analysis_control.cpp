#include "measure/analysis_control.h"

#include "config/program_section.h"

#include <QLocale>

#include "config/settings_list.h"
#include "platform/message_queue.h"
#include "platform/time_format.h"
#include "platform/user_interface.h"

namespace velmar {

namespace {
const char kSpyStarted[] = " - Velmar 2000 Started in SPY MODE";
const char kGenerateStarted[] = " - Velmar 2000 Started in GENERATE MODE";
const char kStopped[] = " - Velmar 2000 Stopped";
}  // namespace

const QString AnalysisControl::kRefusal = QStringLiteral(
    "Please setup a HTTP address first! Go to the Settings tab and click on the Custom "
    "Configuration button.");

AnalysisControl::AnalysisControl(MeasurementState& state, SettingsList& settings,
                                 AnalysisView& view)
    : state_(state), settings_(settings), view_(view) {}

QString AnalysisControl::StatusText(const char* suffix) const {
  // The locale's own clock (12 or 24 hours), with seconds: its long time
  // format, without the time zone that it carries.
  const QLocale locale;
  QString format = locale.timeFormat(QLocale::LongFormat);
  format = WithoutTimeZone(format);
  return locale.toString(Now(), format.trimmed()) + QString::fromLatin1(suffix);
}

QString AnalysisControl::HintOf(const QString& status) {
  const qsizetype at = status.indexOf(QStringLiteral("- "));
  return at < 0 ? QString() : status.mid(at + 2);
}

void AnalysisControl::SetStatus(const char* suffix, bool withHint) {
  const QString text = StatusText(suffix);
  view_.SetStatusText(text);
  if (withHint) {
    view_.SetTrayHint(HintOf(text));
  }
}

void AnalysisControl::StartAnalysis() {
  SectionScope here(state_.ProgramSection, section::kStartAnalysis);
  state_.GenerateMode = view_.GenerateDown();
  if (state_.GenerateMode) {
    const QString url = view_.Url().trimmed();
    // Case-sensitive on purpose: only the untouched default is refused here.
    if (url.isEmpty() || url == QLatin1String("http://")) {
      UserInterface::Get().Beep();
      UserInterface::Get().Message(kRefusal);
      view_.ShowActivePressed(false);
      return;
    }
    SetStatus(kGenerateStarted, true);
    if (state_.AnalysisActive) {
      view_.CancelDownload();
    }
  } else {
    SetStatus(kSpyStarted, true);
  }
  state_.AlarmToggle = false;
  if (view_.CalcTimerEnabled()) {
    return;
  }
  view_.SetActiveMenuChecked(true);
  view_.SetModeButtonsEnabled(true);
  state_.ResetForStart();
  view_.SetTimersEnabled(true);
  state_.AnalysisActive = true;
}

void AnalysisControl::StopAnalysis() {
  SectionScope here(state_.ProgramSection, section::kStopAnalysis);
  state_.AnalysisActive = false;
  view_.SetTimersEnabled(false);
  if (state_.GenerateMode) {
    view_.CancelDownload();
  }
  // A tick waiting inside a download can finish here, before the
  // displays are cleared.
  MessageQueue::RunNow();
  view_.ClearActualDisplays();
  view_.SetModeButtonsEnabled(false);
  state_.LastTickMs = 0;
  view_.SetActiveMenuChecked(false);
  SetStatus(kStopped, true);
  state_.UpIdleMs = 0;
  state_.DownIdleMs = 0;
  if (!state_.AverageLock) {
    view_.ClearAverageDisplays();
  }
}

void AnalysisControl::ChooseSpy() {
  SectionScope here(state_.ProgramSection, section::kChooseSpy);
  if (state_.GenerateMode) {
    view_.CancelDownload();
  }
  state_.GenerateMode = view_.GenerateDown();
  SetStatus(kSpyStarted, false);
  settings_.SetFlag(SettingsLine::kStartGenerating, false);
}

bool AnalysisControl::HasAddress(const QString& url) {
  const QString text = url.trimmed();
  return !text.isEmpty() && text.toUpper() != QLatin1String("HTTP://");
}

void AnalysisControl::ChooseGenerate() {
  SectionScope here(state_.ProgramSection, section::kChooseGenerate);
  if (!state_.GenerateMode) {
    if (!HasAddress(view_.Url())) {
      UserInterface::Get().Beep();
      UserInterface::Get().Message(kRefusal);
      view_.ShowGeneratePressed(false);
      return;
    }
  }
  state_.GenerateMode = view_.GenerateDown();
  settings_.SetFlag(SettingsLine::kStartGenerating, true);
  SetStatus(kGenerateStarted, false);
}

void AnalysisControl::PressActive(bool active) {
  view_.ShowActivePressed(active);
  if (active) {
    StartAnalysis();
  } else {
    StopAnalysis();
  }
}

void AnalysisControl::PressGenerate(bool generate) {
  view_.ShowGeneratePressed(generate);
  if (generate) {
    ChooseGenerate();
  } else {
    ChooseSpy();
  }
}

void AnalysisControl::ToggleAnalysis() {
  SectionScope here(state_.ProgramSection, section::kToggleAnalysis);
  if (state_.AnalysisActive) {
    StopAnalysis();
    view_.ShowActivePressed(false);
  } else {
    view_.ShowActivePressed(true);
    StartAnalysis();
  }
  view_.SetActiveMenuChecked(state_.AnalysisActive);
}

void AnalysisControl::ToggleAverageLock() {
  SectionScope here(state_.ProgramSection, section::kToggleAverageLock);
  state_.AverageLock = !state_.AverageLock;
  if (!state_.AverageLock) {
    view_.ShowTip(Tip::kAverageUnlocked);
    view_.ShowLockPicture(false);
  } else {
    view_.ShowLockPicture(true);
  }
}

void AnalysisControl::ClearTotal() {
  SectionScope here(state_.ProgramSection, section::kClearTotal);
  // The counter itself, not just its display: the next tick would write
  // the old total back within half a second.
  state_.TotalTraffic = 0;
  settings_.SetLine(SettingsLine::kTrafficTotal, QStringLiteral("0"));
  view_.SetTotalDisplay(0);
}

}  // namespace velmar
