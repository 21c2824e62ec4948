#include "measure/edge_selection.h"

#include <QLatin1String>
#include <algorithm>
#include <utility>

namespace velmar {

bool EdgeSelection::IsEthernetType(int32_t ifType) {
  switch (ifType) {
    case 6:    // ethernetCsmacd
    case 62:   // fastEther
    case 69:   // fastEtherFX
    case 71:   // ieee80211
    case 117:  // gigabitEthernet
      return true;
    default:
      return false;
  }
}

bool EdgeSelection::IsVirtualType(int32_t ifType) {
  switch (ifType) {
    case 24:   // softwareLoopback
    case 53:   // propVirtual
    case 108:  // pppMultilinkBundle
    case 112:  // virtualIpAddress
    case 131:  // tunnel
    case 135:  // l2vlan
    case 136:  // l3ipvlan
    case 137:  // l3ipxvlan
    case 150:  // mplsTunnel
    case 161:  // ieee8023adLag
    case 166:  // mpls
    case 209:  // bridge
    case 222:  // ciscoISLvlan
    case 246:  // ifPwType
      return true;
    default:
      return false;
  }
}

const char* EdgeSelection::RuleText(Rule rule) {
  switch (rule) {
    case Rule::kUplink:
      return "the uplink: the interfaces the default routes leave by (this device forwards)";
    case Rule::kConnector:
      return "the interfaces with a connector (no virtual ones, none under another)";
    case Rule::kBottom:
      break;
  }
  return "the interfaces at the bottom of the stack (no interface has a connector)";
}

namespace {

// The uplink rule: the rows the default routes leave by, the loopback
// aside. False when it finds none.
bool ChooseUplinks(const std::vector<MibRow>& rows, const std::vector<int32_t>& uplinks,
                   std::vector<bool>& counted) {
  const size_t n = rows.size();
  counted.assign(n, false);
  bool any = false;
  for (size_t i = 0; i < n; ++i) {
    if (rows[i].IfType != EdgeSelection::kSoftwareLoopback &&
        std::find(uplinks.begin(), uplinks.end(), rows[i].IfIndex) != uplinks.end()) {
      counted[i] = true;
      any = true;
    }
  }
  return any;
}

// Relations between rows of the table only; the agent may name others.
struct StackRelations {
  std::vector<std::vector<size_t>> uppers;  // per row: the rows over it
  std::vector<bool> hasLower;               // per row: whether it runs over a row
};

StackRelations RelationsOf(const std::vector<MibRow>& rows, const std::vector<StackLayer>& stack) {
  const size_t n = rows.size();
  std::vector<std::pair<int32_t, size_t>> positions;
  positions.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    positions.emplace_back(rows[i].IfIndex, i);
  }
  std::sort(positions.begin(), positions.end());
  const auto position = [&](int32_t index) -> std::ptrdiff_t {
    const auto it =
        std::lower_bound(positions.begin(), positions.end(), std::make_pair(index, size_t{0}));
    return it != positions.end() && it->first == index ? static_cast<std::ptrdiff_t>(it->second)
                                                       : -1;
  };

