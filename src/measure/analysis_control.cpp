#include "measure/analysis_control.h"

#include "config/program_section.h"

#include <QLocale>

#include "config/settings_list.h"
#include "measure/meter_core.h"
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

AnalysisControl::AnalysisControl(MeterCore& core, SettingsList& settings, AnalysisView& view)
    : core_(core), settings_(settings), view_(view) {}

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
  SectionScope here(core_.Section(), section::kStartAnalysis);
  core_.SetGenerateMode(view_.GenerateDown());
  if (core_.State().GenerateMode) {
    const QString url = view_.Url().trimmed();
    // Case-sensitive on purpose: only the untouched default is refused here.
    if (url.isEmpty() || url == QLatin1String("http://")) {
      UserInterface::Get().Beep();
      UserInterface::Get().Message(kRefusal);
      view_.ShowActivePressed(false);
      return;
    }
    SetStatus(kGenerateStarted, true);
    if (core_.State().AnalysisActive) {
      view_.CancelDownload();
    }
  } else {
    SetStatus(kSpyStarted, true);
  }
  core_.RestartAlarmToggle();
  if (view_.CalcTimerEnabled()) {
    return;
  }
  view_.SetActiveMenuChecked(true);
  view_.SetModeButtonsEnabled(true);
  core_.ClearForStart();
  view_.SetTimersEnabled(true);
  core_.SetAnalysisActive(true);
}

void AnalysisControl::StopAnalysis() {
  SectionScope here(core_.Section(), section::kStopAnalysis);
  core_.SetAnalysisActive(false);
  view_.SetTimersEnabled(false);
  if (core_.State().GenerateMode) {
    view_.CancelDownload();
  }
  // A tick waiting inside a download can finish here, before the
  // displays are cleared.
  MessageQueue::RunNow();
  view_.ClearActualDisplays();
  view_.SetModeButtonsEnabled(false);
  core_.StampAnew();
  view_.SetActiveMenuChecked(false);
  SetStatus(kStopped, true);
  core_.ResetIdleTimes();
  if (!core_.State().AverageLock) {
    view_.ClearAverageDisplays();
  }
}

void AnalysisControl::ChooseSpy() {
  SectionScope here(core_.Section(), section::kChooseSpy);
  if (core_.State().GenerateMode) {
    view_.CancelDownload();
  }
  core_.SetGenerateMode(view_.GenerateDown());
  SetStatus(kSpyStarted, false);
  settings_.SetFlag(SettingsLine::kStartGenerating, false);
}

void AnalysisControl::ChooseGenerate() {
  SectionScope here(core_.Section(), section::kChooseGenerate);
  if (!core_.State().GenerateMode) {
    if (!HasAddress(view_.Url())) {
      UserInterface::Get().Beep();
      UserInterface::Get().Message(kRefusal);
      view_.ShowGeneratePressed(false);
      return;
    }
  }
  core_.SetGenerateMode(view_.GenerateDown());
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
  SectionScope here(core_.Section(), section::kToggleAnalysis);
  if (core_.State().AnalysisActive) {
    StopAnalysis();
    view_.ShowActivePressed(false);
  } else {
    view_.ShowActivePressed(true);
    StartAnalysis();
  }
  view_.SetActiveMenuChecked(core_.State().AnalysisActive);
}

void AnalysisControl::ToggleAverageLock() {
  SectionScope here(core_.Section(), section::kToggleAverageLock);
  core_.SetAverageLock(!core_.State().AverageLock);
  if (!core_.State().AverageLock) {
    view_.ShowTip(Tip::kAverageUnlocked);
    view_.ShowLockPicture(false);
  } else {
    view_.ShowLockPicture(true);
  }
}

void AnalysisControl::ClearTotal() {
  SectionScope here(core_.Section(), section::kClearTotal);
  // The counter itself, not just its display: the next tick would write
  // the old total back within half a second.
  core_.ClearTotal();
  settings_.SetLine(SettingsLine::kTrafficTotal, QStringLiteral("0"));
  view_.SetTotalDisplay(0);
}

}  // namespace velmar
