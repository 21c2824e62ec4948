#include "agent/inet_tables.h"

#include <linux/if_addr.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>

#include <dirent.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <chrono>
#include <map>
#include <memory>

namespace velmar::agent {

// Every column the kernel's IPv6 counters fill: 3-29, 32-41 and
// ipSystemStatsDiscontinuityTime (46). The kernel counts no transmits as
// RFC 4293 defines them (30, 31), and IPv6 has no broadcasts (42-45).
const std::vector<uint32_t> kIpStatsColumns = {3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                                               16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,
                                               29, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 46};

namespace {

constexpr uint8_t kTcpListen = 10;  // the kernel's TCP_LISTEN

MibValue Gauge(uint32_t v) {
  return MibValue::Unsigned(ASN_GAUGE32, v);
}

MibValue Ticks(uint32_t v) {
  return MibValue::Unsigned(ASN_TIMETICKS, v);
}

bool IsLinkLocal(const IpAddress& a) {
  return a.family == AF_INET6 && a.octets[0] == 0xfe && (a.octets[1] & 0xc0) == 0x80;
}

// A link-local address with the socket's zone is an ipv6z(4) InetAddress:
// the octets, then the zone index in network order (RFC 4001).
void AppendEndpoint(Oid& index, const IpAddress& address, uint16_t port, uint32_t zone) {
  if (zone != 0 && IsLinkLocal(address)) {
    index.insert(index.end(), {4, 20});
    index.insert(index.end(), address.octets.begin(), address.octets.end());
    index.insert(index.end(), {zone >> 24, (zone >> 16) & 0xff, (zone >> 8) & 0xff, zone & 0xff});
  } else {
    AppendInetAddress(index, address);
  }
  index.push_back(port);
}

IpAddress Masked(IpAddress a, uint8_t prefixLength) {
  for (size_t i = 0; i < a.Size(); ++i) {
    const int bits = std::clamp(static_cast<int>(prefixLength) - static_cast<int>(8 * i), 0, 8);
    a.octets[i] &= static_cast<uint8_t>(0xff00u >> bits);
  }
  return a;
}

uint8_t PrefixLength(const Ip4& mask) {
  int bits = 0;
  for (const uint8_t octet : mask) {
    bits += std::popcount(octet);
  }
  return static_cast<uint8_t>(bits);
}

// inetCidrRouteType: other(1), reject(2), local(3), remote(4), blackhole(5).
constexpr int32_t kReject = 2, kLocal = 3, kRemote = 4, kBlackhole = 5;

struct InetRoute {
  IpAddress destination;
  uint8_t prefixLength = 0;
  IpAddress nextHop;
  int ifIndex = 0;
  int32_t type = kLocal;
  int32_t metric = 0;
  // inetCidrRoutePolicy tells apart routes to one destination: the
  // interface where it must (a route without a next hop, and any IPv6
  // route, whose link-local next hops repeat on every link), else { 0 0 }.
  // A route of a table other than main names its table after the
  // interface: the local table's route to an address repeats the main
  // table's route to it.
  bool policyNamesInterface = false;
  uint32_t table = RT_TABLE_MAIN;
  int32_t protocol = 2;  // IANAipRouteProtocol: local(2)
};

// IANAipRouteProtocol of who put a route there: the kernel local(2), a
// person netmgmt(3), a router advertisement or redirect icmp(4), DHCP
// dhcp(19), a routing daemon its protocol where the MIB names it.
int32_t RouteProtocol(uint8_t protocol) {
  switch (protocol) {
    case RTPROT_KERNEL:
      return 2;
    case RTPROT_BOOT:
    case RTPROT_STATIC:
      return 3;
    case RTPROT_REDIRECT:
    case RTPROT_RA:
      return 4;
    case RTPROT_DHCP:
      return 19;
    case RTPROT_RIP:
      return 8;
    case RTPROT_ISIS:
      return 9;
    case RTPROT_OSPF:
      return 13;
    case RTPROT_BGP:
      return 14;
    case RTPROT_EIGRP:
      return 16;
    default:
      return 1;
  }
}

std::vector<InetRoute> NetlinkRoutes(const std::vector<RouteEntry>& routes) {
  std::vector<InetRoute> out;
  for (const RouteEntry& r : routes) {
    InetRoute route;
    route.destination = r.destination;
    route.prefixLength = r.prefixLength;
    route.nextHop = r.gateway.family != 0 ? r.gateway : Masked(r.destination, 0);
    const bool hasGateway = r.gateway.family != 0 && r.gateway != Masked(r.gateway, 0);
    switch (r.type) {
      case RTN_BLACKHOLE:
        route.type = kBlackhole;
        break;
      case RTN_UNREACHABLE:
      case RTN_PROHIBIT:
      case RTN_THROW:
        route.type = kReject;
        break;
      case RTN_UNICAST:
        route.type = hasGateway ? kRemote : kLocal;
        break;
      default:  // local, broadcast, multicast, anycast: the host's own
        route.type = kLocal;
        break;
    }
    // The kernel hangs routes that drop on the loopback; they leave by no
    // interface.
    const bool drops = route.type == kBlackhole || route.type == kReject;
    route.ifIndex = drops ? 0 : r.ifIndex;
    route.metric = static_cast<int32_t>(r.metric);
    route.policyNamesInterface = r.destination.family == AF_INET6 || !hasGateway;
    route.table = r.table;
    route.protocol = RouteProtocol(r.protocol);
    out.push_back(route);
  }
  return out;
}

std::vector<InetRoute> Ipv4Routes(const std::vector<Route>& routes,
                                  const std::function<int(const std::string&)>& ifIndexOf) {
  std::vector<InetRoute> out;
  for (const Route& r : routes) {
    if (!(r.flags & RTF_UP)) {
      continue;
    }
    InetRoute route;
    route.destination = IpAddress::V4(r.destination);
    route.prefixLength = PrefixLength(r.mask);
    route.nextHop = IpAddress::V4(r.gateway);
    // A route without a device ("*") that rejects nothing drops.
    const bool noDevice = r.interfaceName == "*";
    route.ifIndex = noDevice ? 0 : ifIndexOf(r.interfaceName);
    route.type = (r.flags & RTF_REJECT)    ? kReject
                 : noDevice                ? kBlackhole
                 : (r.flags & RTF_GATEWAY) ? kRemote
                                           : kLocal;
    route.metric = r.metric;
    route.policyNamesInterface = r.gateway == Ip4{};
    out.push_back(route);
  }
  return out;
}

std::vector<InetRoute> Ipv6Routes(const std::vector<Ipv6Route>& routes,
                                  const std::function<int(const std::string&)>& ifIndexOf) {
  static constexpr uint32_t kCache = 0x01000000;  // RTF_CACHE: a learnt exception
  std::vector<InetRoute> out;
  for (const Ipv6Route& r : routes) {
    const bool reject = (r.flags & RTF_REJECT) != 0;
    // Every table ends in the kernel's own unreachable ::/0 of the highest
    // metric, which no one configured.
    if ((r.flags & kCache) || (reject && r.prefixLength == 0 && r.metric == 0xffffffffu)) {
      continue;
    }
    InetRoute route;
    route.destination = r.destination;
    route.prefixLength = r.prefixLength;
    route.nextHop = r.nextHop;
    route.ifIndex = reject ? 0 : ifIndexOf(r.interfaceName);  // a reject route shows "lo"
    route.type = reject ? kReject : (r.flags & RTF_GATEWAY) ? kRemote : kLocal;
    route.metric = static_cast<int32_t>(r.metric);
    route.policyNamesInterface = true;
    out.push_back(route);
  }
  return out;
}

TableRow RouteRow(const InetRoute& r) {
  TableRow row;
  AppendInetAddress(row.index, r.destination);
  row.index.push_back(r.prefixLength);
  if (r.table != RT_TABLE_MAIN) {
    row.index.insert(row.index.end(), {4, 0, 0, static_cast<uint32_t>(r.ifIndex), r.table});
  } else if (r.policyNamesInterface) {
    row.index.insert(row.index.end(), {3, 0, 0, static_cast<uint32_t>(r.ifIndex)});
  } else {
    row.index.insert(row.index.end(), {2, 0, 0});
  }
  AppendInetAddress(row.index, r.nextHop);
  row.columns = {
      MibValue::Integer(r.ifIndex),   // 7 inetCidrRouteIfIndex
      MibValue::Integer(r.type),      // 8 inetCidrRouteType
      MibValue::Integer(r.protocol),  // 9 inetCidrRouteProto
      Gauge(0),                       // 10 inetCidrRouteAge
      Gauge(0),                       // 11 inetCidrRouteNextHopAS
      MibValue::Integer(r.metric),    // 12 inetCidrRouteMetric1
      MibValue::Integer(-1),          // 13 inetCidrRouteMetric2
      MibValue::Integer(-1),          // 14 inetCidrRouteMetric3
      MibValue::Integer(-1),          // 15 inetCidrRouteMetric4
      MibValue::Integer(-1),          // 16 inetCidrRouteMetric5
      MibValue::Integer(1),           // 17 inetCidrRouteStatus: active
  };
  return row;
}

// IpAddressOriginTC: other(1), manual(2), dhcp(4), linklayer(5), random(6).
int32_t AddressOrigin(const AddressEntry& a) {
  if (a.address.family != AF_INET6) {
    return 2;
  }
  if (IsLinkLocal(a.address)) {
    return 5;
  }
  if (a.flags & IFA_F_TEMPORARY) {
    return 6;  // a privacy address
  }
  if (!(a.flags & IFA_F_PERMANENT)) {
    // An address with a lifetime came from the network: a /128 from a
    // DHCPv6 server, anything else from a router's advertised prefix.
    return a.prefixLength == 128 ? 4 : 5;
  }
  return 2;
}

// IpAddressStatusTC: preferred(1), deprecated(2), tentative(6),
// duplicate(7), optimistic(8).
int32_t AddressStatus(const AddressEntry& a) {
  if (a.address.family != AF_INET6) {
    return 1;
  }
  if (a.flags & IFA_F_DADFAILED) {
    return 7;
  }
  if (a.flags & IFA_F_TENTATIVE) {
    return 6;
  }
  if (a.flags & IFA_F_OPTIMISTIC) {
    return 8;
  }
  return (a.flags & IFA_F_DEPRECATED) ? 2 : 1;
}

// ipNetToPhysicalState: reachable(1), stale(2), delay(3), probe(4),
// unknown(6), incomplete(7); invalid(5) entries are not shown.
int32_t NeighbourState(uint16_t state) {
  if (state & (NUD_REACHABLE | NUD_PERMANENT)) {
    return 1;
  }
  if (state & NUD_STALE) {
    return 2;
  }
  if (state & NUD_DELAY) {
    return 3;
  }
  if (state & NUD_PROBE) {
    return 4;
  }
  return (state & NUD_INCOMPLETE) ? 7 : 6;
}

// The zones of sockets on link-local addresses, which /proc/net does not
// show; asked of the kernel only where there is such a socket.
void FillZones(std::vector<SocketEntry>& sockets, uint8_t protocol, const InetSources& sources) {
  const bool any = std::any_of(sockets.begin(), sockets.end(), [](const SocketEntry& e) {
    return IsLinkLocal(e.local) || IsLinkLocal(e.remote);
  });
  if (!any || !sources.boundInterfaces) {
    return;
  }
  const auto bound = sources.boundInterfaces(protocol);
  for (SocketEntry& e : sockets) {
    const auto it = bound.find(e.inode);
    if (it != bound.end() && e.inode != 0) {
      e.zone = it->second;
    }
  }
}

SocketSnapshot ReadSockets(const InetSources& sources, SocketOwnerCache& owners, bool tcp,
                           bool udp) {
  SocketSnapshot s;
  for (const auto& [file, family, into, wanted] :
       {std::tuple{"/tcp", AF_INET, &s.tcp, tcp}, std::tuple{"/tcp6", AF_INET6, &s.tcp, tcp},
        std::tuple{"/udp", AF_INET, &s.udp, udp}, std::tuple{"/udp6", AF_INET6, &s.udp, udp}}) {
    if (wanted) {
      auto rows = ParseProcNetSockets(ReadWholeFile(sources.procNet + file), family);
      into->insert(into->end(), rows.begin(), rows.end());
    }
  }
  FillZones(s.tcp, IPPROTO_TCP, sources);
  FillZones(s.udp, IPPROTO_UDP, sources);
  std::unordered_set<uint64_t> inodes;
  for (const auto* list : {&s.tcp, &s.udp}) {
    for (const SocketEntry& e : *list) {
      if (e.inode != 0) {
        inodes.insert(e.inode);
      }
    }
  }
  s.owners = owners.Find(inodes);
  return s;
}

}  // namespace

void AppendInetAddress(Oid& index, const IpAddress& address) {
  // InetAddressType ipv4(1) or ipv6(2); unknown(0) has no octets.
  index.push_back(address.family == AF_INET6 ? 2 : (address.family == AF_INET ? 1 : 0));
  index.push_back(static_cast<uint32_t>(address.Size()));
  for (const char c : address.Octets()) {
    index.push_back(static_cast<uint8_t>(c));
  }
}

std::vector<TableRow> TcpConnectionRows(const SocketSnapshot& sockets) {
  std::vector<TableRow> rows;
  for (const SocketEntry& s : sockets.tcp) {
    if (s.state == kTcpListen) {
      continue;
    }
    TableRow row;
    AppendEndpoint(row.index, s.local, s.localPort, s.zone);
    AppendEndpoint(row.index, s.remote, s.remotePort, s.zone);
    row.columns = {MibValue::Integer(TcpConnStateOf(s.state)),  // 7 tcpConnectionState
                   Gauge(sockets.owners.PidOf(s.inode))};       // 8 tcpConnectionProcess
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<TableRow> TcpListenerRows(const SocketSnapshot& sockets) {
  std::vector<TableRow> rows;
  for (const SocketEntry& s : sockets.tcp) {
    if (s.state == kTcpListen) {
      TableRow row;
      AppendEndpoint(row.index, s.local, s.localPort, s.zone);
      row.columns = {Gauge(sockets.owners.PidOf(s.inode))};  // 4 tcpListenerProcess
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

std::vector<TableRow> UdpEndpointRows(const SocketSnapshot& sockets) {
  std::vector<TableRow> rows;
  for (const SocketEntry& s : sockets.udp) {
    TableRow row;
    AppendEndpoint(row.index, s.local, s.localPort, s.zone);
    AppendEndpoint(row.index, s.remote, s.remotePort, s.zone);
    // udpEndpointInstance tells apart sockets bound to the same addresses
    // (SO_REUSEPORT); the socket's inode does so for the socket's life.
    row.index.push_back(static_cast<uint32_t>(s.inode));
    row.columns = {Gauge(sockets.owners.PidOf(s.inode))};  // 8 udpEndpointProcess
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<TableRow> ProcessRows(const SocketSnapshot& sockets) {
  std::map<uint32_t, std::string> names;
  for (const auto* list : {&sockets.tcp, &sockets.udp}) {
    for (const SocketEntry& e : *list) {
      const uint32_t pid = sockets.owners.PidOf(e.inode);
      const auto name = sockets.owners.nameOfPid.find(pid);
      if (pid != 0 && name != sockets.owners.nameOfPid.end()) {
        names.emplace(pid, name->second);
      }
    }
  }
  std::vector<TableRow> rows;
  for (const auto& [pid, name] : names) {
    rows.push_back(TableRow{{pid}, {MibValue::String(name)}});
  }
  return rows;
}

namespace {

std::vector<TableRow> RouteRows(std::vector<InetRoute> routes) {
  // Of routes that share an index (the same route in two tables), the
  // view keeps the first: the one of the lowest metric.
  std::stable_sort(routes.begin(), routes.end(),
                   [](const InetRoute& a, const InetRoute& b) { return a.metric < b.metric; });
  std::vector<TableRow> rows;
  rows.reserve(routes.size());
  for (const InetRoute& r : routes) {
    rows.push_back(RouteRow(r));
  }
  return rows;
}

}  // namespace

std::vector<TableRow> InetCidrRouteRows(const std::vector<Route>& ipv4,
                                        const std::vector<Ipv6Route>& ipv6,
                                        const std::function<int(const std::string&)>& ifIndexOf) {
  std::vector<InetRoute> routes = Ipv4Routes(ipv4, ifIndexOf);
  const std::vector<InetRoute> v6 = Ipv6Routes(ipv6, ifIndexOf);
  routes.insert(routes.end(), v6.begin(), v6.end());
  return RouteRows(std::move(routes));
}

std::vector<TableRow> InetCidrRouteRows(const std::vector<RouteEntry>& routes) {
  return RouteRows(NetlinkRoutes(routes));
}

namespace {

// ipAddressPrefixTable's index: the interface, the prefix, its length.
Oid PrefixIndex(const AddressEntry& a) {
  Oid index = {static_cast<uint32_t>(a.ifIndex)};
  AppendInetAddress(index, Masked(a.address, a.prefixLength));
  index.push_back(a.prefixLength);
  return index;
}

}  // namespace

std::vector<TableRow> IpAddressRows(const std::vector<AddressEntry>& addresses) {
  std::vector<TableRow> rows;
  for (const AddressEntry& a : addresses) {
    TableRow row;
    AppendInetAddress(row.index, a.address);
    Oid prefix = kIpAddressPrefixOrigin;
    const Oid index = PrefixIndex(a);
    prefix.insert(prefix.end(), index.begin(), index.end());
    row.columns = {
        MibValue::Integer(a.ifIndex),                       // 3 ipAddressIfIndex
        MibValue::Integer(1),                               // 4 ipAddressType: unicast
        MibValue::ObjectId(std::move(prefix)),              // 5 ipAddressPrefix
        MibValue::Integer(AddressOrigin(a)),                // 6 ipAddressOrigin
        MibValue::Integer(AddressStatus(a)),                // 7 ipAddressStatus
        Ticks(0),                                           // 8 ipAddressCreated
        Ticks(0),                                           // 9 ipAddressLastChanged
        MibValue::Integer(1),                               // 10 ipAddressRowStatus: active
        MibValue::Integer(IsLinkLocal(a.address) ? 4 : 2),  // 11 ipAddressStorageType
    };
    rows.push_back(std::move(row));
  }
  return rows;
}

namespace {

// IpAddressPrefixOriginTC: manual(2), dhcp(4), routeradv(5) as the
// address's own origin says; wellknown(3) for the link-local prefix.
int32_t PrefixOrigin(const AddressEntry& a) {
  switch (AddressOrigin(a)) {
    case 4:
      return 4;
    case 5:
    case 6:
      return IsLinkLocal(a.address) ? 3 : 5;
    default:
      return 2;
  }
}

}  // namespace

std::vector<TableRow> IpAddressPrefixRows(const std::vector<AddressEntry>& addresses) {
  std::vector<TableRow> rows;
  for (const AddressEntry& a : addresses) {
    // A prefix shared by addresses of one interface is one row (the view
    // keeps the first).
    const bool onLink = !(a.flags & IFA_F_NOPREFIXROUTE);
    rows.push_back(
        TableRow{PrefixIndex(a),
                 {
                     MibValue::Integer(PrefixOrigin(a)),  // 5 ipAddressPrefixOrigin
                     MibValue::Integer(onLink ? 1 : 2),   // 6 ipAddressPrefixOnLinkFlag
                     MibValue::Integer(
                         AddressOrigin(a) == 5 && !IsLinkLocal(a.address) ? 1 : 2),  // 7 autonomous
                     Gauge(0xffffffffu),  // 8 ipAddressPrefixAdvPreferredLifetime
                     Gauge(0xffffffffu),  // 9 ipAddressPrefixAdvValidLifetime
                 }});
  }
  return rows;
}

std::map<std::string, uint64_t> ParseSnmp6(std::string_view content) {
  std::map<std::string, uint64_t> values;
  size_t pos = 0;
  while (pos < content.size()) {
    size_t end = content.find('\n', pos);
    if (end == std::string_view::npos) {
      end = content.size();
    }
    const std::string_view line = content.substr(pos, end - pos);
    pos = end + 1;
    const size_t gap = line.find_first_of(" \t");
    const size_t value = line.find_first_not_of(" \t", gap);
    if (gap == std::string_view::npos || value == std::string_view::npos) {
      continue;
    }
    uint64_t number = 0;
    const auto text = line.substr(value);
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec == std::errc() && ptr == text.data() + text.size()) {
      values.emplace(std::string(line.substr(0, gap)), number);
    }
  }
  return values;
}

namespace {

// The columns of kIpStatsColumns from the kernel's Ip6 counters.
std::vector<MibValue> IpStatsColumns(const std::map<std::string, uint64_t>& c) {
  const auto get = [&](const char* name) {
    const auto it = c.find(std::string("Ip6") + name);
    return it != c.end() ? it->second : 0;
  };
  std::vector<MibValue> columns;
  const auto both = [&](uint64_t v) {
    columns.push_back(MibValue::Unsigned(ASN_COUNTER32, static_cast<uint32_t>(v)));
    columns.push_back(MibValue::Counter64(v));
  };
  const auto one = [&](uint64_t v) {
    columns.push_back(MibValue::Unsigned(ASN_COUNTER32, static_cast<uint32_t>(v)));
  };
  both(get("InReceives"));                 // 3, 4
  both(get("InOctets"));                   // 5, 6
  one(get("InHdrErrors"));                 // 7
  one(get("InNoRoutes"));                  // 8
  one(get("InAddrErrors"));                // 9
  one(get("InUnknownProtos"));             // 10
  one(get("InTruncatedPkts"));             // 11
  both(get("OutForwDatagrams"));           // 12, 13: what came in to be forwarded
  one(get("ReasmReqds"));                  // 14
  one(get("ReasmOKs"));                    // 15
  one(get("ReasmFails"));                  // 16
  one(get("InDiscards"));                  // 17
  both(get("InDelivers"));                 // 18, 19
  both(get("OutRequests"));                // 20, 21
  one(get("OutNoRoutes"));                 // 22
  both(get("OutForwDatagrams"));           // 23, 24
  one(get("OutDiscards"));                 // 25
  one(get("FragOKs") + get("FragFails"));  // 26 OutFragReqds
  one(get("FragOKs"));                     // 27
  one(get("FragFails"));                   // 28
  one(get("FragCreates"));                 // 29
  both(get("OutOctets"));                  // 32, 33
  both(get("InMcastPkts"));                // 34, 35
  both(get("InMcastOctets"));              // 36, 37
  both(get("OutMcastPkts"));               // 38, 39
  both(get("OutMcastOctets"));             // 40, 41
  columns.push_back(Ticks(0));             // 46 DiscontinuityTime
  return columns;
}

}  // namespace

std::vector<TableRow> IpSystemStatsRows(const std::map<std::string, uint64_t>& ipv6) {
  if (ipv6.empty()) {
    return {};  // no IPv6 in this kernel
  }
  return {TableRow{{2}, IpStatsColumns(ipv6)}};
}

std::vector<TableRow> IpIfStatsRows(
    const std::vector<std::map<std::string, uint64_t>>& interfaces) {
  std::vector<TableRow> rows;
  for (const auto& counters : interfaces) {
    const auto index = counters.find("ifIndex");
    if (index != counters.end()) {
      rows.push_back(TableRow{{2, static_cast<uint32_t>(index->second)}, IpStatsColumns(counters)});
    }
  }
  return rows;
}

std::vector<TableRow> IpNetToPhysicalRows(const std::vector<NeighbourEntry>& neighbours,
                                          uint32_t uptime) {
  std::vector<TableRow> rows;
  for (const NeighbourEntry& n : neighbours) {
    // NOARP entries are mappings the kernel computes (multicast, the
    // loopback), not neighbours it learnt; a FAILED one is an address
    // nobody answered for, which snmpd leaves out too.
    if (n.state & (NUD_NOARP | NUD_FAILED)) {
      continue;
    }
    TableRow row;
    row.index.push_back(static_cast<uint32_t>(n.ifIndex));
    AppendInetAddress(row.index, n.address);
    // ipNetToPhysicalType: invalid(2) while unresolved, dynamic(3), static(4).
    const int32_t type = (n.state & NUD_PERMANENT)                                         ? 4
                         : (n.state & (NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE)) ? 3
                                                                                           : 2;
    row.columns = {
        MibValue::String(n.linkAddress),                           // 4 ipNetToPhysicalPhysAddress
        Ticks(uptime > n.updatedAgo ? uptime - n.updatedAgo : 0),  // 5 ...LastUpdated
        MibValue::Integer(type),                                   // 6 ipNetToPhysicalType
        MibValue::Integer(NeighbourState(n.state)),                // 7 ipNetToPhysicalState
        MibValue::Integer(1),                                      // 8 ...RowStatus: active
    };
    rows.push_back(std::move(row));
  }
  return rows;
}

void AddInetTables(MibView& view, InetSources sources) {
  if (!sources.ifIndexOf) {
    sources.ifIndexOf = [](const std::string& name) {
      return static_cast<int>(if_nametoindex(name.c_str()));
    };
  }
  if (!sources.uptime) {
    const auto start = std::chrono::steady_clock::now();
    sources.uptime = [start] {
      const auto age = std::chrono::steady_clock::now() - start;
      return static_cast<uint32_t>(
          std::chrono::duration_cast<std::chrono::milliseconds>(age).count() / 10);
    };
  }
  const auto owners =
      sources.owners ? sources.owners : std::make_shared<SocketOwnerCache>(sources.procRoot);
  const auto tcp = std::make_shared<SocketSnapshot>();
  const int tcpRead = view.AddSnapshot(
      [tcp, owners, sources] { *tcp = ReadSockets(sources, *owners, true, false); });
  view.AddTable(
      kTcpConnectionEntry, std::vector<uint32_t>{7, 8}, [tcp] { return TcpConnectionRows(*tcp); },
      tcpRead);
  view.AddTable(
      kTcpListenerEntry, std::vector<uint32_t>{4}, [tcp] { return TcpListenerRows(*tcp); },
      tcpRead);
  view.AddTable(kUdpEndpointEntry, std::vector<uint32_t>{8}, [owners, sources] {
    return UdpEndpointRows(ReadSockets(sources, *owners, false, true));
  });
  view.AddTable(kVelmarProcessEntry, std::vector<uint32_t>{2}, [owners, sources] {
    return ProcessRows(ReadSockets(sources, *owners, true, true));
  });
  // The table after ifStackTable in MIB order: every walk of the interface
  // tables would otherwise end by reading every socket and every process's
  // descriptors.
  view.ReachOnlyWhenAsked(kVelmarSubtree);
  view.AddTable(kInetCidrRouteEntry, std::vector<uint32_t>{7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17},
                [net = sources.procNet, ifIndexOf = sources.ifIndexOf, read = sources.routes] {
                  std::vector<RouteEntry> routes;
                  if (read && read(routes)) {
                    return InetCidrRouteRows(routes);
                  }
                  return InetCidrRouteRows(
                      ParseProcNetRoute(ReadWholeFile(net + "/route")),
                      ParseProcNetIpv6Route(ReadWholeFile(net + "/ipv6_route")), ifIndexOf);
                });
  view.AddTable(kIpAddressEntry, std::vector<uint32_t>{3, 4, 5, 6, 7, 8, 9, 10, 11},
                [read = sources.addresses] { return IpAddressRows(read()); });
  view.AddTable(kIpAddressPrefixEntry, std::vector<uint32_t>{5, 6, 7, 8, 9},
                [read = sources.addresses] { return IpAddressPrefixRows(read()); });
  view.AddTable(kIpSystemStatsEntry, kIpStatsColumns, [net = sources.procNet] {
    return IpSystemStatsRows(ParseSnmp6(ReadWholeFile(net + "/snmp6")));
  });
  view.AddTable(kIpIfStatsEntry, kIpStatsColumns, [net = sources.procNet] {
    std::vector<std::map<std::string, uint64_t>> interfaces;
    const std::string folder = net + "/dev_snmp6";
    if (DIR* dir = opendir(folder.c_str())) {
      while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
          interfaces.push_back(ParseSnmp6(ReadWholeFile(folder + "/" + entry->d_name)));
        }
      }
      closedir(dir);
    }
    return IpIfStatsRows(interfaces);
  });
  view.AddTable(kIpNetToPhysicalEntry, std::vector<uint32_t>{4, 5, 6, 7, 8},
                [read = sources.neighbours, uptime = sources.uptime] {
                  return IpNetToPhysicalRows(read(), uptime());
                });
}

}  // namespace velmar::agent
