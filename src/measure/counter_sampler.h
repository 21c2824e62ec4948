#pragma once

#include <QObject>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "measure/edge_selection.h"
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
//
// Only what is shown is read: the counters of the chosen interface, or of
// those "All" counts, with one GET each tick. The whole interface tables
// (names, types, stack, routes) are walked only when the set of interfaces
// may have changed: at the start, every 60 s, when ifNumber,
// ifTableLastChange or sysUpTime say so, or when an interface read is
// gone. A rate is what moved between two readings divided by the time
// between them as the agent took them; a tick that finds no new reading
// (a device slower than the tick) shows the last rate again and adds
// nothing to the totals. An agent without GET is walked whole every tick,
// its readings stamped with the tick clock.
//
// The chosen interface is kept by name: when the list changes it is found
// again by name, and while it is gone the meter says so once and reads
// zeros, never another interface.
class CounterSampler : public QObject {
  Q_OBJECT

 public:
  // One entry of the adapter list: a row of the interface table.
  struct Adapter {
    int32_t index;
    QString name;   // ifName, else ifDescr; "#index" added where names repeat
    QString alias;  // ifAlias, empty where none
    bool countsInAll;
    QString description;  // ifDescr (a device's long name where ifName is short)
    // The list's text: the name, the alias beside it.
    QString Shown() const;
  };

  // How often the whole tables are walked at most, without a sign of change.
  static constexpr uint32_t kSetRefreshMs = 60000;
  // The shortest time between two readings a rate is taken over (a fifth
  // of the tick): a shorter one is two answers to one moment.
  static constexpr uint64_t kMinRateIntervalUs = kCalcTimerIntervalMs * 200;

  // `table` may be null: a meter without an agent publishes zero rates.
  CounterSampler(MeasurementState& state, InterfaceTable* table, TickHost& host,
                 const TickClock& clock = SystemClock());

  // The table may be replaced (built late, or freed at shutdown).
  void SetTable(InterfaceTable* table);
  // The table read (null without an agent).
  const InterfaceTable* Table() const { return table_; }

  // The handler of the calculation timer.
  void Tick();

  // What one reading gave for `selection` (0 = "All", k = the k-th row).
  struct Reading {
    bool ok = false;     // false: no reading (no agent, a failure, no such row)
    bool fresh = false;  // a reading newer than the previous one
    uint64_t movedOut = 0;
    uint64_t movedIn = 0;
    double seconds = 0;  // between the two readings; 0 when not known
  };
  Reading Read(int16_t selection);
  // Reads and gives what moved on `selection` since the previous reading.
  bool ReadInterfaceCounters(int16_t selection, uint64_t& movedOut, uint64_t& movedIn);

  // The interfaces of the latest reading with their byte counts.
  const std::vector<InterfaceReading>& Interfaces() const { return counters_.Interfaces(); }
  // Read every interface's counters on each tick, not only the shown ones
  // (the metrics endpoint shows them all).
  void SetReadEveryInterface(bool every) { readEvery_ = every; }

  // "All" followed by every interface of the list. A device on the network
  // that does not answer gives "All" alone, and adaptersChanged comes once
  // a reading works, so the list can be built again.
  QStringList BuildAdapterList();
  // Every interface row, with what "All" makes of it, from a fresh walk;
  // raises what the table raises.
  std::vector<Adapter> ListAdapters();
  // The list of the latest walk (empty before one worked).
  const std::vector<Adapter>& Adapters() const { return adapters_; }
  // A list wanted but not had (a device away, or still sending its
  // tables): adaptersChanged comes once a walk brings it.
  void AwaitAdapters() { adaptersPending_ = adapters_.empty(); }
  // The rule "All" followed in the latest walk.
  EdgeSelection::Rule AllRule() const { return choice_.rule; }
  const EdgeSelection::Choice& AllChoice() const { return choice_; }
  // "All" counts the uplink ...: eth0. (or that it counts none) for the tip.
  static QString DescribeAll(const std::vector<Adapter>& adapters, EdgeSelection::Rule rule);
  // The name of interface k (1 = the first row) of the latest walk; null
  // when there is no such row.
  QString AdapterName(int16_t selection) const;

  // The chosen interface by name (the settings keep it): found in the list
  // at the next walk. Empty: by number.
  void SelectAdapterByName(const QString& name);
  const QString& SelectedName() const { return selectedName_; }
  // The name of adapter `selection` as a report shows it: "All" for 0,
  // the row's name, null for no such row; while the adapter chosen by name
  // is gone, its name, never the one now at its row.
  QString ReportedName(int16_t selection) const;
  // Whether the adapter chosen by name is gone from the list.
  bool ChosenAbsent(int16_t selection) const;
  // True while the list is waiting for a device that has not answered.
  bool AdaptersPending() const { return adaptersPending_; }
  // The reason the latest reading failed; empty after one that worked.
  const QString& SourceFailure() const { return failure_; }

