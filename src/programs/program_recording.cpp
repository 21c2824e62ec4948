#include "programs/program_recording.h"

namespace velmar::programs {

void ProgramRecording::Tick(uint64_t countedDown, uint64_t countedUp) {
  if (failed_) {
    return;
  }
  try {
    if (!feed_) {
      feed_ = std::make_unique<ProgramFeed>(options_);
    }
    if (feed_->Update(countedDown, countedUp, ProgramFeed::Clock::now())) {
      history_.Read(feed_->Rows());
    }
  } catch (...) {
    failed_ = true;
    feed_.reset();
    throw;
  }
}

}  // namespace velmar::programs
