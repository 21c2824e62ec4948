#pragma once

#include <QString>
#include <QTime>
#include <cstdint>
#include <functional>

#include "config/settings_line.h"

namespace velmar {

class MeterCore;
class SettingsList;

// What starting and stopping the measurement changes around it: the
// buttons, the status bar, the tray, the displays, the timers and the
// HTTP client. The main window implements it.
class AnalysisView {
 public:
  virtual ~AnalysisView() = default;
  virtual void ShowActivePressed(bool active) = 0;  // "ACTIVE" down, else "SLEEP" down
  virtual bool GenerateDown() const = 0;
  virtual void ShowGeneratePressed(bool generate) = 0;  // "Generate" down, else "Spy" down
  virtual void SetModeButtonsEnabled(bool enabled) = 0;
  virtual void SetActiveMenuChecked(bool checked) = 0;
  virtual void SetStatusText(const QString& text) = 0;
  virtual void SetTrayHint(const QString& hint) = 0;
  virtual void ShowLockPicture(bool locked) = 0;
  virtual void ShowTip(Tip tip) = 0;
  // The two actual-speed display pairs and all three indicators.
  virtual void ClearActualDisplays() = 0;
  virtual void ClearAverageDisplays() = 0;
  virtual void SetTotalDisplay(int64_t value) = 0;
  virtual bool CalcTimerEnabled() const = 0;
  virtual void SetTimersEnabled(bool enabled) = 0;  // calculation and history
  virtual QString Url() const = 0;
  virtual void CancelDownload() = 0;
};

// ACTIVE and SLEEP, Spy and Generate, the average lock and "Clear": the
// buttons' steps, the measurement changed through its core's commands.
class AnalysisControl {
 public:
  static const QString kRefusal;

  AnalysisControl(MeterCore& core, SettingsList& settings, AnalysisView& view);

  void StartAnalysis();
  void StopAnalysis();
  void ChooseSpy();
  void ChooseGenerate();
  void ToggleAnalysis();
  // A press of ACTIVE (true) or SLEEP, of Generate (true) or Spy, made from
  // code: the button is shown down, then its handler runs.
  void PressActive(bool active);
  void PressGenerate(bool generate);
  void ToggleAverageLock();
  void ClearTotal();

  // The status texts: the time, then " - Velmar 2000 ...".
  QString StatusText(const char* suffix) const;
  // The tray hint is the status text from after its first "- ".
  static QString HintOf(const QString& status);
  // False for an empty URL or the "http://" placeholder in any case, after
  // trimming: Generate mode has nothing to download then. In the header:
  // the Generate-mode client asks it without the buttons' library.
  static bool HasAddress(const QString& url) {
    const QString text = url.trimmed();
    return !text.isEmpty() && text.toUpper() != QLatin1String("HTTP://");
  }

  // The clock of the status texts; tests fix it.
  std::function<QTime()> Now = [] { return QTime::currentTime(); };

 private:
  void SetStatus(const char* suffix, bool withHint);

  MeterCore& core_;
  SettingsList& settings_;
  AnalysisView& view_;
};

}  // namespace velmar
