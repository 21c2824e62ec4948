#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "programs/socket_owner_index.h"
#include "programs/tcp_socket_reader.h"

namespace velmar::programs {

// How much a socket's byte counter grew. A counter that went down belongs to
// a new socket under a reused inode, whose whole count is new.
inline uint64_t Grown(uint64_t now, uint64_t before) {
  return now >= before ? now - before : now;
}

// The rows that are not a program.
inline constexpr const char* kOtherUsers = "other users";
inline constexpr const char* kNotAttributed = "not attributed";

struct ProgramFigures {
  std::string program;     // the executable's path, or one of the rows above
  std::string name;        // what a person reads: the executable's file name
  double receiveRate = 0;  // bytes per second over the last interval
  double transmitRate = 0;
  uint64_t received = 0;  // bytes since the first reading
  uint64_t transmitted = 0;
};

// Turns readings of the sockets' byte counts into traffic per program. The
// row "not attributed" is what the monitored interfaces counted beyond the
// sockets' sum (UDP, connections opened and closed between two readings,
// protocol headers, the kernel's own traffic), so the rows always add up
// to the interfaces' total.
class ProgramTraffic {
 public:
  using Clock = std::chrono::steady_clock;
  // Whether a socket's traffic crosses the monitored interfaces.
  using SocketFilter = std::function<bool(const TcpSocketBytes&)>;

  explicit ProgramTraffic(SocketFilter counts = DefaultFilter());

  // One reading: the sockets, their owners, and the byte totals the
  // monitored interfaces counted (running sums; a total that goes down
  // starts the interfaces' side anew). The first reading only sets the
  // baseline.
  void Update(const std::vector<TcpSocketBytes>& sockets, const SocketOwnerIndex& owners,
              uint64_t countedReceived, uint64_t countedTransmitted, Clock::time_point at);

  // Every row seen, busiest first (by current rate, then volume); "not
  // attributed" last.
  std::vector<ProgramFigures> Rows() const;

  // Leaves out only connections within this machine.
  static SocketFilter DefaultFilter();

 private:
  struct Counts {
    uint64_t received = 0;
    uint64_t sent = 0;
  };
  ProgramFigures& Row(const std::string& program);

  SocketFilter counts_;
  bool started_ = false;
  Clock::time_point last_{};
  Counts lastCounted_;
  std::unordered_map<uint64_t, Counts> sockets_;
  std::map<std::string, ProgramFigures> rows_;
};

}  // namespace velmar::programs
