#include "measure/counter_sampler.h"

#include "config/program_section.h"

#include <QScopeGuard>
#include <algorithm>
#include <cmath>

#include "interfaces/interface_names.h"
#include "interfaces/interface_table.h"
#include "measure/edge_selection.h"

namespace velmar {

// A remote agent polls on its own beat, which must be the tick's.
static_assert(InterfaceTable::kRemotePollIntervalMs == kCalcTimerIntervalMs);

namespace {

// Tick-count differences are taken modulo 2^32 and read signed.
int32_t Difference(uint32_t now, uint32_t before) {
  return static_cast<int32_t>(now - before);
}

}  // namespace

namespace {
// The chosen interface is trusted by name (from the settings), whatever
// row number came with it.
constexpr int16_t kByName = -2;
}  // namespace

QString CounterSampler::Adapter::Shown() const {
  return WithAlias(name, alias);
}

CounterSampler::CounterSampler(MeasurementState& state, InterfaceTable* table, TickHost& host,
                               const TickClock& clock)
    : state_(state), table_(table), host_(host), clock_(clock) {}

void CounterSampler::SetTable(InterfaceTable* table) {
  table_ = table;
  setKnown_ = false;
  ForgetReading();
}

void CounterSampler::ForgetReading() {
  counters_.Interrupt();
  lastTakenUs_ = 0;
  lastUp_ = 0;
  lastDown_ = 0;
}

void CounterSampler::Tick() {
  SectionScope here(state_.ProgramSection, section::kTick);
  if (!state_.AnalysisActive) {
    host_.SetCalcTimerEnabled(false);
    return;
  }
  StartGenerateDownload();
  here.Step(section::kTickStamp);
  if (state_.LastTickMs == 0) {
    // A start: what moved while the meter was not measuring is not traffic
    // of this measurement.
    ForgetReading();
    state_.LastTickMs = clock_.TickCount();
    return;
  }

  host_.SetCalcTimerEnabled(false);
  Rates rates;
  here.Step(section::kTickRead);
  const Reading reading = Read(state_.AdapterIndex);
  if (reading.ok) {
    try {
      const uint32_t now = clock_.TickCount();
      AddToTotals(reading);
      rates = RatesOf(reading, now);
      lastUp_ = rates.up;
      lastDown_ = rates.down;
    } catch (const std::exception& e) {
      host_.HandleException(e);
    }
  }
  PublishAndRearm(rates);
}

void CounterSampler::StartGenerateDownload() {
  if (state_.GenerateMode && !state_.HttpBusy) {
    try {
      host_.StartDownload();
    } catch (const std::exception&) {
      // A failed download is Generate mode's own business (it reports in
      // its status line); the tick goes on measuring whatever moved.
    }
  }
}

void CounterSampler::AddToTotals(const Reading& reading) {
  SectionScope here(state_.ProgramSection, section::kTickTotals);
  state_.TotalTraffic += reading.movedIn + reading.movedOut;
  state_.CountedDownBytes += reading.movedIn;
  state_.CountedUpBytes += reading.movedOut;
}

CounterSampler::Rates CounterSampler::RatesOf(const Reading& reading, uint32_t now) {
  Rates rates;
  SectionScope here(state_.ProgramSection, section::kTickUpRate);
  if (table_ != nullptr && !table_->SupportsGet()) {
    // Read at the tick: the tick's own interval, as ever.
    const int32_t elapsed = Difference(now, state_.LastTickMs);
    const double seconds = elapsed / 1000.0;
    if (std::nearbyint(seconds) > 0) {  // FE_TONEAREST: halves go to even
      rates.up = static_cast<double>(reading.movedOut) / seconds;
      here.Step(section::kTickDownRate);
      rates.down = static_cast<double>(reading.movedIn) / seconds;
    }
  } else if (!reading.fresh) {
    // The device has not answered since the last tick: its last rate
    // still holds (a zero now and a double rate next would be wrong).
    rates.up = lastUp_;
    rates.down = lastDown_;
  } else if (reading.seconds > 0) {
    rates.up = static_cast<double>(reading.movedOut) / reading.seconds;
    here.Step(section::kTickDownRate);
    rates.down = static_cast<double>(reading.movedIn) / reading.seconds;
  }
  return rates;
}

void CounterSampler::PublishAndRearm(const Rates& rates) {
  SectionScope here(state_.ProgramSection, section::kTickPublish);
  state_.LastTickMs = clock_.TickCount();
  if (state_.AnalysisActive) {
    host_.PublishResults(rates.up, rates.down);
  }
  here.Step(section::kTickRearm);
  if (state_.AnalysisActive) {
    host_.SetCalcTimerEnabled(true);
  }
}

bool CounterSampler::SetDue(uint32_t now) const {
  return !setKnown_ || setInvalid_ || static_cast<uint32_t>(now - setReadMs_) >= kSetRefreshMs;
}

void CounterSampler::RefreshSet(uint32_t now) {
  table_->Refresh(InterfaceTable::kInterfaces);
  ++setRefreshes_;
  rows_ = table_->AllItems();
  choice_ = EdgeSelection::Decide(*table_);
  const QStringList shownNames = InterfaceNames(rows_);
  std::vector<Adapter> adapters;
  adapters.reserve(rows_.size());
  for (size_t i = 0; i < rows_.size(); ++i) {
    adapters.push_back(Adapter{rows_[i].IfIndex, shownNames[static_cast<qsizetype>(i)],
                               rows_[i].IfAlias, bool(choice_.counted[i]), rows_[i].IfDescr});
  }
  const auto names = [](const std::vector<Adapter>& list) {
    QStringList out;
    for (const Adapter& a : list) {
      out << a.Shown();
    }
    return out;
  };
  const bool changed = setKnown_ && names(adapters) != names(adapters_);
  adapters_ = std::move(adapters);
  setKnown_ = true;
  setInvalid_ = false;
  setReadMs_ = now;
  const bool news = adaptersPending_ || changed;
  adaptersPending_ = false;
  if (news) {
    emit adaptersChanged();
  }
}

QString CounterSampler::ReportedName(int16_t selection) const {
  return ChosenAbsent(selection) ? selectedName_ : AdapterName(selection);
}

bool CounterSampler::ChosenAbsent(int16_t selection) const {
  return selection != 0 && !selectedName_.isEmpty() && !adapters_.empty() &&
         std::none_of(adapters_.begin(), adapters_.end(),
                      [this](const Adapter& a) { return a.name == selectedName_; });
}

void CounterSampler::SelectAdapterByName(const QString& name) {
  selectedName_ = name;
  resolvedSelection_ = name.isEmpty() ? int16_t{-1} : kByName;
}

int CounterSampler::ResolveSelection(int16_t selection) {
  const int rows = static_cast<int>(adapters_.size());
  if (selection <= 0) {
    if (selection == 0 && resolvedSelection_ != 0) {
      selectedName_.clear();
      emit adapterFound(0, selectedName_);
    }
    resolvedSelection_ = selection;
    return -1;
  }
  if (resolvedSelection_ != kByName &&
      (selection != resolvedSelection_ || selectedName_.isEmpty())) {
    // Chosen by number: a new choice, or settings that name none.
    resolvedSelection_ = selection;
    if (selection > rows) {
      selectedName_.clear();
      return -1;
    }
    selectedName_ = adapters_[static_cast<size_t>(selection) - 1].name;
    emit adapterFound(selection, selectedName_);
    return selection - 1;
  }
  for (int i = 0; i < rows; ++i) {
    if (adapters_[static_cast<size_t>(i)].name == selectedName_) {
      if (i + 1 != selection || resolvedSelection_ == kByName) {
        emit adapterFound(i + 1, selectedName_);
      }
      resolvedSelection_ = static_cast<int16_t>(i + 1);
      return i;
    }
  }
  return -1;
}

CounterSampler::Reading CounterSampler::Read(int16_t selection) {
  Reading result;
  SectionScope here(state_.ProgramSection, section::kReadCounters);
  if (table_ == nullptr) {
    return result;
  }
  try {
    ReadTable(selection, result);
  } catch (const TableNotYetError&) {
    // Waiting for a device's first tables (hundreds of rows from a slow
    // agent) is no failure: the readings start when they are in.
    ForgetReading();
  } catch (const std::exception& e) {
    // A tick without a reading; the one after it compares with nothing,
    // so what moved meanwhile never shows as one tick's burst.
    ForgetReading();
    NoteSourceStatus(QString::fromUtf8(e.what()));
  }
  return result;
}

void CounterSampler::ReadTable(int16_t selection, Reading& result) {
  const bool legacy = !table_->SupportsGet();
  const uint32_t now = legacy ? 0 : clock_.TickCount();
  RefreshSetIfDue(legacy, now);
  const int row = ResolveSelection(selection);
  if (selection != 0 && row < 0) {
    ForgetReading();
    NoteAdapterGone();
    // The marks still come every tick: a port that returns changes them,
    // and is found at the next tick rather than at the next timed walk.
    if (!legacy && setKnown_) {
      NoteSetMarks(table_->ReadCounters({}).marks);
    }
    return;
  }
  ChooseRows(selection, row, legacy);
  uint64_t takenUs = 0;
  if (legacy) {
    scratch_.read = rows_;
    scratch_.counts = choice_.counted;
  } else if (!FetchChosenCounters(now, takenUs, result)) {
    return;
  }
  NameAsTheList(scratch_.read);
  const std::vector<InterfaceCounters::Moved>& moved =
      counters_.Read(scratch_.read, scratch_.counts);
  if (moved.empty() && legacy) {
    ForgetReading();
    return;
  }
  AddSelected(selection, row, moved, result);
  if (!legacy) {
    result.seconds = lastTakenUs_ != 0 && takenUs > lastTakenUs_
                         ? static_cast<double>(takenUs - lastTakenUs_) / 1e6
                         : 0;
    lastTakenUs_ = takenUs;
  }
  result.ok = true;
  result.fresh = true;
  NoteSourceStatus({});
}

void CounterSampler::RefreshSetIfDue(bool legacy, uint32_t now) {
  if (legacy) {
    RefreshSet(0);
  } else if (SetDue(now)) {
    try {
      RefreshSet(now);
    } catch (const TableError&) {
      // A device still sending its tables (thousands of rows): the set
      // known stands meanwhile, and the next tick tries again.
      if (!setKnown_) {
        throw;
      }
    }
  }
}

void CounterSampler::NoteAdapterGone() {
  if (selectedName_.isEmpty()) {
    return;
  }
  // Told once, even right after another failure (a device that was away
  // and is back without it).
  const QString gone =
      QStringLiteral("The adapter \"%1\" is not in the list now: it reads 0 until it returns.")
          .arg(selectedName_);
  if (failure_ != gone) {
    failure_ = gone;
    emit adapterLost(selectedName_);
    emit sourceStatusChanged(failure_);
  }
}

void CounterSampler::ChooseRows(int16_t selection, int row, bool legacy) {
  // The tick's working lists are kept between ticks: same sizes, no
  // allocation.
  scratch_.chosen.clear();
  scratch_.read.clear();
  scratch_.counts.clear();
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (legacy || readEvery_ ||
        (selection == 0 ? bool(choice_.counted[i]) : i == static_cast<size_t>(row))) {
      scratch_.chosen.push_back(i);
    }
  }
}

