#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "history/program_volumes.h"
#include "programs/program_traffic.h"

namespace velmar::programs {

// The history's rows per program, from the feed's readings: each record
// gets what every program moved since the record before. The `top`
// programs that moved most have rows of their own, the rest add up in
// "other"; "other users" keeps its row, and "not attributed" is what the
// record counted beyond all of them, so the rows add up to the record's
// bytes and the label set stays bounded.
class ProgramHistory : public ProgramVolumeSource {
 public:
  explicit ProgramHistory(size_t top) : top_(top) {}

  // After each reading of the feed: its rows, volumes since it started.
  void Read(const std::vector<ProgramFigures>& rows);

  // ProgramVolumeSource. After a restart the next reading is the new
  // baseline: what the sockets carried while the meter slept is in no
  // record.
  void Restart() override;
  std::vector<ProgramVolume> Take(uint64_t down, uint64_t up) override;

 private:
  struct Volume {
    uint64_t down = 0;
    uint64_t up = 0;
  };

  size_t top_;
  bool rebase_ = true;
  // The running volumes at the latest reading, and at the previous record.
  std::map<std::string, Volume> latest_;
  std::map<std::string, Volume> marks_;
};

}  // namespace velmar::programs
