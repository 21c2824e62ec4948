#include "counter_sampler.h"

#include <QScopeGuard>
#include <cmath>

#include "interface_table.h"

namespace velmar {

namespace {

// Counter and tick-count differences are taken modulo 2^32 and read signed.
int32_t Difference(uint32_t now, uint32_t before) {
  return static_cast<int32_t>(now - before);
}

// What moved on a counter since its last reading. Nothing without a
// previous reading, or when the counter went down (an interface that was
// reset or vanished from "All").
uint32_t Moved(uint32_t now, uint32_t before) {
  const int32_t difference = Difference(now, before);
  return before != 0 && difference > 0 ? static_cast<uint32_t>(difference) : 0;
}

// What one interface's counter moved since the last tick, 0 included as a
// reading. A counter that went down (reset) adds nothing.
uint32_t Advance(uint32_t now, uint32_t before) {
  const int32_t difference = Difference(now, before);
  return difference > 0 ? static_cast<uint32_t>(difference) : 0;
}

}  // namespace

CounterSampler::CounterSampler(MeasurementState& state, InterfaceTable* table, TickHost& host,
                               const TickClock& clock)
    : state_(state), table_(table), host_(host), clock_(clock) {}

void CounterSampler::Tick() {
  state_.ProgramSection = 21;
  if (state_.AnalysisActive == 0) {
    host_.SetCalcTimerEnabled(false);
    return;
  }
  if (state_.GenerateMode && !state_.HttpBusy) {
    try {
      host_.StartDownload();
    } catch (const std::exception&) {
      // A failed download is Generate mode's own business (it reports in
      // its status line); the tick goes on measuring whatever moved.
    }
  }
  state_.ProgramSection = 211;
  if (state_.LastTickMs == 0) {
    state_.LastTickMs = clock_.TickCount();
    return;
  }

  host_.SetCalcTimerEnabled(false);
  double upstream = 0;
  double downstream = 0;
  state_.ProgramSection = 212;
  state_.PrevInOctets = state_.CurInOctets;
  state_.PrevOutOctets = state_.CurOutOctets;
  if (ReadInterfaceCounters(state_.AdapterIndex, state_.CurOutOctets, state_.CurInOctets)) {
    try {
      const uint32_t now = clock_.TickCount();
      state_.ProgramSection = 213;
      const uint32_t movedIn = Moved(state_.CurInOctets, state_.PrevInOctets);
      const uint32_t movedOut = Moved(state_.CurOutOctets, state_.PrevOutOctets);
      state_.TotalTraffic += static_cast<uint64_t>(movedIn) + movedOut;
      state_.CountedDownBytes += movedIn;
      state_.CountedUpBytes += movedOut;
      state_.ProgramSection = 214;
      const int32_t elapsed = Difference(now, state_.LastTickMs);
      const double seconds = elapsed / 1000.0;
      if (std::nearbyint(seconds) > 0) {  // FE_TONEAREST: halves go to even
        upstream = movedOut / seconds;
        state_.ProgramSection = 215;
        downstream = movedIn / seconds;
      }
    } catch (const std::exception& e) {
      host_.HandleException(e);
    }
  }

  state_.ProgramSection = 216;
  state_.LastTickMs = clock_.TickCount();
  if (state_.AnalysisActive != 0) {
    host_.PublishResults(upstream, downstream);
    if (OnPublished) {
      OnPublished(upstream, downstream);
    }
  }
  state_.ProgramSection = 217;
  if (state_.AnalysisActive == 1) {
    host_.SetCalcTimerEnabled(true);
  }
}

bool CounterSampler::ReadInterfaceCounters(int16_t selection, uint32_t& outOctets,
                                           uint32_t& inOctets) {
  outOctets = 0;
  inOctets = 0;
  state_.ProgramSection = 7;
  if (table_ == nullptr) {
    return false;
  }
  try {
    table_->Refresh(InterfaceTable::kInterfaces);
  } catch (const std::exception&) {
    return false;  // a tick without a reading
  }
  RecordInterfaces();
  const int rows = std::min(table_->Count(), kMaxRowsExamined);
  bool result = false;
  for (int i = 0; i < rows; ++i) {
    const MibRow& row = table_->Items(i);
    if (selection == 0) {
      if (row.IfIndex > 1) {
        outOctets += row.IfOutOctets;
        inOctets += row.IfInOctets;
      }
      result = true;
    } else if (i == selection - 1) {
      outOctets = row.IfOutOctets;
      inOctets = row.IfInOctets;
      return true;
    }
  }
  return result;
}

void CounterSampler::RecordInterfaces() {
  std::vector<InterfaceReading> readings;
  std::vector<std::pair<uint32_t, uint32_t>> raw;
  readings.reserve(static_cast<size_t>(table_->Count()));
  raw.reserve(static_cast<size_t>(table_->Count()));
  for (int i = 0; i < table_->Count(); ++i) {
    const MibRow& row = table_->Items(i);
    InterfaceReading reading{row.IfIndex, row.IfDescr, 0, 0,
                             i < kMaxRowsExamined && row.IfIndex > 1};
    // The same interface as before (same index and name; usually the same
    // row) adds what its counters moved; anything else is a new interface
    // counting from 0.
    const auto same = [&](size_t k) {
      return k < interfaces_.size() && interfaces_[k].index == row.IfIndex &&
             interfaces_[k].name == row.IfDescr;
    };
    size_t k = static_cast<size_t>(i);
    if (!same(k)) {
      k = 0;
      while (k < interfaces_.size() && !same(k)) {
        ++k;
      }
    }
    if (k < interfaces_.size()) {
      reading.inOctets = interfaces_[k].inOctets + Advance(row.IfInOctets, rawOctets_[k].first);
      reading.outOctets = interfaces_[k].outOctets + Advance(row.IfOutOctets, rawOctets_[k].second);
    }
    readings.push_back(std::move(reading));
    raw.emplace_back(row.IfInOctets, row.IfOutOctets);
  }
  interfaces_ = std::move(readings);
  rawOctets_ = std::move(raw);
}

QStringList CounterSampler::BuildAdapterList() {
  state_.ProgramSection = 6;
  host_.SetCalcTimerEnabled(false);
  // Back on, on every way out, while measuring.
  const auto resume = qScopeGuard([this] {
    if (state_.AnalysisActive == 1) {
      host_.SetCalcTimerEnabled(true);
    }
  });
  QStringList list{QStringLiteral("All")};
  // Without an agent there are no interfaces to name, only "All".
  if (table_ != nullptr) {
    table_->Refresh(InterfaceTable::kInterfaces);
    for (int i = 0; i < table_->Count(); ++i) {
      list << table_->Items(i).IfDescr;
    }
  }
  return list;
}

}  // namespace velmar
