#include "measure/edge_selection.h"
#include "interfaces/interface_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmar {
namespace {

// An interface as an agent reports it: ifIndex, name, ifType and
// ifConnectorPresent (0 = not reported).
struct Interface {
  int32_t index;
  const char* name;
  int32_t type;
  int32_t connector;
};

constexpr int32_t kEther = 6, kLoop = 24, kOther = 1, kTunnel = 131, kPpp = 23;

std::vector<MibRow> Rows(const std::vector<Interface>& interfaces) {
  std::vector<MibRow> rows;
  for (const Interface& i : interfaces) {
    MibRow row;
    row.IfIndex = i.index;
    row.IfDescr = QString::fromLatin1(i.name);
    row.IfType = i.type;
    row.IfConnectorPresent = i.connector;
    rows.push_back(row);
  }
  return rows;
}

// The names of the interfaces "All" counts.
std::vector<std::string> Counted(const std::vector<Interface>& interfaces,
                                 const std::vector<StackLayer>& stack = {}) {
  std::vector<MibRow> rows;
  for (const Interface& i : interfaces) {
    MibRow row;
    row.IfIndex = i.index;
    row.IfDescr = QString::fromLatin1(i.name);
    row.IfType = i.type;
    row.IfConnectorPresent = i.connector;
    rows.push_back(row);
  }
  const std::vector<bool> counted = EdgeSelection::Choose(rows, stack);
  EXPECT_EQ(counted.size(), rows.size());
  std::vector<std::string> names;
  for (size_t i = 0; i < counted.size(); ++i) {
    if (counted[i]) {
      names.emplace_back(interfaces[i].name);
    }
  }
  return names;
}

using Names = std::vector<std::string>;

TEST(EdgeSelectionTest, WithACardOnlyTheCardsAtTheEdgeCount) {
  // Containers: a bridge with a veth per container, beside the card.
  EXPECT_EQ(Counted({{1, "lo", kLoop, 2},
                     {2, "eth0", kEther, 1},
                     {3, "docker0", kEther, 2},
                     {5, "veth1", kEther, 2},
                     {7, "veth2", kEther, 2}},
                    {{3, 5}, {3, 7}}),
            Names{"eth0"});
  // A virtual-machine host: the card itself is a bridge port, taps beside it.
  EXPECT_EQ(Counted({{1, "lo", kLoop, 2},
                     {2, "enp3s0", kEther, 1},
                     {3, "br0", kEther, 2},
                     {4, "vnet0", kEther, 2}},
                    {{3, 2}, {3, 4}}),
            Names{"enp3s0"});
  // A bond over two cards with a VLAN over the bond.
  EXPECT_EQ(Counted({{1, "lo", kLoop, 2},
                     {2, "eno1", kEther, 1},
                     {3, "eno2", kEther, 1},
                     {4, "bond0", kEther, 2},
                     {5, "bond0.10", kEther, 2}},
                    {{4, 2}, {4, 3}, {5, 4}}),
            (Names{"eno1", "eno2"}));
  // VPNs over the uplink, ifb devices for ingress shaping, Wi-Fi as well.
  EXPECT_EQ(Counted({{1, "lo", kLoop, 2},
                     {2, "ifb0", kEther, 2},
                     {3, "ifb1", kEther, 2},
                     {4, "eth0", kEther, 1},
                     {5, "wlan0", kEther, 1},
                     {6, "tun0", kOther, 2},
                     {7, "wg0", kOther, 2},
                     {8, "ppp0", kPpp, 2},
                     {9, "gre1", kTunnel, 2}},
                    {{9, 4}}),
            (Names{"eth0", "wlan0"}));
  // Switch ports over the card that links them to the CPU: the ports are
  // the edge, the uplink carries the same bytes once more.
  EXPECT_EQ(Counted({{1, "lo", kLoop, 2},
                     {2, "eth0", kEther, 1},
                     {3, "lan1", kEther, 1},
                     {4, "lan2", kEther, 1},
                     {5, "br-lan", kEther, 2}},
                    {{3, 2}, {4, 2}, {5, 3}, {5, 4}}),
            (Names{"lan1", "lan2"}));
  // A card in any row counts; a loopback never does, whatever it reports.
  EXPECT_EQ(Counted({{1, "lo", kLoop, 1}, {300, "usb0", kEther, 1}}), Names{"usb0"});
}

TEST(EdgeSelectionTest, WithoutACardTheBottomOfTheStackCounts) {
  // Inside a container: its veth end.
  EXPECT_EQ(Counted({{1, "lo", kLoop, 2}, {9, "eth0", kEther, 2}}), Names{"eth0"});
  // A container with a VPN: tun and WireGuard ride on the veth.
  EXPECT_EQ(Counted({{1, "lo", kLoop, 2},
                     {2, "tun0", kOther, 2},
                     {3, "eth0", kEther, 2},
                     {4, "wg0", kOther, 2}}),
            Names{"eth0"});
  // A host namespace without a card: the bridge's ports, not the bridge;
  // a macvlan over a port is stacked too.
  EXPECT_EQ(Counted({{1, "lo", kLoop, 2},
                     {2, "br0", kEther, 2},
                     {3, "veth-a", kEther, 2},
                     {4, "veth-b", kEther, 2},
                     {5, "mv0", kEther, 2}},
                    {{2, 3}, {2, 4}, {5, 4}}),
            (Names{"veth-a", "veth-b"}));
  // A namespace whose only link is a WireGuard or PPP interface.
  EXPECT_EQ(Counted({{1, "lo", kLoop, 2}, {2, "wg0", kOther, 2}, {3, "ppp0", kPpp, 2}}),
            (Names{"wg0", "ppp0"}));
  // An agent without the ifXTable and ifStackTable: every Ethernet-type
  // interface but the loopback, in any row.
  EXPECT_EQ(Counted({{1, "lo", kLoop, 0}, {2, "eth0", kEther, 0}, {40, "eth1", kEther, 0}}),
            (Names{"eth0", "eth1"}));
  // Only the loopback: nothing, and no interface at all: nothing.
  EXPECT_EQ(Counted({{1, "lo", kLoop, 2}}), Names{});
  EXPECT_EQ(Counted({}), Names{});
}

TEST(EdgeSelectionTest, StackRowsOfOtherInterfacesAndCyclesAreHarmless) {
  // Rows naming interfaces the table lacks, an interface over itself, and
  // two cards each over the other: no hang, the unrelated card counts.
  EXPECT_EQ(
      Counted({{1, "lo", kLoop, 2}, {2, "a", kEther, 1}, {3, "b", kEther, 1}, {4, "c", kEther, 1}},
              {{2, 3}, {3, 2}, {4, 4}, {99, 4}, {4, 98}, {0, 2}}),
      Names{"c"});
  // Without cards, a virtual cycle leaves both out and the rest counts.
  EXPECT_EQ(
      Counted({{1, "lo", kLoop, 2}, {2, "x", kEther, 2}, {3, "y", kEther, 2}, {4, "z", kEther, 2}},
              {{2, 3}, {3, 2}}),
      Names{"z"});
}

TEST(EdgeSelectionTest, AForwardingDeviceCountsItsUplinksAndVirtualTypesNeverCount) {
  // A Linux-based access point: VLANs, a bridge, a tunnel and a bond
  // claim a connector too.
  const std::vector<Interface> ap = {
      {1, "lo", kLoop, 2}, {2, "eth0", kEther, 1},  {3, "eth0.40", 135, 1}, {4, "br0", 209, 1},
      {5, "ath0", 71, 1},  {6, "tun0", kTunnel, 1}, {7, "bond0", 161, 1},   {8, "gre0", kOther, 2}};
  const auto decide = [&](bool forwarding, std::vector<int32_t> uplinks) {
    const auto choice = EdgeSelection::Decide(Rows(ap), {}, forwarding, uplinks);
    Names names;
    for (size_t i = 0; i < choice.counted.size(); ++i) {
      if (choice.counted[i]) {
        names.emplace_back(ap[i].name);
      }
    }
    return std::make_pair(names, choice.rule);
  };
  EXPECT_EQ(decide(false, {}),
            std::make_pair(Names{"eth0", "ath0"}, EdgeSelection::Rule::kConnector));
  // Forwarding with default routes by eth0.40 (a VLAN uplink) and an index
  // no row has: the uplink alone, whatever its type.
  EXPECT_EQ(decide(true, {3, 99}), std::make_pair(Names{"eth0.40"}, EdgeSelection::Rule::kUplink));
  // Routes by the loopback, or no default route at all: the connector rule.
  EXPECT_EQ(decide(true, {1}).second, EdgeSelection::Rule::kConnector);
  EXPECT_EQ(decide(true, {}).second, EdgeSelection::Rule::kConnector);
  // Routes on a host that does not forward say nothing.
  EXPECT_EQ(decide(false, {3}).second, EdgeSelection::Rule::kConnector);
}

TEST(EdgeSelectionTest, WithoutAStackTableNamesTellStackedInterfaces) {
  // A Linux-based router without ifStackTable reports everything as
  // Ethernet: VLANs, bridges, bonds and QoS devices over its two ports.
  const std::vector<MibRow> rows = Rows({{1, "lo", kLoop, 0},
                                         {2, "eth0", kEther, 0},
                                         {3, "eth1", kEther, 0},
                                         {4, "eth0.10", kEther, 0},
                                         {5, "br0", kEther, 0},
                                         {6, "bond0", kEther, 0},
                                         {7, "imq0", kEther, 0},
                                         {8, "vqos1", kEther, 0}});
  const EdgeSelection::Choice byNames = EdgeSelection::Decide(rows, {});
  EXPECT_EQ(byNames.counted,
            (std::vector<bool>{false, true, true, false, false, false, false, false}));
  EXPECT_EQ(byNames.stack, EdgeSelection::Stack::kNames);
  // The device's own stack, where it has one, decides instead of names.
  const EdgeSelection::Choice byTable = EdgeSelection::Decide(rows, {{4, 2}});
  EXPECT_EQ(byTable.stack, EdgeSelection::Stack::kTable);
  EXPECT_TRUE(byTable.counted[4]);
  // Nothing to tell them apart by: said so.
  const EdgeSelection::Choice unknown =
      EdgeSelection::Decide(Rows({{1, "port1", kEther, 0}, {2, "port2", kEther, 0}}), {});
  EXPECT_EQ(unknown.stack, EdgeSelection::Stack::kUnknown);
  EXPECT_NE(std::string(EdgeSelection::StackText(unknown)), "");
}

TEST(InterfaceNamesTest, IfNameFirstAndRepeatedNamesToldApartByIndex) {
  std::vector<MibRow> rows(4);
  const char* descrs[] = {"HP ProCurve Switch software loopback interface",
                          "HP ProCurve Switch software loopback interface", "GigabitEthernet0/1",
                          "Vlan1"};
  for (int i = 0; i < 4; ++i) {
    rows[i].IfIndex = 4000 + i;
    rows[i].IfDescr = QString::fromLatin1(descrs[i]);
  }
  rows[2].IfName = QStringLiteral("Gi0/1");
  EXPECT_EQ(
      InterfaceNames(rows),
      (QStringList{"HP ProCurve Switch software loopback interface #4000",
                   "HP ProCurve Switch software loopback interface #4001", "Gi0/1", "Vlan1"}));
  EXPECT_EQ(WithAlias(QStringLiteral("Gi0/1"), QStringLiteral("uplink to core")),
            "Gi0/1 (uplink to core)");
  EXPECT_EQ(WithAlias(QStringLiteral("Vlan1"), QString()), "Vlan1");
  EXPECT_EQ(WithAlias(QStringLiteral("lo1"), QStringLiteral("lo1")), "lo1");
}

}  // namespace
}  // namespace velmar
