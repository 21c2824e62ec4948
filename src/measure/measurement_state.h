#pragma once

#include <cstdint>

namespace velmar {

// The main window's measurement fields that the tick reads and writes.
struct MeasurementState {
  uint8_t AnalysisActive = 0;
  bool GenerateMode = false;
  bool HttpBusy = false;
  int16_t AdapterIndex = 0;  // 0 = "All", k >= 1 = the k-th interface row
  uint32_t CurOutOctets = 0;
  uint32_t CurInOctets = 0;
  uint32_t PrevOutOctets = 0;
  uint32_t PrevInOctets = 0;
  uint32_t LastTickMs = 0;  // 0 = not yet stamped
  // Bytes since start-up. 64 bits: a 32-bit byte total wraps after 4 GiB.
  uint64_t TotalTraffic = 0;
  // The number the error report shows: which handler or step ran last.
  uint8_t ProgramSection = 0;

  // What a start (and the program's creation) clears.
  void ResetSampling() {
    LastTickMs = 0;
    CurOutOctets = 0;
    CurInOctets = 0;
  }
};

}  // namespace velmar