bool CounterSampler::FetchChosenCounters(uint32_t now, uint64_t& takenUs, Reading& result) {
  std::vector<InterfaceTable::CounterRequest>& requests = scratch_.requests;
  requests.clear();
  for (size_t i : scratch_.chosen) {
    requests.push_back({rows_[i].IfIndex, rows_[i].IfXInOctets, rows_[i].IfXOutOctets});
  }
  const InterfaceTable::CounterReading& reading = table_->ReadCounters(requests);
  NoteSetMarks(reading.marks);
  takenUs = reading.takenUs != 0 ? reading.takenUs : uint64_t{now} * 1000;
  // The same reading as the tick before, or one taken so soon after it
  // that the time between them says nothing: a rate over microseconds
  // would be a spike of thousands of times the traffic. The reading
  // before stays the one the next is measured from.
  if (takenUs <= lastTakenUs_ ||
      (lastTakenUs_ != 0 && takenUs - lastTakenUs_ < kMinRateIntervalUs)) {
    NoteSourceStatus({});
    result.ok = true;
    return false;
  }
  // An interface whose counters the reading lacks is gone (the set is
  // walked again at the next tick, which tells whether it is), or the
  // reading came from a poll that did not ask for it yet: either way
  // the reading says nothing new, and the next one is measured from
  // the last that had them all. Lacking still after that walk, the
  // device does not answer them: a failure, said, never a silent 0.
  for (size_t k = 0; k < reading.counters.size(); ++k) {
    if (reading.counters[k].present) {
      continue;
    }
    if (!counterMissing_) {
      counterMissing_ = true;
      setInvalid_ = true;
      result.ok = true;
      return false;
    }
    const QString where = table_->DeviceAddress().isEmpty()
                              ? QStringLiteral("The agent")
                              : QStringLiteral("The device at %1").arg(table_->DeviceAddress());
    throw TableRefreshError(
        QStringLiteral("%1 does not answer the octet counters of \"%2\" (ifIndex %3).")
            .arg(where, adapters_[scratch_.chosen[k]].name)
            .arg(rows_[scratch_.chosen[k]].IfIndex));
  }
  counterMissing_ = false;
  KeepCounters(reading.counters);
  return true;
}

