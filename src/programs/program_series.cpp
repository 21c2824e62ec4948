#include "programs/program_series.h"

#include <algorithm>

namespace velmar::programs {

ProgramSeries::ProgramSeries(size_t capacity, std::chrono::seconds idle)
    : capacity_(capacity), idle_(idle) {
  other_.program = kOther;
  other_.label = kOther;
  other_.created = Clock::now();
}

void ProgramSeries::Update(const std::vector<ProgramFigures>& rows, Clock::time_point now) {
  for (const ProgramFigures& row : rows) {
    Seen& seen = seen_[row.program];
    const uint64_t received = row.received >= seen.received ? row.received - seen.received : 0;
    const uint64_t transmitted =
        row.transmitted >= seen.transmitted ? row.transmitted - seen.transmitted : 0;
    seen.received = row.received;
    seen.transmitted = row.transmitted;
    if (received + transmitted > 0) {
      seen.lastActive = now;
    }
    const auto labelled = labelled_.find(row.program);
    Series& series = labelled != labelled_.end() ? labelled->second : other_;
    series.received += received;
    series.transmitted += transmitted;
  }
  Admit(rows, now);
}

void ProgramSeries::Admit(const std::vector<ProgramFigures>& rows, Clock::time_point now) {
  // The rows come busiest first: the first unlabelled busy ones get the
  // free places, or those of labelled programs long idle.
  for (const ProgramFigures& row : rows) {
    if (row.receiveRate + row.transmitRate <= 0) {
      break;
    }
    if (labelled_.count(row.program) != 0) {
      continue;
    }
    if (labelled_.size() >= capacity_) {
      const auto idlest = std::min_element(
          labelled_.begin(), labelled_.end(), [this](const auto& a, const auto& b) {
            return seen_[a.first].lastActive < seen_[b.first].lastActive;
          });
      if (idlest == labelled_.end() || now - seen_[idlest->first].lastActive < idle_) {
        return;
      }
      labelled_.erase(idlest);
    }
    Series series;
    series.program = row.program;
    series.label = row.program;
    series.created = now;
    labelled_.emplace(row.program, series);
  }
}

std::vector<ProgramSeries::Series> ProgramSeries::All() const {
  std::vector<Series> all;
  all.reserve(labelled_.size() + 1);
  for (const auto& [program, series] : labelled_) {
    all.push_back(series);
  }
  all.push_back(other_);
  return all;
}

}  // namespace velmar::programs
