#pragma once

#include <vector>

#include "interfaces/interface_table.h"
#include "interfaces/mib_row.h"

namespace velmar {

// Which interfaces "All" counts: the traffic that crosses the machine's
// edge, each byte once. Decided from standard MIB objects only (ifType,
// ifConnectorPresent, the ifStackTable, ipForwarding and the default
// routes), so any agent gives the same answer for the same machine or
// device:
//  - the loopback (ifType softwareLoopback) never counts;
//  - on a machine that forwards (a router, a NAT box, a container host)
//    with a default route, the interfaces its default routes leave by (the
//    uplink): every forwarded byte crosses two ports, so a sum over ports
//    would count it twice, while each byte to or from the internet crosses
//    the uplink once;
//  - else, when some interface has a connector (a card, a Wi-Fi or USB
//    device) and is of no virtual type (bridges, VLANs, bonds, tunnels and
//    the like report a connector on some agents),
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
  // Which of the rules above chose.
  enum class Rule { kUplink, kConnector, kBottom };
  // What told the ports from the interfaces stacked over them: the
  // agent's ifStackTable, else (where it has none) the names Linux-based
  // devices give bridges, bonds, VLANs and QoS devices, else nothing.
  enum class Stack { kTable, kNames, kUnknown };
  struct Choice {
    std::vector<bool> counted;  // one flag per row
    Rule rule = Rule::kBottom;
    Stack stack = Stack::kTable;
  };

  static Choice Decide(const std::vector<MibRow>& rows, const std::vector<StackLayer>& stack,
                       bool forwarding = false, const std::vector<int32_t>& uplinks = {});
  static Choice Decide(const InterfaceTable& table) {
    return Decide(table.AllItems(), table.Stack(), table.Forwarding(), table.Uplinks());
  }
  // One flag per row, true for the rows "All" counts.
  static std::vector<bool> Choose(const std::vector<MibRow>& rows,
                                  const std::vector<StackLayer>& stack) {
    return Decide(rows, stack).counted;
  }
  static std::vector<bool> Choose(const InterfaceTable& table) { return Decide(table).counted; }

  // What the rule counts, for the tip, the adapter list and the manual.
  static const char* RuleText(Rule rule);
  // How the stack was told where no ifStackTable did; empty where one did.
  static const char* StackText(const Choice& choice);
  // ifTypes of interfaces that carry bytes which also cross another one.
  static bool IsVirtualType(int32_t ifType);

  static constexpr int32_t kSoftwareLoopback = 24;
  static bool IsEthernetType(int32_t ifType);
};

}  // namespace velmar
