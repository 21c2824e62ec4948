#pragma once

#include <QStringList>
#include <cstdint>

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

 private:
  MeasurementState& state_;
  InterfaceTable* table_;
  TickHost& host_;
  const TickClock& clock_;
};

}  // namespace velmar
