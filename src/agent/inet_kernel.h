#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct nlmsghdr;

// What the kernel tells about sockets, routes, addresses and neighbours of
// both address families: the sources of the address-family-neutral tables.
namespace velmar::agent {

// An IPv4 or IPv6 address, octets in network order.
struct IpAddress {
  uint8_t family = 0;  // AF_INET or AF_INET6; 0 for none
  std::array<uint8_t, 16> octets{};

  size_t Size() const;
  std::string_view Octets() const;
  bool operator==(const IpAddress&) const = default;

  static IpAddress V4(std::array<uint8_t, 4> a);
  static IpAddress V6(const std::array<uint8_t, 16>& a);
};

// One line of /proc/net/{tcp,tcp6,udp,udp6}.
struct SocketEntry {
  IpAddress local;
  uint16_t localPort = 0;
  IpAddress remote;
  uint16_t remotePort = 0;
  uint8_t state = 0;  // the kernel's TCP_* state; UDP: 1 connected, 7 not
  uint64_t inode = 0;
  // The interface a socket of link-local addresses is bound to: the zone
  // that tells apart fe80::1%a from fe80::1%b. 0: none, or not known.
  uint32_t zone = 0;
};

// Which process holds which socket: the highest process id among those
// holding it (a socket passed on to children is held by all of them), and
// each such process's name. Processes the reader may not look into are
// missing.
struct SocketOwners {
  std::unordered_map<uint64_t, uint32_t> pidOfInode;
  std::map<uint32_t, std::string> nameOfPid;

  uint32_t PidOf(uint64_t inode) const;
};

// One line of /proc/net/ipv6_route.
struct Ipv6Route {
  IpAddress destination;
  uint8_t prefixLength = 0;
  IpAddress nextHop;
  uint32_t metric = 0;
  uint32_t flags = 0;  // RTF_*
  std::string interfaceName;
};

// A route of either family in any routing table, from an RTM_NEWROUTE
// message.
struct RouteEntry {
  IpAddress destination;  // the family's unspecified address for a default route
  uint8_t prefixLength = 0;
  IpAddress gateway;  // family 0 when the route has none
  int ifIndex = 0;
  uint32_t table = 0;    // RT_TABLE_*: main 254, local 255
  uint8_t type = 0;      // RTN_*: unicast, local, blackhole, unreachable, prohibit...
  uint8_t protocol = 0;  // RTPROT_*: who put it there (kernel, boot, static, ra, dhcp...)
  uint32_t metric = 0;
};

// An address of an interface, from an RTM_NEWADDR message.
struct AddressEntry {
  IpAddress address;
  uint8_t prefixLength = 0;
  int ifIndex = 0;
  uint32_t flags = 0;  // IFA_F_*
};

// A neighbour (ARP or NDP), from an RTM_NEWNEIGH message.
struct NeighbourEntry {
  IpAddress address;
  int ifIndex = 0;
  std::string linkAddress;  // empty while unresolved
  uint16_t state = 0;       // NUD_*
  // Centiseconds since the kernel last updated the entry.
  uint32_t updatedAgo = 0;
};

// Parsers of the kernel's text tables; lines they cannot read are skipped.
std::vector<SocketEntry> ParseProcNetSockets(std::string_view content, int family);
std::vector<Ipv6Route> ParseProcNetIpv6Route(std::string_view content);

// Looks through /proc/<pid>/fd under `procRoot` for the processes holding
// the sockets `inodes` names, and reads their names.
SocketOwners FindSocketOwners(const std::string& procRoot,
                              const std::unordered_set<uint64_t>& inodes);

// The owners of sockets as last looked up, reused for a while by lookups
// that ask for no socket the last one did not look for: a NetStat refresh
// walks the TCP, UDP and process tables one after another, and the look
// through every process's descriptors is by far the costliest part of each
// walk. A socket it has not seen (a new connection) makes it look again.
class SocketOwnerCache {
 public:
  explicit SocketOwnerCache(std::string procRoot,
                            std::chrono::milliseconds keep = std::chrono::milliseconds(1000));
  SocketOwners Find(const std::unordered_set<uint64_t>& inodes);
  // Looks through the processes made so far.
  uint64_t Scans() const { return scans_; }

 private:
  std::string procRoot_;
  std::chrono::milliseconds keep_;
  SocketOwners owners_;
  std::unordered_set<uint64_t> searched_;
  std::chrono::steady_clock::time_point when_{};
  uint64_t scans_ = 0;
};

// One message of an address or neighbour dump; false for one that is not
// an IPv4 or IPv6 entry.
bool ParseAddressMessage(const nlmsghdr* message, AddressEntry& out);
bool ParseNeighbourMessage(const nlmsghdr* message, NeighbourEntry& out);
// One message of a route dump; false for one that is not an IPv4 or IPv6
// route, or is a cached exception.
bool ParseRouteMessage(const nlmsghdr* message, RouteEntry& out);

// The interfaces IPv6 sockets of `protocol` (IPPROTO_TCP, IPPROTO_UDP) are
// bound to, by inode, from the kernel's socket diagnostics; sockets bound
// to none are left out. Empty when they cannot be had.
std::unordered_map<uint64_t, uint32_t> ReadBoundInterfaces(uint8_t protocol);

// Routing-netlink dumps of every address and every neighbour of both
// families; empty when netlink cannot be had.
std::vector<AddressEntry> ReadAddresses();
std::vector<NeighbourEntry> ReadNeighbours();
// The routes of both families in every table; false when netlink cannot be
// had.
bool ReadRoutes(std::vector<RouteEntry>& out);

}  // namespace velmar::agent
