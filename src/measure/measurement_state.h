#pragma once

#include <array>
#include <cstdint>

#include "config/kilobit.h"
#include "config/program_section.h"

namespace velmar {

// The main window's measurement fields that the tick reads and writes.
struct MeasurementState {
  bool AnalysisActive = false;
  bool GenerateMode = false;
  bool HttpBusy = false;
  int16_t AdapterIndex = 0;  // 0 = "All", k >= 1 = the k-th interface row
  uint32_t LastTickMs = 0;   // 0 = not yet stamped
  // Bytes since start-up. 64 bits: a 32-bit byte total wraps after 4 GiB.
  uint64_t TotalTraffic = 0;
  // The same bytes by direction, since start-up; never cleared, so a
  // reader keeps its own earlier value and takes the difference.
  uint64_t CountedDownBytes = 0;
  uint64_t CountedUpBytes = 0;
  // From the settings: 1 = "3 Pole", 2 = "Mid range", 3 = "Full range".
  uint8_t AveragingMode = 1;
  // 0: a kilobit is 1000 bits, 1: 1024 bits (see BitsPerKilobit).
  uint8_t KilobitMode = 0;

  // The averaging windows, oldest sample first, and the highest samples
  // seen, in bytes per second.
  std::array<float, 32> UpWindow{};
  std::array<float, 32> DownWindow{};
  float UpHighWater = 0;
  float DownHighWater = 0;
  float UpAverage = 0;
  float DownAverage = 0;

  // Publication: the rates of the last tick that differed from the one
  // before (1e9 at a start, so the first publication is a change), ticks
  // since, idle time per direction in ms, the every-second-tick flag of
  // the alarm evaluation, the average lock and the e-mail latch. Idle time
  // is 64-bit: 32 bits of milliseconds end after 24.8 days of quiet.
  float LastUpRate = 1e9f;
  float LastDownRate = 1e9f;
  uint8_t UnchangedTicks = 0;
  int64_t UpIdleMs = 0;
  int64_t DownIdleMs = 0;
  bool AlarmToggle = false;
  bool AverageLock = true;
  bool EmailLatch = false;

  // The number the error report shows: which handler or step ran last.
  SectionNumber ProgramSection;

  // What a start of measurement (and the program's creation) clears.
  void ResetForStart() {
    LastTickMs = 0;
    UpWindow.fill(0);
    DownWindow.fill(0);
    UpAverage = 0;
    DownAverage = 0;
    EmailLatch = false;
    LastUpRate = 1e9f;
    LastDownRate = 1e9f;
    UpHighWater = 0;
    DownHighWater = 0;
    UnchangedTicks = 0;
    UpIdleMs = 0;
    DownIdleMs = 0;
  }
};

}  // namespace velmar
