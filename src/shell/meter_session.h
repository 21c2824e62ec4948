#pragma once

#include <QStringList>
#include <QThreadPool>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "alarms/alarm_evaluator.h"
#include "config/settings_list.h"
#include "config/settings_loader.h"
#include "config/settings_target.h"
#include "history/day_key_dates.h"
#include "history/history_maintenance.h"
#include "history/history_recorder.h"
#include "history/usage_keeper.h"
#include "measure/analysis_control.h"
#include "measure/counter_sampler.h"
#include "measure/interface_table.h"
#include "measure/measurement_state.h"
#include "measure/meter_core.h"
#include "measure/remote_source.h"
#include "measure/result_displays.h"
#include "measure/tick_host.h"
#include "net/traffic_generator.h"
#include "platform/tick_clock.h"
#include "programs/program_recording.h"
#include "shell/desktop_alarm_actions.h"
#include "shell/plan_watch.h"
#include "shell/window_placement.h"
#include "shell/window_sizer.h"

namespace velmar {

class KeyStore;

// What the session asks of the window itself.
class WindowLifecycle {
 public:
  virtual ~WindowLifecycle() = default;
  // The window's part of the initial state at start-up, after the stored
  // placement has been applied and before the settings are.
  virtual void ResetForStart() = 0;
  // Closes the graph window, if one is open, as the meter shuts down.
  virtual void CloseGraphWindow() = 0;
  // The application's error report.
  virtual void ReportError(const std::exception& error) = 0;
};

// Everything the measurement touches in the window around it, one small
// interface for each part of the session that touches it. The main window
// hands in its adapters; the session reaches the window only through them.
struct MeterView {
  SettingsTarget& settings;
  AnalysisView& analysis;
  ResultDisplays& displays;
  PlacementWindow& placement;
  SizerView& sizer;
  WindowLifecycle& window;
};

// The running meter behind the main window: the settings, the measurement
// and its timers, the history, the alarms, the Generate-mode client and the
// graph feed, with the start-up and shutdown sequences that bring them up
// and down in order.
class MeterSession : public TickDriver {
 public:
  struct Environment {
    QString agentLibrary;    // the MIB-II agent
    QString settingsFile;    // Velmarsettings.ini
    QString executablePath;  // for the autostart entry
    QString autostartEntry;  // the XDG desktop entry
    const TickClock* clock = &SystemClock();
    // What the window system allows. Wayland has no beep (an alarm's beep
    // becomes a notification with a sound) and keeps window positions to
    // itself (the stored place is neither applied nor overwritten).
    bool systemBeep = true;
    bool windowPositions = true;
  };

  MeterSession(Environment environment, const MeterView& view);
  ~MeterSession() override;
  MeterSession(const MeterSession&) = delete;
  MeterSession& operator=(const MeterSession&) = delete;

  // The creation steps, in order: the agent, the key store, the stored
  // placement, the initial state, the settings. A step that fails is
  // reported and the rest go on, so the settings are applied even without
  // an agent or a key store and a later save cannot write an empty list.
  void Start();
  // The first show: Generate or Spy (line 4), ACTIVE or SLEEP (line 11).
  void ApplyStartModes();
  // Stops the timers and any download, ends the measurement, closes the
  // graph and keeps the window's full layout and place. Runs once.
  void Shutdown();
  // "Save settings and Quit": line 4 from the mode buttons, then the file;
  // raises when the file cannot be written.
  void SaveSettings(bool generateMode);
  void ResetToDefaults() { loader_.LoadSettings(false); }
  void ReloadSettings();
  // Builds the agent for the source `settings` choose: this computer, or a
  // device on the network with its secrets from the key store. Raises what
  // the table raises, and the meter then has no agent.
  void UseSource(const SettingsList& settings);
  void WriteAutostart(bool enabled);
  void SavePlacement() { placement_.Save(view_.placement); }
  // The metrics endpoint settings line 44 asks for ("" is off, else
  // [ADDR:]PORT), fed by every publication and alarm while the session
  // lasts, showing the interfaces line 54 lets through (of the device,
  // when the meter reads one). Read once; a failure is reported and the
  // meter goes on without.
  void ServeMetrics();

