#pragma once

#include <cstdint>
#include <memory>

#include "programs/program_feed.h"
#include "programs/program_history.h"

namespace velmar::programs {

// The readings the window's history takes its volumes per program from
// (settings line 65): a feed of its own, read at the feed's beat after
// the meter's publications, from the first publication on.
class ProgramRecording {
 public:
  ProgramRecording(size_t top, ProgramFeed::Options options)
      : options_(std::move(options)), history_(top) {}

  // After a publication, with the monitored interfaces' running totals. A
  // failed reading raises once; the history goes on without the programs.
  void Tick(uint64_t countedDown, uint64_t countedUp);
  ProgramVolumeSource& Source() { return history_; }

 private:
  ProgramFeed::Options options_;
  std::unique_ptr<ProgramFeed> feed_;
  ProgramHistory history_;
  bool failed_ = false;
};

}  // namespace velmar::programs
