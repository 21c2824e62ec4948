#include "measure/counter_sampler.h"

#include "config/program_section.h"

#include <QScopeGuard>
#include <cmath>

#include "measure/edge_selection.h"
#include "measure/interface_table.h"

namespace velmar {

namespace {

// Tick-count differences are taken modulo 2^32 and read signed.
int32_t Difference(uint32_t now, uint32_t before) {
  return static_cast<int32_t>(now - before);
}

}  // namespace

CounterSampler::CounterSampler(MeasurementState& state, InterfaceTable* table, TickHost& host,
                               const TickClock& clock)
    : state_(state), table_(table), host_(host), clock_(clock) {}

void CounterSampler::Tick() {
  state_.ProgramSection = section::kTick;
  if (!state_.AnalysisActive) {
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
  state_.ProgramSection = section::kTickStamp;
  if (state_.LastTickMs == 0) {
    // A start: what moved while the meter was not measuring is not traffic
    // of this measurement.
    counters_.Interrupt();
    state_.LastTickMs = clock_.TickCount();
    return;
  }

  host_.SetCalcTimerEnabled(false);
  double upstream = 0;
  double downstream = 0;
  state_.ProgramSection = section::kTickRead;
  uint64_t movedOut = 0;
  uint64_t movedIn = 0;
  if (ReadInterfaceCounters(state_.AdapterIndex, movedOut, movedIn)) {
    try {
      const uint32_t now = clock_.TickCount();
      state_.ProgramSection = section::kTickTotals;
      state_.TotalTraffic += movedIn + movedOut;
      state_.CountedDownBytes += movedIn;
      state_.CountedUpBytes += movedOut;
      state_.ProgramSection = section::kTickUpRate;
      const int32_t elapsed = Difference(now, state_.LastTickMs);
      const double seconds = elapsed / 1000.0;
      if (std::nearbyint(seconds) > 0) {  // FE_TONEAREST: halves go to even
        upstream = static_cast<double>(movedOut) / seconds;
        state_.ProgramSection = section::kTickDownRate;
        downstream = static_cast<double>(movedIn) / seconds;
      }
    } catch (const std::exception& e) {
      host_.HandleException(e);
    }
  }

  state_.ProgramSection = section::kTickPublish;
  state_.LastTickMs = clock_.TickCount();
  if (state_.AnalysisActive) {
    host_.PublishResults(upstream, downstream);
    if (OnPublished) {
      OnPublished(upstream, downstream);
    }
  }
  state_.ProgramSection = section::kTickRearm;
  if (state_.AnalysisActive) {
    host_.SetCalcTimerEnabled(true);
  }
}

bool CounterSampler::ReadInterfaceCounters(int16_t selection, uint64_t& movedOut,
                                           uint64_t& movedIn) {
  movedOut = 0;
  movedIn = 0;
  state_.ProgramSection = section::kReadCounters;
  if (table_ == nullptr) {
    return false;
  }
  try {
    table_->Refresh(InterfaceTable::kInterfaces);
  } catch (const std::exception& e) {
    // A tick without a reading; the one after it compares with nothing,
    // so what moved meanwhile never shows as one tick's burst.
    counters_.Interrupt();
    NoteSourceStatus(QString::fromUtf8(e.what()));
    return false;
  }
  NoteSourceStatus({});
  if (adaptersPending_) {
    adaptersPending_ = false;
    if (OnAdaptersFound) {
      OnAdaptersFound();
    }
  }
  const std::vector<bool> countsInAll = EdgeSelection::Choose(*table_);
  const std::vector<InterfaceCounters::Moved>& moved =
      counters_.Read(table_->AllItems(), countsInAll);
  if (moved.empty()) {
    counters_.Interrupt();
    return false;
  }
  if (selection == 0) {
    for (size_t i = 0; i < moved.size(); ++i) {
      if (countsInAll[i]) {
        movedIn += moved[i].in;
        movedOut += moved[i].out;
      }
    }
    return true;
  }
  if (selection < 1 || static_cast<size_t>(selection) > moved.size()) {
    return false;
  }
  movedIn = moved[static_cast<size_t>(selection) - 1].in;
  movedOut = moved[static_cast<size_t>(selection) - 1].out;
  return true;
}

void CounterSampler::NoteSourceStatus(const QString& failure) {
  if (failure == failure_) {
    return;
  }
  // A failure whose text changes (the seconds without data grow) is told
  // once: only the turn from working to failing and back is news.
  const bool news = failure.isEmpty() != failure_.isEmpty();
  failure_ = failure;
  if (news && OnSourceStatus) {
    OnSourceStatus(failure_);
  }
}

QStringList CounterSampler::BuildAdapterList() {
  QStringList list{QStringLiteral("All")};
  std::vector<Adapter> adapters;
  try {
    adapters = ListAdapters();
  } catch (const TableError&) {
    // A router that is off, or a network not up yet at log-in: the meter
    // waits for it rather than failing the whole start. The readings say
    // why (the start's own status texts would hide it if said now).
    if (table_ == nullptr || table_->DeviceAddress().isEmpty()) {
      throw;
    }
    adaptersPending_ = true;
    return list;
  }
  adaptersPending_ = false;
  for (const Adapter& adapter : adapters) {
    list << adapter.name;
  }
  return list;
}

std::vector<CounterSampler::Adapter> CounterSampler::ListAdapters() {
  state_.ProgramSection = section::kListAdapters;
  host_.SetCalcTimerEnabled(false);
  // Back on, on every way out, while measuring.
  const auto resume = qScopeGuard([this] {
    if (state_.AnalysisActive) {
      host_.SetCalcTimerEnabled(true);
    }
  });
  std::vector<Adapter> adapters;
  // Without an agent there are no interfaces to name, only "All".
  if (table_ != nullptr) {
    table_->Refresh(InterfaceTable::kInterfaces);
    const std::vector<bool> countsInAll = EdgeSelection::Choose(*table_);
    adapters.reserve(countsInAll.size());
    for (int i = 0; i < table_->Count(); ++i) {
      const MibRow& row = table_->Items(i);
      adapters.push_back(Adapter{row.IfIndex, row.IfDescr, countsInAll[static_cast<size_t>(i)]});
    }
  }
  return adapters;
}

QString CounterSampler::DescribeAll(const std::vector<Adapter>& adapters) {
  QStringList counted;
  for (const Adapter& adapter : adapters) {
    if (adapter.countsInAll) {
      counted << adapter.name;
    }
  }
  if (counted.isEmpty()) {
    return QStringLiteral("\"All\" counts no interface here (only the loopback is present).");
  }
  return QStringLiteral("\"All\" counts: %1.").arg(counted.join(QStringLiteral(", ")));
}

}  // namespace velmar
