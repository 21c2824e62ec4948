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
#include "history/history_commands.h"
#include "history/history_maintenance.h"
#include "history/history_recorder.h"
#include "history/usage_keeper.h"
#include "interfaces/interface_table.h"
#include "interfaces/remote_source.h"
#include "measure/analysis_control.h"
#include "measure/counter_sampler.h"
#include "measure/measurement_state.h"
#include "measure/meter_core.h"
#include "measure/result_displays.h"
#include "measure/tick_host.h"
#include "net/traffic_generator.h"
#include "platform/tick_clock.h"
#include "programs/program_recording.h"
#include "shell/desktop_alarm_actions.h"
#include "shell/plan_watch.h"
#include "shell/window_placement.h"

namespace velmar {

class KeyStore;

// What the session asks of the window itself.
class WindowLifecycle {
 public:
  virtual ~WindowLifecycle() = default;
  // The window's part of the initial state at start-up, after the stored
  // placement has been applied and before the settings are.
  virtual void ResetForStart() = 0;
  // Closes the graph window, if one is open, and brings the full layout
  // back, as the meter shuts down and before its place is kept.
  virtual void CloseForShutdown() = 0;
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
    // What tests set in place of the real thing: the day keys' clock and
    // format, the counters the usage snapshots read (empty: the kernel's),
    // and the seconds a silent download is given (0: the client's own).
    DayKeyDates dates;
    std::function<CounterSnapshot()> counters;
    int downloadTimeout = 0;
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
  void ResetToDefaults() {
    loader_.LoadSettings(false);
    RecordPrograms();
  }
  // The settings file applied again, with what follows its lines: the
  // plan, the chosen interface, the volumes per program.
  void ReloadSettings();
  void WriteAutostart(bool enabled);
  void SavePlacement() { placement_.Save(view_.placement); }
  // The metrics endpoint settings line 44 asks for ("" is off, else
  // [ADDR:]PORT), fed by every publication and alarm while the session
  // lasts, showing the interfaces line 54 lets through (of the device,
  // when the meter reads one). Read once; a failure is reported and the
  // meter goes on without.
  void ServeMetrics();
  // Another source chosen in the settings: the choice of interface goes
  // back to "All", the agent is built anew and the list read from it.
  void ChangeSource();
  // Settings line 65: the records' volumes per program, read from this
  // computer's sockets (not while a device is measured). Starts or stops
  // the readings to match the line.
  void RecordPrograms();
  bool RecordsPrograms() const { return programs_ != nullptr; }

  void SetSection(uint8_t section) { SectionScope here(state_.ProgramSection, section); }

  // The history timer's tick.
  void RecordTick();
  bool CalcTimerEnabled() const { return calcTimer_.isActive(); }
  void SetTimersEnabled(bool enabled);

  // What the settings and the setup dialogs set in the measurement and
  // the Generate-mode client.
  void SetProxy(const QString& host) { generator_.SetProxy(host); }
  void SetProxyPort(uint16_t port) { generator_.SetProxyPort(port); }
  void SetUrl(const QString& url) { generator_.SetUrl(url); }
  void ApplyProxyFromSettings() { loader_.ReplaceProxy(); }
  void CancelDownload() { generator_.CancelDownload(); }

  // The measurement: its commands, and the signals the window follows.
  MeterCore& Core() { return core_; }
  const MeasurementState& State() const { return core_.State(); }
  // Whether the meter reads a device on the network, not this computer.
  bool MeasuresDevice() const { return device_.has_value(); }
  SettingsList& Settings() { return settings_; }
  const SettingsLoader& Loader() const { return loader_; }
  // The buttons' commands: ACTIVE, SLEEP, Spy, Generate, the lock, Clear.
  AnalysisControl& Analysis() { return analysis_; }
  const TrafficGenerator& Generator() const { return generator_; }
  // The table the tick reads, shared with NetStat; null without an agent.
  InterfaceTable* Table() { return table_.get(); }
  // Whether the key store could be opened (it is KeyStore::Default()).
  bool StoreOpen() const { return store_ != nullptr; }
  const DayKeyDates& Dates() const { return dates_; }
  // The history's purge, restore and profile commands.
  HistoryCommands History();
  const PlanWatch& Plan() const { return plan_; }
  // The plan's setup (NetworkManager's metered devices offered first); a
  // plan set is saved and takes effect at once.
  void SetUpPlan();
  // Where the publication feeds the graph window; null while none is open.
  void SetGraphFeed(GraphFeed* feed) { core_.SetGraphFeed(feed); }
  const QTimer& HistoryTimer() const { return historyTimer_; }
  const QStringList& AdapterList() const { return adapters_; }
  void SetAdapterList(const QStringList& adapters) { adapters_ = adapters; }
  const MeterView& View() const { return view_; }

 private:
  // TickDriver
  void SetCalcTimerEnabled(bool enabled) override;
  void StartDownload() override { generator_.StartDownload(); }
  void HandleException(const std::exception& error) override { Report(error); }

  // Runs a step, reporting what it raises instead of passing it on.
  void Guarded(const std::function<void()>& step);
  void Report(const std::exception& error);
  void ResetForStart();
  // Builds the agent for the source `settings` choose: this computer, or a
  // device on the network with its secrets from the key store. Raises what
  // the table raises, and the meter then has no agent.
  void UseSource(const SettingsList& settings);
  // Where the data plan stands, its warnings and figures (a plan may be
  // set or changed at any time).
  void UpdatePlan();
  // The chosen interface by the name the settings keep (line 53).
  void SelectAdapterFromSettings();
  // The list again from the source, and the chosen adapter's caption.
  void RebuildAdapterList();
  // Hands the metrics endpoint, if one is served, the interfaces of the
  // source the meter reads: the device's own table, or this computer's.
  void ShowSourceInterfaces();
  // The core's signals to the window and the settings.
  void ConnectCore();

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
  QMetaObject::Connection programsTick_;
  HistoryRecorder recorder_;
  // Snapshots of the counters; what passed while the meter did not run.
  UsageKeeper usage_;
  HistoryMaintenance maintenance_;
  DesktopAlarmActions alarmActions_;
  AlarmEvaluator evaluator_;
  PlanWatch plan_;
  QTimer calcTimer_;
  QTimer historyTimer_;
  bool shutDown_ = false;
};

}  // namespace velmar