  StackRelations relations{std::vector<std::vector<size_t>>(n), std::vector<bool>(n, false)};
  for (const StackLayer& layer : stack) {
    const std::ptrdiff_t higher = position(layer.higher);
    const std::ptrdiff_t lower = position(layer.lower);
    if (higher < 0 || lower < 0 || higher == lower) {
      continue;
    }
    relations.uppers[static_cast<size_t>(lower)].push_back(static_cast<size_t>(higher));
    relations.hasLower[static_cast<size_t>(higher)] = true;
  }
  return relations;
}

// The connector rule: the connector rows with no connector row above them.
std::vector<bool> ChooseTopConnectors(const std::vector<std::vector<size_t>>& uppers,
                                      const std::vector<bool>& connector) {
  const size_t n = connector.size();
  // Is there a connector interface somewhere above row i? Memoised over
  // the stack; a cycle (an agent's mistake) ends the search.
  enum : uint8_t { kUnknown, kSearching, kNo, kYes };
  std::vector<uint8_t> above(n, kUnknown);
  const auto connectorAbove = [&](auto& self, size_t i) -> bool {
    if (above[i] == kYes || above[i] == kNo || above[i] == kSearching) {
      return above[i] == kYes;
    }
    above[i] = kSearching;
    bool found = false;
    for (const size_t u : uppers[i]) {
      if (connector[u] || self(self, u)) {
        found = true;
        break;
      }
    }
    above[i] = found ? kYes : kNo;
    return found;
  };
  std::vector<bool> counted(n, false);
  for (size_t i = 0; i < n; ++i) {
    counted[i] = connector[i] && !connectorAbove(connectorAbove, i);
  }
  return counted;
}

// The bottom rule: the Ethernet-type rows at the bottom of the stack, or
// every row there when none is of that type; never the loopback.
std::vector<bool> ChooseBottom(const std::vector<MibRow>& rows, const std::vector<bool>& loopback,
                               const std::vector<bool>& hasLower) {
  const size_t n = rows.size();
  bool anyEthernet = false;
  for (size_t i = 0; i < n; ++i) {
    anyEthernet = anyEthernet ||
                  (!loopback[i] && !hasLower[i] && EdgeSelection::IsEthernetType(rows[i].IfType));
  }
  std::vector<bool> counted(n, false);
  for (size_t i = 0; i < n; ++i) {
    counted[i] = !loopback[i] && !hasLower[i] &&
                 (!anyEthernet || EdgeSelection::IsEthernetType(rows[i].IfType));
  }
  return counted;
}

// The names Linux-based devices give the interfaces they stack over their
// ports (a heuristic, for agents without an ifStackTable, which report
// them all as Ethernet): VLANs "eth0.40", bridges "br0", bonds "bond0",
// QoS devices "imq0", "vqos0".
bool StackedByName(const MibRow& row) {
  const QString& name = row.BaseName();
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  if (dot > 0 && dot + 1 < name.size()) {
    bool number = false;
    name.mid(dot + 1).toUInt(&number);
    if (number) {
      return true;
    }
  }
  for (const char* prefix : {"br", "bond", "imq", "vqos"}) {
    if (name.startsWith(QLatin1String(prefix))) {
      return true;
    }
  }
  return false;
}

// Without a relation in the ifStackTable, the rows whose names say they
// are stacked are taken as running over a port, as long as some port
// remains. True when any was.
bool StackByNames(const std::vector<MibRow>& rows, std::vector<bool>& hasLower) {
  std::vector<bool> stacked(rows.size());
  bool any = false;
  bool portLeft = false;
  for (size_t i = 0; i < rows.size(); ++i) {
    stacked[i] = rows[i].IfType != EdgeSelection::kSoftwareLoopback && StackedByName(rows[i]);
    any = any || stacked[i];
    portLeft = portLeft || (rows[i].IfType != EdgeSelection::kSoftwareLoopback && !stacked[i]);
  }
  if (!any || !portLeft) {
    return false;
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    hasLower[i] = hasLower[i] || stacked[i];
  }
  return true;
}

}  // namespace

const char* EdgeSelection::StackText(const Choice& choice) {
  switch (choice.stack) {
    case Stack::kNames:
      return "no ifStackTable: bridges, bonds, VLANs and QoS devices told by their names";
    case Stack::kUnknown:
      return "no ifStackTable: nothing tells a port from an interface over it";
    case Stack::kTable:
      break;
  }
  return "";
}

EdgeSelection::Choice EdgeSelection::Decide(const std::vector<MibRow>& rows,
                                            const std::vector<StackLayer>& stack, bool forwarding,
                                            const std::vector<int32_t>& uplinks) {
  Choice choice;
  if (forwarding && ChooseUplinks(rows, uplinks, choice.counted)) {
    choice.rule = Rule::kUplink;
    return choice;
  }
  StackRelations relations = RelationsOf(rows, stack);
  if (stack.empty()) {
    choice.stack = StackByNames(rows, relations.hasLower) ? Stack::kNames : Stack::kUnknown;
  }

  const size_t n = rows.size();
  std::vector<bool> loopback(n);
  std::vector<bool> connector(n);
  bool anyConnector = false;
  for (size_t i = 0; i < n; ++i) {
    loopback[i] = rows[i].IfType == kSoftwareLoopback;
    connector[i] = !IsVirtualType(rows[i].IfType) && rows[i].IfConnectorPresent == 1 &&
                   !(choice.stack == Stack::kNames && relations.hasLower[i]);
    anyConnector = anyConnector || connector[i];
  }

  if (anyConnector) {
    choice.counted = ChooseTopConnectors(relations.uppers, connector);
    choice.rule = Rule::kConnector;
    return choice;
  }
  choice.counted = ChooseBottom(rows, loopback, relations.hasLower);
  choice.rule = Rule::kBottom;
  return choice;
}

}  // namespace velmar