void CounterSampler::NoteSetMarks(const InterfaceTable::SetMarks& marks) {
  const InterfaceTable::SetMarks& known = table_->Marks();
  if (marks.ifNumber != known.ifNumber || marks.lastChange != known.lastChange ||
      (marks.upTime >= 0 && marks.upTime < known.upTime)) {
    setInvalid_ = true;  // walked again at the next tick
  }
}

void CounterSampler::KeepCounters(const std::vector<InterfaceTable::Counters>& counters) {
  for (size_t k = 0; k < scratch_.chosen.size(); ++k) {
    const InterfaceTable::Counters& c = counters[k];
    MibRow r = rows_[scratch_.chosen[k]];
    r.HasHCInOctets = r.HasHCOutOctets = c.wide;
    r.IfHCInOctets = c.in;
    r.IfHCOutOctets = c.out;
    r.IfInOctets = static_cast<uint32_t>(c.in);
    r.IfOutOctets = static_cast<uint32_t>(c.out);
    scratch_.read.push_back(std::move(r));
    scratch_.counts.push_back(choice_.counted[scratch_.chosen[k]]);
  }
}

void CounterSampler::NameAsTheList(std::vector<MibRow>& read) const {
  // InterfaceCounters names interfaces as the list does.
  for (MibRow& r : read) {
    for (const Adapter& a : adapters_) {
      if (a.index == r.IfIndex) {
        r.IfDescr = a.name;
        break;
      }
    }
  }
}

