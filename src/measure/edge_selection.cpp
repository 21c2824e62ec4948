#include "measure/edge_selection.h"

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

EdgeSelection::Choice EdgeSelection::Decide(const std::vector<MibRow>& rows,
                                            const std::vector<StackLayer>& stack, bool forwarding,
                                            const std::vector<int32_t>& uplinks) {
  const size_t n = rows.size();
  Choice choice;
  if (forwarding) {
    choice.counted.assign(n, false);
    bool any = false;
    for (size_t i = 0; i < n; ++i) {
      if (rows[i].IfType != kSoftwareLoopback &&
          std::find(uplinks.begin(), uplinks.end(), rows[i].IfIndex) != uplinks.end()) {
        choice.counted[i] = true;
        any = true;
      }
    }
    if (any) {
      choice.rule = Rule::kUplink;
      return choice;
    }
  }
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

  // Relations between rows of the table only; the agent may name others.
  std::vector<std::vector<size_t>> uppers(n);
  std::vector<bool> hasLower(n, false);
  for (const StackLayer& layer : stack) {
    const std::ptrdiff_t higher = position(layer.higher);
    const std::ptrdiff_t lower = position(layer.lower);
    if (higher < 0 || lower < 0 || higher == lower) {
      continue;
    }
    uppers[static_cast<size_t>(lower)].push_back(static_cast<size_t>(higher));
    hasLower[static_cast<size_t>(higher)] = true;
  }

  std::vector<bool> loopback(n);
  std::vector<bool> connector(n);
  bool anyConnector = false;
  for (size_t i = 0; i < n; ++i) {
    loopback[i] = rows[i].IfType == kSoftwareLoopback;
    connector[i] = !IsVirtualType(rows[i].IfType) && rows[i].IfConnectorPresent == 1;
    anyConnector = anyConnector || connector[i];
  }

  std::vector<bool> counted(n, false);
  if (anyConnector) {
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
    for (size_t i = 0; i < n; ++i) {
      counted[i] = connector[i] && !connectorAbove(connectorAbove, i);
    }
    choice.counted = std::move(counted);
    choice.rule = Rule::kConnector;
    return choice;
  }

  bool anyEthernet = false;
  for (size_t i = 0; i < n; ++i) {
    anyEthernet = anyEthernet || (!loopback[i] && !hasLower[i] && IsEthernetType(rows[i].IfType));
  }
  for (size_t i = 0; i < n; ++i) {
    counted[i] = !loopback[i] && !hasLower[i] && (!anyEthernet || IsEthernetType(rows[i].IfType));
  }
  choice.counted = std::move(counted);
  choice.rule = Rule::kBottom;
  return choice;
}

}  // namespace velmar
