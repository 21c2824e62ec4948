#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "agent/link_stats.h"

namespace velmar::agent {

using Ip4 = std::array<uint8_t, 4>;  // network order, first octet first

// What the kernel tells about one network interface: its counters (and
// ifIndex) and the rest.
struct LinkInfo : LinkCounters {
  uint16_t arpType = 0;   // ARPHRD_*
  uint32_t flags = 0;     // IFF_*
  uint8_t operState = 0;  // IF_OPER_*
  std::string name;
  uint32_t mtu = 0;
  std::string address;              // hardware address octets
  uint64_t speedBitsPerSecond = 0;  // 0 = unknown
  std::string alias;                // what `ip link set ... alias` set
  std::string kind;                 // the link kind: "bridge", "veth", "tun"...; empty for hardware
  bool hasDevice = false;           // a device (a card, a bus function) stands behind it
  // The interfaces of this namespace it runs over (bridge ports, bond
  // members, a VLAN's card), by ifIndex.
  std::vector<int> lowerLayers;
  uint32_t carrierChanges = 0;
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

  // Every link, in ifIndex order, read whole.
  std::vector<LinkInfo> Read();

  // Brings `links` (what the last call left there) up to date. While no
  // link was added, removed or changed, only the counters are read (the
  // kernel's statistics dump, into `links` in place: no allocation);
  // otherwise every link is read whole. True when it was read whole, so
  // anything built from more than the counters must be built again.
  bool Update(std::vector<LinkInfo>& links);

  // Reads of every link whole since construction.
  uint64_t FullReads() const { return fullReads_; }

  // Driver speed queries made since construction.
  uint64_t SpeedQueries() const { return speedQueries_; }

 private:
  struct Remembered {
    std::string name;
    uint64_t speed = 0;
    bool hasDevice = false;
    bool deviceKnown = false;
  };

  bool ReadNetlink(std::vector<LinkInfo>& links);
  uint64_t SpeedOf(const std::string& name);
  void CompleteFromCache(std::vector<LinkInfo>& links);
  bool UpdateCounters(std::vector<LinkInfo>& links);

  LinkStatsReader stats_;
  std::vector<LinkCounters> counters_;  // kept between reads: no allocation
  uint64_t fullReads_ = 0;

  int netlink_ = -1;
  int ioctlSocket_ = -1;
  uint32_t sequence_ = 0;
  // Left uninitialised: a full dump's answer seldom needs more than a page
  // of it, and pages never written are never resident.
  static constexpr size_t kBufferSize = 64 * 1024;
  std::unique_ptr<char[]> buffer_{new char[kBufferSize]};
  // Kernels before 5.15 do not name a link's parent device over netlink;
  // then sysfs tells, once per interface.
  bool netlinkNamesDevices_ = false;
  // What costs a driver call or a file lookup, asked once per interface:
  // the speed again whenever any link's carrier changed (a renegotiation,
  // a bond losing a member), the device never (it is fixed at creation).
  std::vector<std::pair<int, Remembered>> remembered_;  // by ifIndex
  uint64_t carrierChangesSeen_ = ~0ull;
  uint64_t speedQueries_ = 0;
};

// Resolves what a link reader found about which interface runs over which
// into lowerLayers: a link's master (bridge, bond) runs over it, and a link
// runs over the one it names as its lower link (VLAN, macvlan, tunnel),
// except for the pair kinds whose "link" is the peer (veth). Relations to
// interfaces of other namespaces are dropped.
struct LinkRelations {
  int master = 0;
  int link = 0;
  bool linkInOtherNamespace = false;
};
void ResolveLowerLayers(std::vector<LinkInfo>& links, const std::vector<LinkRelations>& relations);

// Parsers of the kernel's text tables. They take the file's content so
// tests feed saved and malformed files; lines they cannot read are skipped.
std::vector<LinkInfo> ParseProcNetDev(std::string_view content);
std::vector<TcpConnection> ParseProcNetTcp(std::string_view content);
std::vector<Route> ParseProcNetRoute(std::string_view content);
// The "Tcp:" pairs of lines in /proc/net/snmp, by field name.
std::map<std::string, uint64_t> ParseProcNetSnmpTcp(std::string_view content);

// Completes a link from /sys/class/net/<name> under `sysRoot`.
void FillFromSysfs(LinkInfo& link, const std::string& sysRoot);
// The lower layers of every link from the kernel's lower_<name> entries
// under `sysRoot`, resolved to the indexes of `links`.
void FillLowerLayersFromSysfs(std::vector<LinkInfo>& links, const std::string& sysRoot);
// True when /sys/class/net/<name>/device exists under `sysRoot`.
bool HasDevice(const std::string& name, const std::string& sysRoot);

std::string ReadWholeFile(const std::string& path);

// MIB-II mappings of kernel values.
int32_t IanaIfType(uint16_t arpType);
int32_t IfOperStatus(uint8_t operState, uint32_t flags);
int32_t TcpConnStateOf(uint8_t kernelState);

}  // namespace velmar::agent
