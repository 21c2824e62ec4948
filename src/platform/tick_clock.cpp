#include "platform/tick_clock.h"

#include <chrono>

namespace velmar {

uint32_t SystemTickClock::TickCount() const {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  // steady_clock starts at boot on Linux, so low values do occur for a
  // freshly booted machine; 0 is reserved by callers for "not stamped".
  return static_cast<uint32_t>(ms.count());
}

const TickClock& SystemClock() {
  static const SystemTickClock clock;
  return clock;
}

}  // namespace velmar
