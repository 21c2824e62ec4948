#pragma once

#include <cstdint>

namespace velmar {

// The system tick count: milliseconds since some fixed moment, wrapping at
// 2^32 like the counters it is compared with. A seam so tests set time.
class TickClock {
 public:
  virtual ~TickClock() = default;
  virtual uint32_t TickCount() const = 0;
};

class SystemTickClock : public TickClock {
 public:
  uint32_t TickCount() const override;
};

// The clock every component uses unless a test hands in its own.
const TickClock& SystemClock();

}  // namespace velmar
