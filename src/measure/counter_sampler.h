#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

#include "measurement_state.h"
#include "tick_clock.h"
#include "tick_host.h"

namespace velmar {

class InterfaceTable;

// Samples the interface octet counters on the calculation timer's tick and
// turns their differences into rates in bytes per second.
class CounterSampler {
 public:
  static constexpr int kMaxRowsExamined = 32;

  // One interface as the latest tick saw it. The octet counts are the
  // meter's own 64-bit sums of the counters' movements: they never go
  // down, and start again at 0 for an interface that was re-created.
  struct InterfaceReading {
    int32_t index;
    QString name;
    uint64_t inOctets;
    uint64_t outOctets;
    bool countsInAll;  // "All" adds this interface
  };

  // `table` may be null: a meter without an agent publishes zero rates.
  CounterSampler(MeasurementState& state, InterfaceTable* table, TickHost& host,
                 const TickClock& clock = SystemClock());

  // The table may be replaced (built late, or freed at shutdown).
  void SetTable(InterfaceTable* table) { table_ = table; }

  // The handler of the calculation timer.
  void Tick();

  // True when a reading was taken.
  bool ReadInterfaceCounters(int16_t selection, uint32_t& outOctets, uint32_t& inOctets);

  // "All" followed by the description of every interface row.
  QStringList BuildAdapterList();

  // Every interface row of the latest tick that read the table, in the
  // table's order (adapter k of the list is row k - 1).
  const std::vector<InterfaceReading>& Interfaces() const { return interfaces_; }

  // Called after every tick that published its rates, with those rates in
  // bytes per second.
  std::function<void(double upstream, double downstream)> OnPublished;

 private:
  void RecordInterfaces();

  MeasurementState& state_;
  InterfaceTable* table_;
  TickHost& host_;
  const TickClock& clock_;
  std::vector<InterfaceReading> interfaces_;
  // The raw 32-bit counters behind interfaces_, row by row.
  std::vector<std::pair<uint32_t, uint32_t>> rawOctets_;
};

}  // namespace velmar