  // Runs a step, reporting what it raises instead of passing it on.
  void Guarded(const std::function<void()>& step);
  void SetSection(uint8_t section) { SectionScope here(state_.ProgramSection, section); }

  // The history timer's tick.
  void RecordTick();
  bool CalcTimerEnabled() const { return calcTimer_.isActive(); }
  void SetTimersEnabled(bool enabled);

  // TickDriver
  void SetCalcTimerEnabled(bool enabled) override;
  void StartDownload() override { generator_.StartDownload(); }
  void HandleException(const std::exception& error) override { Report(error); }

  MeterCore& Core() { return core_; }
  MeasurementState& State() { return core_.SharedState(); }
  const MeasurementState& State() const { return core_.State(); }
  // Whether the meter reads a device on the network, not this computer.
  bool MeasuresDevice() const { return device_.has_value(); }
  SettingsList& Settings() { return settings_; }
  SettingsLoader& Loader() { return loader_; }
  CounterSampler& Sampler() { return core_.Sampler(); }
  AnalysisControl& Analysis() { return analysis_; }
  TrafficGenerator& Generator() { return generator_; }
  const TrafficGenerator& Generator() const { return generator_; }
  InterfaceTable* Table() { return table_.get(); }
  // The key store, or null when it could not be opened.
  KeyStore* Store() { return store_; }
  DayKeyDates& Dates() { return dates_; }
  HistoryMaintenance& Maintenance() { return maintenance_; }
  UsageKeeper& Usage() { return usage_; }
  PlanWatch& Plan() { return plan_; }
  // Where the data plan stands, its warnings and figures (a plan may be
  // set or changed at any time).
  void UpdatePlan();
  // The plan's setup (NetworkManager's metered devices offered first); a
  // plan set is saved and takes effect at once.
  void SetUpPlan();
  AlarmEvaluator& Alarms() { return evaluator_; }
  // Where the publication feeds the graph window; null while none is open.
  void SetGraphFeed(GraphFeed* feed) { core_.SetGraphFeed(feed); }
  WindowSizer& Sizer() { return sizer_; }
  const QTimer& HistoryTimer() const { return historyTimer_; }
  const QStringList& AdapterList() const { return adapters_; }
  void SetAdapterList(const QStringList& adapters) { adapters_ = adapters; }
  // The chosen interface by the name the settings keep (line 53).
  void SelectAdapterFromSettings();
  // The list again from the source, and the chosen adapter's caption.
  void RebuildAdapterList();
  const Environment& Env() const { return env_; }
  const MeterView& View() const { return view_; }

 private:
  void Report(const std::exception& error);
  void ResetForStart();
  // Hands the metrics endpoint, if one is served, the interfaces of the
  // source the meter reads: the device's own table, or this computer's.
  void ShowSourceInterfaces();
  // The core's signals to the window and the settings.
  void ConnectCore();
  // Settings line 65, read once: the records' volumes per program.
  void RecordPrograms();

  Environment env_;
  MeterView view_;
  SettingsList settings_;
  MeterCore core_;
  // The figures the start-up and shutdown sequences set, the core's.
  MeasurementState& state_ = core_.SharedState();
  // The Generate-mode download; it only ever runs from the event loop,
  // never inside the calculation timer's handler.
  TrafficGenerator generator_;
  QStringList adapters_;
  std::unique_ptr<InterfaceTable> table_;
  // The device the table reads, secrets loaded; empty for this computer.
  std::optional<RemoteSource> device_;
  KeyStore* store_ = nullptr;
  AnalysisControl analysis_;
  SettingsLoader loader_;
  PlacementStore placement_;
  DayKeyDates dates_;
  std::unique_ptr<programs::ProgramRecording> programs_;
  HistoryRecorder recorder_;
  // Snapshots of the counters; what passed while the meter did not run.
  UsageKeeper usage_;
  HistoryMaintenance maintenance_;
  DesktopAlarmActions alarmActions_;
  AlarmEvaluator evaluator_;
  PlanWatch plan_;
  WindowSizer sizer_;
  QTimer calcTimer_;
  QTimer historyTimer_;
  bool shutDown_ = false;
};

}  // namespace velmar
