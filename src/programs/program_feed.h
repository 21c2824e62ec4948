#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "programs/packet_flows.h"
#include "programs/program_traffic.h"
#include "programs/socket_owner_index.h"
#include "programs/tcp_socket_reader.h"

namespace velmar::programs {

// One TCP connection with what it carried and its current rates.
struct ConnectionFigures {
  TcpSocketBytes socket;
  std::string program;     // the executable's path, or kOtherUsers / kNotAttributed
  double receiveRate = 0;  // bytes per second since the previous reading
  double transmitRate = 0;
};

// The flows the capture helper counted, fetched from its Unix socket; an
// empty optional when no helper answers there.
std::optional<std::vector<FlowBytes>> FetchCaptureSnapshot(const std::string& path);
// The capture helper beside the meter's executables in `applicationDir`,
// or where the package installs it beside a `bin` folder; empty for none.
std::string FindCaptureHelper(const std::string& applicationDir);
// Where the meter's own helper serves: $XDG_RUNTIME_DIR/velmar/capture.sock.
std::string DefaultCaptureSocket();

// Traffic per program and per connection, read at a slower beat than the
// meter's tick: a dump of the sockets costs milliseconds on a busy host, so
// it runs only while something shows, records or serves these figures, and
// at most once per `interval`. With the capture helper answering on its
// socket the figures come from its packet counts (UDP and QUIC included),
// tied to their sockets by address and port; without it from the TCP
// sockets' own counts, and the rest is "not attributed".
class ProgramFeed {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kInterval{2000};

  struct Options {
    std::chrono::milliseconds interval = kInterval;
    std::string captureSocket = DefaultCaptureSocket();
    // The helper to start when nothing answers on `captureSocket`; empty
    // for none. It fails without its capabilities, and nothing else does.
    std::string helper;
    std::string procRoot = "/proc";
    uid_t viewer = ::geteuid();
    ProgramTraffic::SocketFilter counts = ProgramTraffic::DefaultFilter();
  };

  explicit ProgramFeed(Options options);
  ProgramFeed() : ProgramFeed(Options{}) {}
  ~ProgramFeed();
  ProgramFeed(const ProgramFeed&) = delete;
  ProgramFeed& operator=(const ProgramFeed&) = delete;

  // Takes a reading when `interval` has passed since the last one, with
  // the monitored interfaces' running byte totals. True when it did; a
  // failed dump raises.
  bool Update(uint64_t countedReceived, uint64_t countedTransmitted, Clock::time_point now);

  // The programs, busiest first, "not attributed" last.
  const std::vector<ProgramFigures>& Rows() const { return rows_; }
  // The TCP connections of the latest reading.
  const std::vector<ConnectionFigures>& Connections() const { return connections_; }
  // Whether the latest reading came from the capture helper.
  bool Precise() const { return precise_; }
  // What the "not attributed" row holds, in the mode of the latest reading.
  std::string NotAttributedText() const;
  uint64_t Readings() const { return readings_; }

 private:
  void StartHelper();
  void ReapHelper();
  // The flows summed per socket, as sockets ProgramTraffic can take.
  std::vector<TcpSocketBytes> SocketsOfFlows(const std::vector<FlowBytes>& flows);
  void UpdateConnections(Clock::time_point now);

  struct Previous {
    uint64_t received = 0;
    uint64_t sent = 0;
  };

  Options options_;
  TcpSocketReader reader_;
  SocketOwnerIndex owners_;
  std::unique_ptr<ProgramTraffic> traffic_;
  bool started_ = false;
  Clock::time_point last_{};
  bool precise_ = false;
  pid_t helperPid_ = -1;
  uint64_t readings_ = 0;
  std::vector<TcpSocketBytes> tcp_;
  std::vector<TcpSocketBytes> udp_;
  std::vector<ProgramFigures> rows_;
  std::vector<ConnectionFigures> connections_;
  std::unordered_map<uint64_t, Previous> previous_;
  // The helper's counts by flow at the previous reading, and their running
  // sums by socket: flows the helper forgot take nothing away.
  std::map<FlowKey, Previous> flowLast_;
  std::unordered_map<uint64_t, Previous> flowSums_;
  // Volumes counted before the mode changed, by program.
  std::map<std::string, Previous> carried_;
};

}  // namespace velmar::programs
