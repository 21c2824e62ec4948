#pragma once

#include <QStringList>
#include <QTextStream>
#include <memory>
#include <vector>

#include "alarms/alarm_evaluator.h"
#include "alarms/console_alarm_actions.h"
#include "app/headless_history.h"
#include "app/headless_meter.h"
#include "app/headless_options.h"
#include "app/headless_programs.h"
#include "config/settings_list.h"
#include "history/day_key_dates.h"
#include "interfaces/interface_table.h"
#include "measure/meter_core.h"
#include "platform/key_store.h"

namespace velmar {

// Without an agent the meter still runs: every tick publishes zero rates.
// A device that cannot be asked as set up (no community, a protocol or
// security level it refuses) ends the run: zeros forever would hide it.
Status OpenInterfaceTable(const HeadlessOptions& chosen, std::unique_ptr<InterfaceTable>& table,
                          QTextStream& err);

// The alarm evaluation of the settings, with the actions a meter without a
// window can take; alarms are also logged to the key store as the window
// does.
struct HeadlessAlarms {
  HeadlessAlarms(MeasurementState& state, SettingsList& settings, QTextStream& err)
      : evaluator(state, settings, actions, nullptr, dates) {
    try {
      evaluator.SetStore(&KeyStore::Default());
    } catch (const std::exception& e) {
      err << "Error: " << e.what() << Qt::endl;  // alarms still act, unlogged
    }
  }
  ConsoleAlarmActions actions;
  DayKeyDates dates;
  AlarmEvaluator evaluator;
};

// The meter of one run and what it serves besides its lines: the alarms
// and the metrics endpoint (the meter's core keeps the endpoint and the
// devices it polls). The alarms go before the meter, the meter before the
// table it reads.
class HeadlessRun {
 public:
  HeadlessRun(const HeadlessOptions& chosen, SettingsList& settings,
              std::unique_ptr<InterfaceTable> table, QTextStream& out, QTextStream& err);

  // Lists the adapters, or measures until a signal ends the run.
  int Run();

 private:
  Status CheckAdapter();
  Status CheckAdapterIn(const std::vector<CounterSampler::Adapter>& adapters);
  int ListAdapters();
  void SetUpAlarms();
  Status ServeMetrics();
#ifdef VELMAR_DEVICE_METRICS
  void ServeDevices();
#endif

  const HeadlessOptions& chosen_;
  SettingsList& settings_;
  QTextStream& out_;
  QTextStream& err_;
  std::unique_ptr<InterfaceTable> table_;
  HeadlessMeter meter_;
  MeterCore& core_;
  QStringList alarmConditions_;
  // The status a check inside a tick ended the run with.
  Status failed_;
  std::unique_ptr<HeadlessAlarms> alarms_;
  std::unique_ptr<HeadlessPrograms> programs_;
  std::unique_ptr<HeadlessHistory> history_;  // --record-history
};

}  // namespace velmar
