#pragma once

#include <array>
#include <cstdint>
#include <vector>

struct nlmsghdr;

namespace velmar::programs {

// One TCP socket that can carry data, with the bytes it carried as the
// kernel counts them (tcp_info): payload only, without headers; what was
// sent counts retransmissions, as the line carried them.
struct TcpSocketBytes {
  uint8_t family = 0;  // AF_INET or AF_INET6
  std::array<uint8_t, 16> local{};
  std::array<uint8_t, 16> remote{};
  uint16_t localPort = 0;
  uint16_t remotePort = 0;
  uint32_t boundInterface = 0;  // the device it is bound to; 0 for none
  uint8_t state = 0;            // the kernel's TCP_* state
  uint32_t uid = 0;
  uint64_t inode = 0;
  uint64_t received = 0;  // tcpi_bytes_received
  uint64_t sent = 0;      // tcpi_bytes_sent

  // Both ends on this machine's loopback: traffic that crosses no edge.
  bool OnLoopback() const;
};

// Reads every TCP socket of both families through NETLINK_SOCK_DIAG, which
// any user may do for every socket on the machine: one dump per family,
// with the listeners and TIME_WAIT sockets (which carry no data) left out
// by the kernel, not by us.
class TcpSocketReader {
 public:
  // Raises when the kernel offers no sock_diag socket.
  TcpSocketReader();
  ~TcpSocketReader();
  TcpSocketReader(const TcpSocketReader&) = delete;
  TcpSocketReader& operator=(const TcpSocketReader&) = delete;

  // Replaces `out` with the sockets of both families. Raises when a dump
  // fails.
  void Read(std::vector<TcpSocketBytes>& out);
  // Replaces `out` with the UDP sockets of both families, which the kernel
  // keeps no byte counts for: their addresses and inodes, to tie captured
  // flows to their processes. Raises when a dump fails.
  void ReadUdp(std::vector<TcpSocketBytes>& out);
  uint64_t Dumps() const { return dumps_; }

 private:
  void Dump(uint8_t family, std::vector<TcpSocketBytes>& out, uint8_t protocol = 6);

  int fd_ = -1;
  uint32_t sequence_ = 0;
  uint64_t dumps_ = 0;
  bool bothFamiliesRefused_ = false;
  std::vector<char> buffer_;
};

// One SOCK_DIAG_BY_FAMILY answer; false for a message that is not one.
bool ParseInetDiagMessage(const nlmsghdr* message, TcpSocketBytes& out);

}  // namespace velmar::programs
