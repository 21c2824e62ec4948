#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "interfaces/mib_row.h"

namespace velmar {

// One interface as the meter counted it up to the latest tick.
struct InterfaceReading {
  int32_t index;
  QString name;
  // Bytes the meter has seen move on the interface since it first read it:
  // the sum of its per-tick differences. Never goes backwards; starts at 0
  // for an interface the meter has not seen before (a new ifIndex or name).
  uint64_t inOctets;
  uint64_t outOctets;
  bool countsInAll;
};

// The previous reading of every interface, by ifIndex, and what moved on
// each since. A counter is the 64-bit ifHCIn/OutOctets where the agent
// offers it, else the 32-bit ifIn/OutOctets, whose differences are taken
// modulo 2^32 (a wrap) when below 2^31 and read as a reset above. An
// interface adds nothing on its first reading (new, back after vanishing,
// after a switch of counter width or a failed reading), nor when its counter
// went down (a reset); one that vanished simply stops adding.
class InterfaceCounters {
 public:
  struct Moved {
    uint64_t in = 0;
    uint64_t out = 0;
  };

  // Takes a reading of `rows`; returns what moved on each row since the
  // previous reading. `countsInAll` has one flag per row.
  const std::vector<Moved>& Read(const std::vector<MibRow>& rows,
                                 const std::vector<bool>& countsInAll);

  // The next reading of every interface is a first one (a start of the
  // measurement, a tick without a reading); the counts are kept.
  void Interrupt() { interrupted_ = true; }

  // The interfaces of the latest reading, in table order.
  const std::vector<InterfaceReading>& Interfaces() const { return readings_; }

 private:
  struct Previous {
    int32_t index = 0;
    QString name;
    bool wide = false;
    uint64_t in = 0;
    uint64_t out = 0;
    uint64_t countedIn = 0;
    uint64_t countedOut = 0;
  };

  std::vector<Previous> previous_;  // sorted by index
  std::vector<Previous> next_;
  std::vector<Moved> moved_;
  std::vector<InterfaceReading> readings_;
  bool interrupted_ = true;
};

}  // namespace velmar
