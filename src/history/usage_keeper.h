#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "history/data_plan.h"
#include "history/day_key_dates.h"
#include "history/offline_traffic.h"

namespace velmar {

class KeyStore;
class InterfaceTable;

// Which of this computer's interfaces the meter counts: the chosen one
// (row `adapterIndex`, 1-based, named `adapterName` in the settings), or
// with "All" those the edge selection takes from `table`. Nothing without
// a table (a device's figures are not this computer's).
std::function<bool(const QString& name)> MeterSelection(const InterfaceTable* table,
                                                        int adapterIndex,
                                                        const QString& adapterName);

// This computer's counters as /proc/net/dev gives them (the namespace the
// process runs in), each with its interface index and the boot id.
CounterSnapshot ReadKernelSnapshot(const QString& procNetDev = QStringLiteral("/proc/net/dev"));

// One interface's bytes in a plan period.
struct InterfaceUse {
  QString name;
  uint64_t received = 0;
  uint64_t transmitted = 0;
};

// The period's use per interface, and the bytes a plan counts of it.
struct PeriodUse {
  PlanPeriod period;
  std::vector<InterfaceUse> interfaces;  // by name
  // `all` says which interfaces "All" takes (the meter's edge selection).
  uint64_t Counted(const DataPlan& plan, const std::function<bool(const QString&)>& all) const;
};

// Keeps usage whole across the times the meter does not run. At every
// history record and at stop it stores the kernel's counters with the
// boot id; at the next start the difference becomes a history record
// "while not running" (or, after a reboot, a gap). Beside that it keeps
// each interface's bytes in the plan's current period, from the same
// snapshots, so the plan counts what passed whether the meter ran or not.
//
// Everything lives under kKey, beside the history; a record "while not
// running" is an ordinary record with one more value, NotRunningSince_n,
// so readers that do not know it count its bytes as any other.
class UsageKeeper {
 public:
  static const QString kKey;  // \Software\Tollera Works\Velmar2000\Usage
  static QString NotRunningSinceName(int n) {
    return QStringLiteral("NotRunningSince_") + QString::number(n);
  }
  // A gap of a day key: 16 bytes, the OLE dates of its start and its end.
  static QString GapName(int k) { return QStringLiteral("Gap_") + QString::number(k); }

  UsageKeeper(KeyStore* store, DayKeyDates& dates) : store_(store), dates_(dates) {}
  void SetStore(KeyStore* store) { store_ = store; }
  // The plan whose periods the per-interface use follows; without one, a
  // calendar month.
  void SetPlan(const std::optional<DataPlan>& plan) { plan_ = plan.value_or(DataPlan{}); }
  const DataPlan& Plan() const { return plan_; }

  // Replaceable for tests: the counters now (its time is set from the
  // dates' clock), and which interfaces the meter's history counts (asked
  // at each start, as the selection may have changed).
  using Selection = std::function<bool(const QString& name)>;
  std::function<CounterSnapshot()> Take = [] { return ReadKernelSnapshot(); };
  std::function<Selection()> Counts = [] { return [](const QString&) { return true; }; };

  // Measuring starts: what passed since the last stored snapshot goes into
  // the history as a record "while not running", or a gap. Returns it;
  // nullopt when no snapshot was stored before.
  std::optional<OfflineTraffic> Started();
  // A history record was written, or measuring stops.
  void Keep();
  // The current period's use, from the stored figures and, with `fresh`,
  // the counters now (without storing anything).
  PeriodUse Current(bool fresh) const;
  // Whether a snapshot was stored (by a meter that ran, or a first look).
  bool HasSnapshot() const { return Stored().has_value(); }

 private:
  CounterSnapshot TakeNow() const;
  std::optional<CounterSnapshot> Stored() const;
  void Advance(const std::optional<CounterSnapshot>& before, const CounterSnapshot& now);
  void WriteOffline(const OfflineTraffic& traffic);

  KeyStore* store_;
  DayKeyDates& dates_;
  DataPlan plan_;
};

}  // namespace velmar
