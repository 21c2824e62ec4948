#pragma once

#include <vector>

#include "measure/interface_table.h"
#include "measure/mib_row.h"

namespace velmar {

// Which interfaces "All" counts: the traffic that crosses the machine's
// edge, each byte once. Decided from standard MIB objects only (ifType,
// ifConnectorPresent, the ifStackTable), so any agent gives the same answer
// for the same machine:
//  - the loopback (ifType softwareLoopback) never counts;
//  - when some interface has a connector (a card, a Wi-Fi or USB device),
//    those count that have no other connector interface above them: bridges,
//    bonds, VLANs, tunnels, veth and ifb devices carry bytes that also cross
//    a card, and a card under another card (a switch port over its uplink)
//    leaves the count to the upper one;
//  - with no connector at all (a container, an agent without ifXTable), the
//    Ethernet-type interfaces at the bottom of the stack count (veth, tap),
//    as the point-to-point links without a link layer (tun, WireGuard, PPP,
//    GRE) ride on them; when there are none of those either, every
//    interface at the bottom of the stack.
class EdgeSelection {
 public:
  // One flag per row, true for the rows "All" counts.
  static std::vector<bool> Choose(const std::vector<MibRow>& rows,
                                  const std::vector<StackLayer>& stack);
  static std::vector<bool> Choose(const InterfaceTable& table) {
    return Choose(table.AllItems(), table.Stack());
  }

  static constexpr int32_t kSoftwareLoopback = 24;
  static bool IsEthernetType(int32_t ifType);
};

}  // namespace velmar
