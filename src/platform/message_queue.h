#pragma once

#include <chrono>

namespace velmar {

// Every "let the message queue run" of the meter goes through here. Compute
// loops call RunIfDue() at each step; it runs the queue only when at least
// the minimum interval of work has passed since the last run or since the
// event loop last woke up (one processEvents costs about 2 µs, a
// steady-clock check nanoseconds). Wait loops and one-off places call
// RunNow().
class MessageQueue {
 public:
  static void RunIfDue();
  static void RunNow();

  // 1 ms by default; tests set 0 so the queue runs at every call.
  static void SetMinimumInterval(std::chrono::nanoseconds interval);
  static std::chrono::nanoseconds MinimumInterval();

  // How many times the queue has actually run (for tests and benchmarks).
  static unsigned long long Runs();
};

}  // namespace velmar
