#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "agent/inet_tables.h"
#include "agent/kernel_tables.h"
#include "agent/mib_view.h"
#include "platform/mib_objects.h"

namespace velmar::agent {

// MIB-II object identifiers of the parts of the tree this agent serves.
using mib::kIfEntry;
using mib::kIfNumber;
using mib::kIfStackEntry;
using mib::kIfXEntry;
using mib::kIpForwarding;
using mib::kIpRouteEntry;
using mib::kIpRoutingDiscards;
using mib::kIpv6IpForwarding;
using mib::kTcpConnEntry;
using mib::kTcpInErrs;
using mib::kTcpOutRsts;
extern const Oid kReadingTime;  // VELMAR_READING_TIME_OID

constexpr uint32_t kIfColumns = 22;
constexpr uint32_t kIpRouteColumns = 13;
constexpr uint32_t kTcpConnColumns = 5;
// The ifXTable columns served: ifName, ifHCInOctets, ifHCOutOctets,
// ifHighSpeed, ifConnectorPresent, ifAlias.
extern const std::vector<uint32_t> kIfXColumns;
// The ifStackTable's only accessible column, ifStackStatus.
constexpr uint32_t kIfStackStatus = 3;

// Rows of the three tables from kernel data.
std::vector<TableRow> IfTableRows(const std::vector<LinkInfo>& links);
std::vector<TableRow> IfXTableRows(const std::vector<LinkInfo>& links);
// Rows of the first two built from the same links (by ifIndex, in order)
// take their current counters; false when `links` are other links.
bool UpdateIfTableRows(std::vector<TableRow>& rows, const std::vector<LinkInfo>& links);
bool UpdateIfXTableRows(std::vector<TableRow>& rows, const std::vector<LinkInfo>& links);
// Indexed by (higher, lower) ifIndex; as RFC 2863 asks, an interface with
// nothing above it has a row (0, it), one with nothing below it (it, 0).
std::vector<TableRow> IfStackTableRows(const std::vector<LinkInfo>& links);
std::vector<TableRow> TcpConnTableRows(const std::vector<TcpConnection>& connections);
std::vector<TableRow> IpRouteTableRows(const std::vector<Route>& routes,
                                       const std::function<int(const std::string&)>& ifIndexOf);

// Where the kernel data comes from; tests point it at saved files.
struct KernelSources {
  // Brings the links up to date (the last read's are passed in); true when
  // they were read whole, false when only their counters changed.
  std::function<bool(std::vector<LinkInfo>&)> links;
  std::string procNetTcp = "/proc/net/tcp";
  std::string procNetRoute = "/proc/net/route";
  std::string procNetSnmp = "/proc/net/snmp";
  std::string ipv4Forwarding = "/proc/sys/net/ipv4/ip_forward";
  std::string ipv6Forwarding = "/proc/sys/net/ipv6/conf/all/forwarding";
  InetSources inet;  // the address-family-neutral tables
};

// The agent's whole view: ifNumber, ifTable, ipForwarding, ipRouteTable,
// ipRoutingDiscards, ipv6IpForwarding, tcpConnTable, tcpInErrs,
// tcpOutRsts, ifXTable, ifStackTable, the address-family-neutral tables of
// AddInetTables, and for GET the reading time. The three interface tables
// and the reading time share one read of the links.
std::unique_ptr<MibView> BuildMib2View(KernelSources sources);

}  // namespace velmar::agent
