#pragma once

#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

#include "measure/interface_counters.h"
#include "measure/measurement_state.h"
#include "measure/tick_host.h"
#include "platform/tick_clock.h"

namespace velmar {

class InterfaceTable;

// Samples the interface octet counters on the calculation timer's tick and
// turns their differences into rates in bytes per second. Each interface
// keeps its own previous reading (InterfaceCounters); "All" adds the
// interfaces EdgeSelection picks, whatever their row.
class CounterSampler {
 public:
  // One entry of the adapter list: a row of the interface table.
  struct Adapter {
    int32_t index;
    QString name;
    bool countsInAll;
  };

  // `table` may be null: a meter without an agent publishes zero rates.
  CounterSampler(MeasurementState& state, InterfaceTable* table, TickHost& host,
                 const TickClock& clock = SystemClock());

  // The table may be replaced (built late, or freed at shutdown).
  void SetTable(InterfaceTable* table) { table_ = table; }

  // The handler of the calculation timer.
  void Tick();

  // Reads every interface and gives what moved on `selection` (0 = "All",
  // k = the k-th row) since the previous reading. False when no reading
  // was taken (no agent, a failed or empty walk, no such row).
  bool ReadInterfaceCounters(int16_t selection, uint64_t& movedOut, uint64_t& movedIn);

  // The interfaces of the latest reading with their byte counts.
  const std::vector<InterfaceReading>& Interfaces() const { return counters_.Interfaces(); }

  // "All" followed by the description of every interface row. A device on
  // the network that does not answer gives "All" alone, and
  // OnAdaptersFound is called once a reading works, so the list can be
  // built again.
  QStringList BuildAdapterList();
  // Every interface row, with what "All" makes of it; raises what the
  // table raises.
  std::vector<Adapter> ListAdapters();
  // "All" counts: eth0, wlan0. (or that it counts none) for the tip.
  static QString DescribeAll(const std::vector<Adapter>& adapters);

  // Called after every tick that published its rates, with those rates in
  // bytes per second.
  std::function<void(double upstream, double downstream)> OnPublished;
  // Called once when readings start failing, with the reason (a device on
  // the network that stopped answering names itself and the cause), and
  // once with an empty text when a reading works again.
  std::function<void(const QString& failure)> OnSourceStatus;
  // Called from inside the tick whose reading worked.
  std::function<void()> OnAdaptersFound;
  // True while the list is waiting for a device that has not answered.
  bool AdaptersPending() const { return adaptersPending_; }
  // The reason the latest reading failed; empty after one that worked.
  const QString& SourceFailure() const { return failure_; }

 private:
  void NoteSourceStatus(const QString& failure);

  MeasurementState& state_;
  InterfaceTable* table_;
  TickHost& host_;
  const TickClock& clock_;
  InterfaceCounters counters_;
  QString failure_;
  bool adaptersPending_ = false;  // the list was built without the device
};

}  // namespace velmar
