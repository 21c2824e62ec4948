#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "agent/inet_kernel.h"
#include "agent/kernel_tables.h"
#include "agent/mib_view.h"
#include "platform/mib_objects.h"

// The address-family-neutral tables of today's MIBs, beside the IPv4 ones
// of MIB-II, with their indexes in the InetAddressType/InetAddress form of
// RFC 4001 (the type, the length, the octets), and the agent's own subtree.
namespace velmar::agent {

using mib::kInetCidrRouteEntry;
using mib::kIpAddressEntry;
using mib::kIpAddressPrefixEntry;
using mib::kIpAddressPrefixOrigin;
using mib::kIpIfStatsEntry;
using mib::kIpNetToPhysicalEntry;
using mib::kIpSystemStatsEntry;
using mib::kTcpConnectionEntry;
using mib::kTcpListenerEntry;
using mib::kUdpEndpointEntry;
// The agent's private subtree under the enterprise number RFC 5612 sets
// aside for examples: 1.3.6.1.4.1.32473.1. Its first table holds the
// processes that own the sockets of the TCP and UDP tables, indexed by
// process id, with their names in column 2 (velmarProcessName).
using mib::kVelmarProcessEntry;
using mib::kVelmarSubtree;

// Appends an InetAddressType and InetAddress to an index (RFC 4001: the
// address is not IMPLIED, so its length comes first).
void AppendInetAddress(Oid& index, const IpAddress& address);

// A read of the sockets of both families (the TCP ones, the UDP ones or
// both) and of the processes owning them.
struct SocketSnapshot {
  std::vector<SocketEntry> tcp;
  std::vector<SocketEntry> udp;
  SocketOwners owners;
};

// The sockets other than listeners: tcpConnectionState, tcpConnectionProcess.
std::vector<TableRow> TcpConnectionRows(const SocketSnapshot& sockets);
// The listeners: tcpListenerProcess.
std::vector<TableRow> TcpListenerRows(const SocketSnapshot& sockets);
// Every UDP socket, its inode as udpEndpointInstance: udpEndpointProcess.
std::vector<TableRow> UdpEndpointRows(const SocketSnapshot& sockets);
// The names of the processes owning the sockets: velmarProcessName.
std::vector<TableRow> ProcessRows(const SocketSnapshot& sockets);

// The routes of both families: IPv4 from /proc/net/route (the main table,
// as the ipRouteTable shows it), IPv6 from /proc/net/ipv6_route.
std::vector<TableRow> InetCidrRouteRows(const std::vector<Route>& ipv4,
                                        const std::vector<Ipv6Route>& ipv6,
                                        const std::function<int(const std::string&)>& ifIndexOf);
// The same from a netlink dump of every routing table: each route's type
// and protocol as the kernel tells them.
std::vector<TableRow> InetCidrRouteRows(const std::vector<RouteEntry>& routes);
std::vector<TableRow> IpAddressRows(const std::vector<AddressEntry>& addresses);
// One row per prefix of the addresses, each address's ipAddressPrefix
// naming its row.
std::vector<TableRow> IpAddressPrefixRows(const std::vector<AddressEntry>& addresses);

// The IPv6 counters of /proc/net/snmp6 (or of one interface's file in
// /proc/net/dev_snmp6, whose first line names its ifIndex), by name.
std::map<std::string, uint64_t> ParseSnmp6(std::string_view content);
// The ipSystemStatsTable row of IPv6 (ipVersion 2) from those counters, and
// ipIfStatsTable rows from each interface's; the columns of kIpStatsColumns.
extern const std::vector<uint32_t> kIpStatsColumns;
std::vector<TableRow> IpSystemStatsRows(const std::map<std::string, uint64_t>& ipv6);
std::vector<TableRow> IpIfStatsRows(const std::vector<std::map<std::string, uint64_t>>& interfaces);
// `uptime` is the agent's own time since its start, in hundredths of a
// second, against which each entry's age is set.
std::vector<TableRow> IpNetToPhysicalRows(const std::vector<NeighbourEntry>& neighbours,
                                          uint32_t uptime);

// Where the tables' data comes from; tests point it at saved files and
// scripted lists.
struct InetSources {
  std::string procNet = "/proc/net";  // tcp, tcp6, udp, udp6, route, ipv6_route, snmp6...
  std::string procRoot = "/proc";     // the processes owning sockets
  std::function<std::vector<AddressEntry>()> addresses = ReadAddresses;
  std::function<std::vector<NeighbourEntry>()> neighbours = ReadNeighbours;
  // Null or false: the routes of /proc/net.
  std::function<bool(std::vector<RouteEntry>&)> routes = ReadRoutes;
  std::function<std::unordered_map<uint64_t, uint32_t>(uint8_t)> boundInterfaces =
      ReadBoundInterfaces;
  std::function<int(const std::string&)> ifIndexOf;  // null: the kernel's if_nametoindex
  std::function<uint32_t()> uptime;                  // null: since AddInetTables
  // The look through the processes for the owners of sockets; null: one of
  // AddInetTables's own over `procRoot`.
  std::shared_ptr<SocketOwnerCache> owners;
};

// Adds the six tables, the IP statistics and prefix tables and the process
// table to `view`, each read when a
// walk enters it; the two TCP tables share one read of the sockets. The
// owners of sockets are looked up only for walks of the socket tables,
// through one SocketOwnerCache. The agent's own subtree is reached only by
// walks that ask for it.
void AddInetTables(MibView& view, InetSources sources);

}  // namespace velmar::agent
