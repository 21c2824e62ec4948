#pragma once

#include <QByteArrayView>
#include <cstdint>
#include <optional>

namespace velmar {

// What the usual process metrics show of this process, read from /proc at
// scrape time (never on the meter's tick). Times in seconds, sizes in
// bytes; a figure the system did not tell is absent.
struct ProcessFigures {
  std::optional<double> cpuSeconds;
  std::optional<double> startTime;  // Unix time
  std::optional<uint64_t> residentBytes;
  std::optional<uint64_t> virtualBytes;
  std::optional<uint64_t> openFds;
  std::optional<uint64_t> maxFds;

  static ProcessFigures OfThisProcess();

  // The figures of a /proc/<pid>/stat line; `ticksPerSecond`, `pageSize`
  // and `bootTime` (Unix time) turn its counts into seconds and bytes.
  // Missing or garbled fields leave their figures absent.
  static ProcessFigures FromStat(QByteArrayView stat, long ticksPerSecond, long pageSize,
                                 std::optional<double> bootTime);
};

}  // namespace velmar
