#pragma once

#include <QObject>
#include <QStringList>
#include <QThreadPool>
#include <map>
#include <memory>
#include <vector>

#include "alarms/alarm_evaluator.h"
#include "measure/averaging_engine.h"
#include "measure/counter_sampler.h"
#include "measure/measurement_state.h"
#include "measure/result_displays.h"
#include "measure/result_publisher.h"
#include "measure/tick_host.h"
#include "metrics/interface_filter.h"
#include "metrics/listen_address.h"

namespace velmar {

class EndpointSecurity;
class InterfaceSource;
class MetricsExporter;
class RemoteSource;
class SettingsList;

// The measurement: its state, the sampler that reads the counters on each
// tick, the averaging, the publication to the displays and the metrics
// endpoint fed by it. The window's session and the headless run each hold
// one and listen to its signals; both assemble nothing of it themselves.
class MeterCore : public QObject, private TickHost, private AlarmListener {
  Q_OBJECT

 public:
  // What the endpoint serves and how.
  struct MetricsOptions {
    ListenAddress where;
    InterfaceFilter filter;
    std::shared_ptr<EndpointSecurity> security;  // null: plain HTTP
    QStringList alarmConditions;                 // each counted from 0
    // Every interface read on each tick; a device's are polled at a
    // scrape instead.
    bool readEveryInterface = true;
  };

  MeterCore(TickDriver& driver, ResultDisplays& displays, SettingsList& settings,
            const TickClock& clock = SystemClock(), QObject* parent = nullptr);
  ~MeterCore() override;
  MeterCore(const MeterCore&) = delete;
  MeterCore& operator=(const MeterCore&) = delete;

  // The calculation timer's handler.
  void Tick() { sampler_.Tick(); }
  // A tick's second half: `upstream` and `downstream` (bytes per second)
  // to the displays, the averages and alarms, the endpoint, then
  // `published`.
  void PublishResults(double upstream, double downstream) override;

  // A start as the ACTIVE button makes it: the measurement's figures
  // cleared, the analysis on.
  void StartMeasuring();
  // The analysis off; the next start stamps its first tick anew.
  void StopMeasuring();
  // The steps of those two, for the buttons that run other steps between.
  void SetAnalysisActive(bool active);
  // What a start of measurement clears: the averages, the rates, the idle
  // times, the latch, the tick's stamp.
  void ClearForStart();
  // The next tick stamps its start anew instead of measuring since the last.
  void StampAnew();
  // Spy (false) or Generate.
  void SetGenerateMode(bool generate);
  // The alarm evaluation's every-second count starts over.
  void RestartAlarmToggle();
  // The averages kept on the displays at a stop (true), or cleared.
  void SetAverageLock(bool locked);
  // The total since start-up back to 0.
  void ClearTotal();
  // The interface read: 0 for "All", k for the k-th row, found again by
  // `name` when the list changes (empty: by number).
  void SelectAdapter(int16_t index, const QString& name);
  // The settings' averaging mode and kilobit.
  void SetModes(uint8_t averagingMode, uint8_t kilobitMode);
  void SetAveragingMode(uint8_t mode) { SetModes(mode, state_.KilobitMode); }
  void SetKilobitMode(uint8_t mode) { SetModes(state_.AveragingMode, mode); }
  // The row read, the name it was chosen by left as it is.
  void SetAdapterIndex(int16_t index);
  // What the program's creation and every load of the settings clear:
  // the analysis off, "All" read, the total at 0, the averages locked.
  void ResetForSettings();
  // Traffic that passed while the meter did not run, added to the total.
  void AddToTotal(uint64_t bytes);
  // Whether the Generate-mode download holds a connection: the tick then
  // asks for no other (TrafficGenerator::BusyChanged).
  void SetDownloadBusy(bool busy);
  // The idle times count again from 0.
  void ResetIdleTimes();
  // The table read on each tick; null for none (a meter without an agent
  // publishes zero rates).
  void UseTable(InterfaceTable* table) { sampler_.SetTable(table); }

  // The alarm evaluation run on every second publication; its alarms
  // count in the endpoint and come as `alarm`. The evaluator lives no
  // longer than the core.
  void UseAlarms(AlarmEvaluator& evaluator);
  // Where the publication feeds the graph window; null while none is open.
  void SetGraphFeed(GraphFeed* feed) { publisher_.Graph = feed; }

  // Serves the metrics endpoint, fed by every publication and alarm while
  // the core lasts. Raises what the address or the security raise, and
  // then serves nothing.
  MetricsExporter& ServeMetrics(const MetricsOptions& options);
  // The endpoint, or null when none is served.
  MetricsExporter* Metrics() { return metrics_.get(); }
  // The endpoint's own interfaces: a measured device's, polled at each
  // scrape from libmib2devices.so, or this computer's for null. Raises
  // when that library cannot be loaded.
  void ShowInterfacesOf(const RemoteSource* device);
  // The same with a poller at hand, named by `device`.
  void ShowInterfacesOf(std::unique_ptr<InterfaceSource> source, const QString& device);
  // Devices served at /snmp?target=NAME, their pollers kept by the core.
  void ServeTargets(std::map<QString, std::unique_ptr<InterfaceSource>> targets);
  // Where devices are polled for the endpoint.
  QThreadPool& DevicePolls() { return devicePolls_; }

  const MeasurementState& State() const { return state_; }
  // The error report's number, which handlers mark with a SectionScope.
  SectionNumber& Section() { return state_.ProgramSection; }
  // For the parts of the meter that keep the measurement's figures with it
  // (the Generate-mode client, the history, the alarms, the buttons).
  MeasurementState& SharedState() { return state_; }
  CounterSampler& Sampler() { return sampler_; }
  const CounterSampler& Sampler() const { return sampler_; }
  const ResultPublisher& Publisher() const { return publisher_; }

 signals:
  // One tick's rates in bytes per second, after the displays and the
  // endpoint have them.
  void published(double upstream, double downstream);
  // The interface list changed, or came from a device that had not
  // answered: emitted inside the tick.
  void adaptersChanged();
  // The chosen interface found (at a new row, or named for the first time).
  void adapterFound(int row, const QString& name);
  // The interface chosen by name is gone from the list.
  void adapterLost(const QString& name);
  // Readings failing (with the reason), or working again (empty).
  void sourceStatusChanged(const QString& failure);
  // An alarm evaluation found the conditions of this code.
  void alarm(int code);
  // An alarm's notification or mail could not go out.
  void alarmActionFailed(const QString& failure);

 private:
  // TickHost: the sampler's half of the tick; the other half is here.
  void SetCalcTimerEnabled(bool enabled) override { driver_.SetCalcTimerEnabled(enabled); }
  void StartDownload() override { driver_.StartDownload(); }
  void HandleException(const std::exception& error) override { driver_.HandleException(error); }
  // AlarmListener
  void AlarmFound(int32_t code) override;
  void AlarmActionFailed(const QString& failure) override { emit alarmActionFailed(failure); }
  void ActionsLatched() override;
  void ActionLogged() override { ResetIdleTimes(); }

  TickDriver& driver_;
  MeasurementState state_;
  AveragingEngine engine_;
  CounterSampler sampler_;
  ResultPublisher publisher_;
  // The pool outlives the pollers, which wait for their poll to end; the
  // pollers outlive the endpoint that reads them.
  QThreadPool devicePolls_;
  std::vector<std::unique_ptr<InterfaceSource>> targets_;
  std::unique_ptr<MetricsExporter> metrics_;
};

}  // namespace velmar
