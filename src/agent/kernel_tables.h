#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace velmar::agent {

using Ip4 = std::array<uint8_t, 4>;  // network order, first octet first

// What the kernel tells about one network interface.
struct LinkInfo {
  int index = 0;
  uint16_t arpType = 0;   // ARPHRD_*
  uint32_t flags = 0;     // IFF_*
  uint8_t operState = 0;  // IF_OPER_*
  std::string name;
  uint32_t mtu = 0;
  std::string address;              // hardware address octets
  uint64_t speedBitsPerSecond = 0;  // 0 = unknown
  uint64_t rxBytes = 0, rxPackets = 0, rxMulticast = 0, rxDropped = 0, rxErrors = 0,
           rxNoHandler = 0;
  uint64_t txBytes = 0, txPackets = 0, txDropped = 0, txErrors = 0;
};

struct TcpConnection {
  uint8_t state = 0;  // the kernel's TCP_* state
  Ip4 localAddress{};
  uint16_t localPort = 0;
  Ip4 remoteAddress{};
  uint16_t remotePort = 0;
};

struct Route {
  std::string interfaceName;
  Ip4 destination{};
  Ip4 gateway{};
  Ip4 mask{};
  uint32_t flags = 0;  // RTF_*
  int32_t metric = 0;
};

// Reads interface rows through a routing netlink socket kept open for the
// reader's life (one dump request per read), with the link speed asked of
// the driver. Falls back to /proc/net/dev and /sys/class/net when netlink
// cannot be had.
class LinkReader {
 public:
  LinkReader();
  ~LinkReader();
  LinkReader(const LinkReader&) = delete;
  LinkReader& operator=(const LinkReader&) = delete;

  std::vector<LinkInfo> Read();

 private:
  bool ReadNetlink(std::vector<LinkInfo>& links);
  uint64_t SpeedOf(const std::string& name);

  int netlink_ = -1;
  int ioctlSocket_ = -1;
  uint32_t sequence_ = 0;
  std::vector<char> buffer_;
};

// Parsers of the kernel's text tables. They take the file's content so
// tests feed saved and malformed files; lines they cannot read are skipped.
std::vector<LinkInfo> ParseProcNetDev(std::string_view content);
std::vector<TcpConnection> ParseProcNetTcp(std::string_view content);
std::vector<Route> ParseProcNetRoute(std::string_view content);
// The "Tcp:" pairs of lines in /proc/net/snmp, by field name.
std::map<std::string, uint64_t> ParseProcNetSnmpTcp(std::string_view content);

// Completes a link from /sys/class/net/<name> under `sysRoot`.
void FillFromSysfs(LinkInfo& link, const std::string& sysRoot);

std::string ReadWholeFile(const std::string& path);

// MIB-II mappings of kernel values.
int32_t IanaIfType(uint16_t arpType);
int32_t IfOperStatus(uint8_t operState, uint32_t flags);
int32_t TcpConnStateOf(uint8_t kernelState);

}  // namespace velmar::agent