void CounterSampler::AddSelected(int16_t selection, int row,
                                 const std::vector<InterfaceCounters::Moved>& moved,
                                 Reading& result) const {
  const std::vector<MibRow>& read = scratch_.read;
  for (size_t k = 0; k < read.size(); ++k) {
    if (selection == 0 ? bool(scratch_.counts[k])
                       : read[k].IfIndex == rows_[static_cast<size_t>(row)].IfIndex) {
      result.movedIn += moved[k].in;
      result.movedOut += moved[k].out;
    }
  }
}

bool CounterSampler::ReadInterfaceCounters(int16_t selection, uint64_t& movedOut,
                                           uint64_t& movedIn) {
  const Reading reading = Read(selection);
  movedOut = reading.movedOut;
  movedIn = reading.movedIn;
  return reading.ok;
}

void CounterSampler::NoteSourceStatus(const QString& failure) {
  if (failure == failure_) {
    return;
  }
  // A failure whose text changes (the seconds without data grow) is told
  // once: only the turn from working to failing and back is news.
  const bool news = failure.isEmpty() != failure_.isEmpty();
  failure_ = failure;
  if (news) {
    emit sourceStatusChanged(failure_);
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
    list << adapter.Shown();
  }
  return list;
}

std::vector<CounterSampler::Adapter> CounterSampler::ListAdapters() {
  SectionScope here(state_.ProgramSection, section::kListAdapters);
  host_.SetCalcTimerEnabled(false);
  // Back on, on every way out, while measuring.
  const auto resume = qScopeGuard([this] {
    if (state_.AnalysisActive) {
      host_.SetCalcTimerEnabled(true);
    }
  });
  // Without an agent there are no interfaces to name, only "All".
  if (table_ == nullptr) {
    return {};
  }
  const bool pending = adaptersPending_;
  adaptersPending_ = false;  // the caller builds its list now
  try {
    RefreshSet(clock_.TickCount());
  } catch (...) {
    adaptersPending_ = pending;
    throw;
  }
  return adapters_;
}

QString CounterSampler::AdapterName(int16_t selection) const {
  if (selection == 0) {
    return QStringLiteral("All");
  }
  if (selection < 0 || static_cast<size_t>(selection) > adapters_.size()) {
    return {};
  }
  return adapters_[static_cast<size_t>(selection) - 1].name;
}

QString CounterSampler::DescribeAll(const std::vector<Adapter>& adapters,
                                    EdgeSelection::Rule rule) {
  QStringList counted;
  for (const Adapter& adapter : adapters) {
    if (adapter.countsInAll) {
      counted << adapter.name;
    }
  }
  if (counted.isEmpty()) {
    return QStringLiteral("\"All\" counts no interface here (only the loopback is present).");
  }
  return QStringLiteral("\"All\" counts %1: %2.")
      .arg(QString::fromLatin1(EdgeSelection::RuleText(rule)), counted.join(QStringLiteral(", ")));
}

}  // namespace velmar
