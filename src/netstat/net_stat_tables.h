#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <vector>

#include "netstat/inet_address.h"

namespace velmar {

class InterfaceTable;

// One row of the TCP or UDP page: a connection, a listener or an endpoint.
struct SocketRow {
  InetAddress local;
  uint32_t localPort = 0;
  InetAddress remote;
  uint32_t remotePort = 0;
  int32_t state = 0;  // tcpConnectionState (2 = listen); 0 for UDP
  uint32_t pid = 0;   // 0: the owner is not known
};

// One route.
struct RouteRow {
  InetAddress destination;
  uint32_t prefixLength = 0;
  InetAddress nextHop;
  int32_t ifIndex = 0;
  int32_t type = 0;      // inetCidrRouteType: reject 2, local 3, remote 4, blackhole 5
  int32_t protocol = 0;  // IANAipRouteProtocol
  int32_t metric = 0;
};

// One neighbour: the mapping of a network address to a link-layer one.
struct NeighbourRow {
  int32_t ifIndex = 0;
  InetAddress address;
  QByteArray physical;
  int32_t type = 0;   // ipNetToPhysicalType: invalid 2, dynamic 3, static 4, local 5
  int32_t state = 0;  // ipNetToPhysicalState; 0 when the agent does not say
};

// One address of an interface.
struct AddressRow {
  InetAddress address;
  int32_t prefixLength = -1;  // -1 when the agent does not say
  int32_t ifIndex = 0;
  int32_t origin = 0;  // IpAddressOriginTC; 0 when the agent does not say
  int32_t status = 0;  // IpAddressStatusTC; 0 when the agent does not say
};

// What the ifXTable says of an interface beside its ifDescr.
struct InterfaceLabel {
  QString name;   // ifName; empty where the agent has none
  QString alias;  // ifAlias
};

// Reads the tables NetStat shows beside the interface table through the
// table component's agent: the address-family-neutral tables of today's
// MIBs (RFC 4022, 4113, 4292, 4293) where the agent has them, else the
// IPv4 tables of MIB-II, and the owners of sockets from the agent's own
// subtree. Each call is one walk (or two, falling back) of the agent;
// errors of the agent raise as the component's walks do.
class NetStatTables {
 public:
  explicit NetStatTables(InterfaceTable& table) : table_(table) {}

  // tcpConnectionTable and tcpListenerTable in one list, in index order
  // (a listener as a connection from the unspecified address); else
  // tcpConnTable.
  std::vector<SocketRow> TcpRows();
  // udpEndpointTable, else udpTable.
  std::vector<SocketRow> UdpRows();
  // inetCidrRouteTable, else ipRouteTable.
  std::vector<RouteRow> Routes();
  // ipNetToPhysicalTable, else ipNetToMediaTable.
  std::vector<NeighbourRow> Neighbours();
  // ipAddressTable, else ipAddrTable.
  std::vector<AddressRow> Addresses();
  // The names of the processes owning sockets, by process id.
  std::map<uint32_t, QString> ProcessNames();
  // ifName and ifAlias, by ifIndex.
  std::map<int32_t, InterfaceLabel> InterfaceLabels();

 private:
  InterfaceTable& table_;
};

}  // namespace velmar
