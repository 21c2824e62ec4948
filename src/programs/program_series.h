#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "programs/program_traffic.h"

namespace velmar::programs {

// Per-program byte counters for Prometheus with a bounded label set: at
// most `capacity` programs have a series of their own, the rest add up in
// "other". Every counter only grows, as Prometheus requires: a program's
// series counts from when it got its label (its earlier bytes stay in
// "other"), and a program losing its label takes nothing out of "other".
// A labelled program idle for `idle` makes room for a busier one.
class ProgramSeries {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr const char* kOther = "other";

  struct Series {
    std::string program;  // the row's program; kOther for the rest
    // What the `program` label says: the executable's whole path, so two
    // programs of one file name in different folders stay two series.
    std::string label;
    uint64_t received = 0;
    uint64_t transmitted = 0;
    Clock::time_point created{};
  };

  explicit ProgramSeries(size_t capacity = 20,
                         std::chrono::seconds idle = std::chrono::seconds(600));

  // Takes the rows' running volumes (ProgramTraffic::Rows()).
  void Update(const std::vector<ProgramFigures>& rows, Clock::time_point now);

  // The labelled series by program, then "other".
  std::vector<Series> All() const;

 private:
  struct Seen {
    uint64_t received = 0;
    uint64_t transmitted = 0;
    Clock::time_point lastActive{};
  };
  void Admit(const std::vector<ProgramFigures>& rows, Clock::time_point now);

  size_t capacity_;
  std::chrono::seconds idle_;
  std::map<std::string, Seen> seen_;
  std::map<std::string, Series> labelled_;
  Series other_;
};

}  // namespace velmar::programs
