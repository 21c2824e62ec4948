#include "measure/interface_counters.h"

#include <algorithm>

namespace velmar {

namespace {

uint64_t Difference(uint64_t now, uint64_t before, bool wide) {
  if (wide) {
    return now >= before ? now - before : 0;
  }
  const uint32_t moved = static_cast<uint32_t>(now) - static_cast<uint32_t>(before);
  return moved < 0x80000000u ? moved : 0;
}

}  // namespace

const std::vector<InterfaceCounters::Moved>& InterfaceCounters::Read(
    const std::vector<MibRow>& rows, const std::vector<bool>& countsInAll) {
  moved_.assign(rows.size(), Moved{});
  readings_.clear();
  readings_.reserve(rows.size());
  next_.clear();
  next_.reserve(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const MibRow& row = rows[i];
    Previous now;
    now.index = row.IfIndex;
    now.name = row.IfDescr;
    now.wide = row.HasHCOctets();
    now.in = now.wide ? row.IfHCInOctets : row.IfInOctets;
    now.out = now.wide ? row.IfHCOutOctets : row.IfOutOctets;

    const auto before =
        std::lower_bound(previous_.begin(), previous_.end(), now.index,
                         [](const Previous& p, int32_t index) { return p.index < index; });
    if (before != previous_.end() && before->index == now.index && before->name == now.name) {
      now.countedIn = before->countedIn;
      now.countedOut = before->countedOut;
      if (!interrupted_ && before->wide == now.wide) {
        moved_[i].in = Difference(now.in, before->in, now.wide);
        moved_[i].out = Difference(now.out, before->out, now.wide);
        now.countedIn += moved_[i].in;
        now.countedOut += moved_[i].out;
      }
    }
    readings_.push_back(InterfaceReading{now.index, now.name, now.countedIn, now.countedOut,
                                         i < countsInAll.size() && countsInAll[i]});
    next_.push_back(std::move(now));
  }
  // An agent that names one index twice: the first row of it stays. Rows
  // come in index order as a rule, and then need no sorting (nor the
  // buffer a stable sort takes).
  const auto byIndex = [](const Previous& a, const Previous& b) { return a.index < b.index; };
  if (!std::is_sorted(next_.begin(), next_.end(), byIndex)) {
    std::stable_sort(next_.begin(), next_.end(), byIndex);
  }
  next_.erase(std::unique(next_.begin(), next_.end(),
                          [](const Previous& a, const Previous& b) { return a.index == b.index; }),
              next_.end());
  previous_.swap(next_);
  interrupted_ = false;
  return moved_;
}

}  // namespace velmar
