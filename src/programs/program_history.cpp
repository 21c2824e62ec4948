#include "programs/program_history.h"

#include <algorithm>

#include "programs/program_lines.h"
#include "programs/program_traffic.h"

namespace velmar::programs {

void ProgramHistory::Read(const std::vector<ProgramFigures>& rows) {
  latest_.clear();
  for (const ProgramFigures& row : rows) {
    // The record's own count decides what is not attributed.
    if (row.program != kNotAttributed) {
      latest_[row.program] = {row.received, row.transmitted};
    }
  }
  if (rebase_) {
    marks_ = latest_;
    rebase_ = false;
  }
}

void ProgramHistory::Restart() {
  rebase_ = true;
}

std::vector<ProgramVolume> ProgramHistory::Take(uint64_t down, uint64_t up) {
  std::vector<ProgramVolume> programs;
  ProgramVolume others{QString::fromLatin1(kOtherUsers)};
  for (const auto& [program, now] : latest_) {
    const auto mark = marks_.find(program);
    const Volume before = mark == marks_.end() ? Volume{} : mark->second;
    ProgramVolume moved{QString::fromStdString(program), Grown(now.down, before.down),
                        Grown(now.up, before.up)};
    if (program == kOtherUsers) {
      others.down = moved.down;
      others.up = moved.up;
    } else if (moved.down + moved.up > 0) {
      programs.push_back(std::move(moved));
    }
  }
  marks_ = latest_;
  std::stable_sort(programs.begin(), programs.end(),
                   [](const auto& a, const auto& b) { return a.down + a.up > b.down + b.up; });
  ProgramVolume rest{QString::fromLatin1(kOtherPrograms)};
  for (size_t i = top_; i < programs.size(); ++i) {
    rest.down += programs[i].down;
    rest.up += programs[i].up;
  }
  programs.resize(std::min(programs.size(), top_));
  for (const ProgramVolume& row : {rest, others}) {
    if (row.down + row.up > 0) {
      programs.push_back(row);
    }
  }
  uint64_t attributedDown = 0;
  uint64_t attributedUp = 0;
  for (const ProgramVolume& row : programs) {
    attributedDown += row.down;
    attributedUp += row.up;
  }
  // Always there, so a record of an idle line still says it was read.
  programs.push_back({QString::fromLatin1(kNotAttributed),
                      down > attributedDown ? down - attributedDown : 0,
                      up > attributedUp ? up - attributedUp : 0});
  return programs;
}

}  // namespace velmar::programs
