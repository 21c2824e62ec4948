#pragma once

namespace velmar {

// Bits in a kilobit under the kilobit setting (settings line 1; 0: 1000
// bits, 1: 1024 bits).
constexpr int BitsPerKilobit(int kilobitMode) {
  return 1000 + 24 * kilobitMode;
}

// A rate in bytes per second as kilobits per second.
constexpr double Kbps(double bytesPerSecond, int kilobitMode) {
  return bytesPerSecond * 8.0 / BitsPerKilobit(kilobitMode);
}

}  // namespace velmar