  // Whole-table walks since the start (the polling load's larger part).
  uint64_t SetRefreshes() const { return setRefreshes_; }

 signals:
  // The chosen interface is found (at a new row, or named for the first
  // time): its row and name, for the settings. The choice read on the next
  // tick must be that row: whoever keeps the measurement sets it at once.
  void adapterFound(int row, const QString& name);
  // The interface chosen by name is not in the list now.
  void adapterLost(const QString& name);
  // Once when readings start failing, with the reason (a device on the
  // network that stopped answering names itself and the cause; a chosen
  // interface that is gone says so), and once with an empty text when a
  // reading works again.
  void sourceStatusChanged(const QString& failure);
  // From inside the tick whose reading worked after the list was built
  // without the device, and whenever the list of interfaces changed.
  void adaptersChanged();

 private:
  // The steps of a tick.
  struct Rates {
    double up = 0;  // bytes per second
    double down = 0;
  };
  // Generate mode's download, started on every tick it is not busy.
  void StartGenerateDownload();
  void AddToTotals(const Reading& reading);
  // What the reading gives per second: over the agent's own interval, over
  // the tick's for an agent walked whole, the last rate for no new reading.
  Rates RatesOf(const Reading& reading, uint32_t now);
  // Hands the rates on while measuring, and sets the timer going again.
  void PublishAndRearm(const Rates& rates);

  // The steps of a reading, in their order. ReadTable raises what the
  // table raises; Read turns that into a failed reading.
  void ReadTable(int16_t selection, Reading& result);
  void RefreshSetIfDue(bool legacy, uint32_t now);
  // Says once that the interface chosen by name is not in the list.
  void NoteAdapterGone();
  // The rows_ positions this tick reads, into scratch_.chosen; empties the
  // tick's other working lists.
  void ChooseRows(int16_t selection, int row, bool legacy);
  // One GET of the chosen rows' counters into scratch_.read and
  // scratch_.counts, stamped in `takenUs`. False when it says nothing new
  // (the reading before it again, or one lacking an interface).
  bool FetchChosenCounters(uint32_t now, uint64_t& takenUs, Reading& result);
  // Marks the set for a walk at the next tick when the marks say it may
  // have changed.
  void NoteSetMarks(const InterfaceTable::SetMarks& marks);
  void KeepCounters(const std::vector<InterfaceTable::Counters>& counters);
  void NameAsTheList(std::vector<MibRow>& read) const;
  // Adds what moved on the selected interfaces (those "All" counts for 0).
  void AddSelected(int16_t selection, int row, const std::vector<InterfaceCounters::Moved>& moved,
                   Reading& result) const;

  void NoteSourceStatus(const QString& failure);
  bool SetDue(uint32_t now) const;
  // Walks the tables; raises what the table raises.
  void RefreshSet(uint32_t now);
  // The row of the chosen interface (0-based), -1 when it is gone or
  // `selection` names no row; keeps state_.AdapterIndex on its row.
  int ResolveSelection(int16_t selection);
  void ForgetReading();

  MeasurementState& state_;
  InterfaceTable* table_;
  TickHost& host_;
  const TickClock& clock_;
  InterfaceCounters counters_;
  QString failure_;
  bool adaptersPending_ = false;  // the list was built without the device
  bool readEvery_ = false;

  // The interface set of the latest walk.
  std::vector<MibRow> rows_;
  struct Scratch {
    std::vector<size_t> chosen;  // rows_ positions read this tick
    std::vector<MibRow> read;
    std::vector<bool> counts;
    std::vector<InterfaceTable::CounterRequest> requests;
  } scratch_;
  std::vector<Adapter> adapters_;
  EdgeSelection::Choice choice_;
  bool setKnown_ = false;
  bool setInvalid_ = false;
  uint32_t setReadMs_ = 0;
  uint64_t setRefreshes_ = 0;

  QString selectedName_;
  int16_t resolvedSelection_ = -1;  // the row number the name was last found at

  // A reading lacked a counter, and the set is walked again to see why.
  bool counterMissing_ = false;
  uint64_t lastTakenUs_ = 0;  // the previous reading; 0 = none to compare with
  double lastUp_ = 0;
  double lastDown_ = 0;
};

}  // namespace velmar
