#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace velmar {

// One row of a MIB-II table. A refresh fills only the group of its kind;
// every other field keeps its initial value.
class MibRow {
 public:
  using Address = std::array<uint8_t, 4>;  // network order, first octet first

  // Interface group (ifTable).
  int32_t IfIndex = 0;
  QString IfDescr;
  int32_t IfType = 0;
  int32_t IfMtu = 0;
  uint32_t IfSpeed = 0;
  Address IfPhysAddress{};
  uint32_t IfLastChange = 0;
  uint32_t IfInOctets = 0;
  uint32_t IfInUcastPkts = 0;
  uint32_t IfInNUcastPkts = 0;
  uint32_t IfInDiscards = 0;
  uint32_t IfInErrors = 0;
  uint32_t IfInUnknownProtos = 0;
  uint32_t IfOutOctets = 0;
  uint32_t IfOutUcastPkts = 0;
  uint32_t IfOutNUcastPkts = 0;
  uint32_t IfOutDiscards = 0;
  uint32_t IfOutErrors = 0;
  uint32_t IfOutQLen = 0;

  // Extended interface group (ifXTable), where the agent offers it.
  bool HasHCInOctets = false;
  bool HasHCOutOctets = false;
  uint64_t IfHCInOctets = 0;
  uint64_t IfHCOutOctets = 0;
  // The 64-bit counters came from the ifXTable, not as Counter64 in the
  // ifTable (some firewalls send them so, without an ifXTable).
  bool IfXInOctets = false;
  bool IfXOutOctets = false;
  // ifConnectorPresent: 0 not reported, 1 true, 2 false.
  int32_t IfConnectorPresent = 0;
  // ifName and ifAlias, empty where the agent has none.
  QString IfName;
  QString IfAlias;
  bool HasHCOctets() const { return HasHCInOctets && HasHCOutOctets; }

  // ifName where the agent has one, else ifDescr.
  const QString& BaseName() const { return IfName.isEmpty() ? IfDescr : IfName; }

  // Route group (ipRouteTable).
  int32_t RouteIfIndex = 0;
  Address RouteDest{};

  // TCP group (tcpConnTable). A new row starts as listening.
  Address RemoteAddress{};
  int32_t RemotePort = 0;
  int32_t State = 2;
  Address LocalAddress{};
  int32_t LocalPort = 0;

  QString LocalAddressText() const { return AddressText(LocalAddress); }
  QString RemoteAddressText() const { return AddressText(RemoteAddress); }
  QString RouteDestText() const { return AddressText(RouteDest); }
  // A listening socket has no remote end, whatever the agent says.
  int32_t RemotePortShown() const { return State == 2 ? 0 : RemotePort; }
  QString StateText() const { return StateName(State); }
  // The name of a tcpConnState (or tcpConnectionState) value.
  static QString StateName(int32_t state);

  static QString AddressText(const Address& a);
};

}  // namespace velmar
