#include "agent/remote_view.h"

#include <algorithm>

namespace velmar::agent {

namespace {

bool Under(const uint32_t* name, size_t length, const std::vector<uint32_t>& root) {
  return length >= root.size() && std::equal(root.begin(), root.end(), name);
}

bool Less(const uint32_t* a, size_t aLength, const uint32_t* b, size_t bLength) {
  return std::lexicographical_compare(a, a + aLength, b, b + bLength);
}

}  // namespace

const std::vector<RemoteSubtree>& RemoteSubtrees() {
  static const std::vector<RemoteSubtree> subtrees = {
      {{1, 3, 6, 1, 2, 1, 2, 1}, 0, true},               // ifNumber
      {{1, 3, 6, 1, 2, 1, 2, 2}, 10, true},              // ifTable
      {{1, 3, 6, 1, 2, 1, 4, 20}, 10, false, false},     // ipAddrTable
      {{1, 3, 6, 1, 2, 1, 4, 21}, 10, false},            // ipRouteTable
      {{1, 3, 6, 1, 2, 1, 4, 22}, 10, false, false},     // ipNetToMediaTable
      {{1, 3, 6, 1, 2, 1, 4, 24, 7}, 11, false, false},  // inetCidrRouteTable
      {{1, 3, 6, 1, 2, 1, 4, 34}, 10, false, false},     // ipAddressTable
      {{1, 3, 6, 1, 2, 1, 4, 35}, 10, false, false},     // ipNetToPhysicalTable
      {{1, 3, 6, 1, 2, 1, 6, 13}, 10, false},            // tcpConnTable
      {{1, 3, 6, 1, 2, 1, 6, 19}, 10, false, false},     // tcpConnectionTable
      {{1, 3, 6, 1, 2, 1, 6, 20}, 10, false, false},     // tcpListenerTable
      {{1, 3, 6, 1, 2, 1, 7, 5}, 10, false, false},      // udpTable
      {{1, 3, 6, 1, 2, 1, 7, 7}, 10, false, false},      // udpEndpointTable
      {{1, 3, 6, 1, 2, 1, 31, 1, 1}, 11, true},          // ifXTable
      {{1, 3, 6, 1, 2, 1, 31, 1, 2}, 11, true},          // ifStackTable
      // The process table of a meter's own agent, should a device be one.
      {{1, 3, 6, 1, 4, 1, 32473, 1, 1}, 11, false, false},
  };
  return subtrees;
}

const RemoteObject* RemoteReading::Find(const std::vector<uint32_t>& name) const {
  const auto it = std::lower_bound(
      objects.begin(), objects.end(), name,
      [](const RemoteObject& o, const std::vector<uint32_t>& n) { return o.name < n; });
  return it != objects.end() && it->name == name ? &*it : nullptr;
}

const RemoteObject* NextObject(const RemoteSnapshot& snapshot, const uint32_t* name,
                               size_t length) {
  // The parts are disjoint and in MIB order: the answer is in the first
  // one that ends after the name.
  const auto after = [name, length](const RemoteObject& object) {
    return Less(name, length, object.name.data(), object.name.size());
  };
  for (const RemoteSnapshot::Part& part : snapshot.parts) {
    if (part == nullptr || part->empty() || !after(part->back())) {
      continue;
    }
    return &*std::upper_bound(part->begin(), part->end(), 0,
                              [&after](int, const RemoteObject& object) { return after(object); });
  }
  return nullptr;
}

int SubtreeOf(const uint32_t* name, size_t length) {
  const auto& subtrees = RemoteSubtrees();
  for (size_t i = 0; i < subtrees.size(); ++i) {
    if (Under(name, length, subtrees[i].root)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool StartsWalk(const uint32_t* name, size_t length) {
  const int part = SubtreeOf(name, length);
  if (part < 0) {
    return true;
  }
  const size_t columnLength = RemoteSubtrees()[static_cast<size_t>(part)].columnLength;
  return columnLength == 0 || length <= columnLength;
}

}  // namespace velmar::agent
