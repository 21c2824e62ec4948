#include "measure/averaging_engine.h"

#include "config/program_section.h"

#include "platform/message_queue.h"

namespace velmar {

namespace {

// Picked as "no sample yet" in the minimum search; as a single it is
// 999999995904, and no sample of that size or more is ever picked.
constexpr float kNoneYet = 1e12f;

struct Band {
  float sum = 0;
  int count = 0;
};

}  // namespace

float AveragingEngine::ComputeAverage(uint8_t direction, float sample) {
  if (direction != kUp && direction != kDown) {
    return 0;
  }
  SectionScope here(state_.ProgramSection, section::kComputeAverage);
  try {
    return direction == kUp ? Compute(state_.UpWindow, state_.UpHighWater, sample)
                            : Compute(state_.DownWindow, state_.DownHighWater, sample);
  } catch (const std::exception& e) {
    if (errors_ != nullptr) {
      errors_->HandleException(e);
    }
    return 0;
  }
}

float AveragingEngine::Compute(Window& w, float& high, float sample) {
  if (sample < 1.0f) {
    return 0;
  }
  const std::optional<int> positive = ShiftIn(w, high, sample);
  if (!positive) {
    return 0;
  }
  if (*positive < 2) {
    high = 0;
    return 0;
  }
  const std::optional<Window> sorted = SortedPositives(w);
  return sorted ? CombineBands(*sorted) : 0;
}

std::optional<int> AveragingEngine::ShiftIn(Window& w, float& high, float sample) {
  int positive = 0;
  for (int i = 1; i < 32; ++i) {
    w[i - 1] = w[i];
    if (w[i - 1] > high) {
      high = w[i - 1];
    }
    if (w[i - 1] > 0) {
      ++positive;
    }
    MessageQueue::RunIfDue();
    if (Stopped()) {
      return std::nullopt;
    }
  }
  w[31] = sample;
  if (sample > 0) {
    ++positive;
  }
  if (sample > high) {
    high = sample;
  }
  return positive;
}

// A repeated minimum search, lowest index first among equal values.
std::optional<AveragingEngine::Window> AveragingEngine::SortedPositives(const Window& w) {
  Window copy = w;
  Window sorted{};
  int n = 0;
  while (n < 32) {
    float best = kNoneYet;
    int at = -1;
    for (int j = 0; j < 32; ++j) {
      if (copy[j] > 0 && copy[j] < best) {
        best = copy[j];
        at = j;
      }
      MessageQueue::RunIfDue();
      if (Stopped()) {
        return std::nullopt;
      }
    }
    if (at < 0) {
      break;
    }
    sorted[n++] = best;
    copy[at] = -1;
  }
  return sorted;
}

float AveragingEngine::CombineBands(const Window& sorted) const {
  const auto band = [&](int from, int to) {
    Band b;
    for (int k = from; k <= to; ++k) {
      if (sorted[k] > 0) {
        b.sum += sorted[k];
        ++b.count;
      }
    }
    return b;
  };
  const Band a = band(0, 11);
  if (a.count == 0) {
    return 0;
  }
  if (a.count < 12) {
    return a.sum / static_cast<float>(a.count);
  }
  const Band b = band(12, 27);
  if (b.count < 16 || state_.AveragingMode == 3) {
    return (a.sum + b.sum) / static_cast<float>(12 + b.count);
  }
  const Band c = band(28, 31);
  if (c.count < 4 || state_.AveragingMode == 2) {
    return b.sum / 16.0f;
  }
  return ((a.sum / 12.0f + c.sum / 4.0f) / 2.0f + b.sum / 16.0f) / 2.0f;
}

}  // namespace velmar
