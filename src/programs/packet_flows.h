#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Bytes per flow from captured packet headers: the capture helper's
// counting, and the meter's reading of what it hands over. Plain C++: the
// helper links no Qt.
namespace velmar::programs {

// A flow as this machine sees it: its own end first.
struct FlowKey {
  uint8_t protocol = 0;  // IPPROTO_TCP or IPPROTO_UDP
  uint8_t family = 0;    // AF_INET or AF_INET6
  std::array<uint8_t, 16> local{};
  std::array<uint8_t, 16> remote{};
  uint16_t localPort = 0;
  uint16_t remotePort = 0;
  uint32_t interface = 0;  // the interface index the packets crossed

  auto operator<=>(const FlowKey&) const = default;
};

struct FlowBytes {
  FlowKey key;
  uint64_t received = 0;  // IP bytes, headers included, as the line carried them
  uint64_t transmitted = 0;
};

// One packet of a Linux "cooked" v2 capture (DLT_LINUX_SLL2): the flow it
// belongs to, its direction and its IP length; nullopt for anything that is
// not TCP or UDP over IP, or is cut too short to tell.
struct CapturedPacket {
  FlowKey key;
  bool outgoing = false;
  uint32_t bytes = 0;
};
std::optional<CapturedPacket> ParseCookedPacket(const uint8_t* data, size_t captured);

class FlowTable {
 public:
  // `now` in seconds of any steady clock.
  void Count(const CapturedPacket& packet, int64_t now);
  // Forgets flows idle for `idle` seconds: readers have long taken their
  // last counts, and the table stays bounded on a busy host.
  void Prune(int64_t now, int64_t idle);
  // One line per flow: "tcp|udp FAMILY IF LOCAL LPORT REMOTE RPORT RX TX",
  // addresses in hexadecimal octets.
  std::string Snapshot() const;
  size_t Size() const { return flows_.size(); }

 private:
  struct Entry {
    FlowBytes bytes;
    int64_t lastSeen = 0;
  };
  std::map<FlowKey, Entry> flows_;
};

// The lines of a snapshot; damaged lines are left out.
std::vector<FlowBytes> ParseFlowSnapshot(std::string_view text);

}  // namespace velmar::programs
