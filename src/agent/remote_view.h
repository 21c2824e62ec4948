#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What the remote agent keeps of a device: plain records that need neither
// the agent ABI header nor net-snmp's (both define the ASN tags).
namespace velmar::agent {

// One object as the device sent it. `type` is the BER tag, the same value
// as the ASN_* constants of the agent ABI.
struct RemoteObject {
  std::vector<uint32_t> name;
  uint8_t type = 0;
  uint64_t number = 0;           // INTEGER (two's complement), the unsigned kinds, Counter64
  std::string bytes;             // OCTET STRING, IpAddress
  std::vector<uint32_t> object;  // OBJECT IDENTIFIER
};

// A part of the device's tree fetched whole, when walks ask for it (the
// counters the meter shows come with GET instead). Interface parts are
// fetched again whenever a walk finds them older than the device's marks
// of change say they may be; the others (routes, connections, addresses,
// neighbours, which a router may have thousands of) only while walks ask
// for them.
struct RemoteSubtree {
  std::vector<uint32_t> root;
  // The length of a column's name: a name longer than this is a row
  // instance. 0 for a scalar group.
  size_t columnLength;
  bool interfaces;
  // A part on demand fetched once as soon as the device first answers, so
  // the first walk finds it; the others (NetStat's newer tables) only when
  // a walk asks for them.
  bool atStart = true;
};

// The parts, in MIB order: ifNumber, ifTable; the IPv4 tables of MIB-II and
// the address-family-neutral ones NetStat shows (addresses, routes,
// neighbours, TCP, UDP); ifXTable, ifStackTable; the process table of the
// agent's own subtree.
const std::vector<RemoteSubtree>& RemoteSubtrees();

// The answers of one GET poll, sorted by name (objects the device has
// not are left out), and when they arrived.
struct RemoteReading {
  std::vector<RemoteObject> objects;
  std::chrono::steady_clock::time_point taken;
  const RemoteObject* Find(const std::vector<uint32_t>& name) const;
};

// The device's tables at one time, a part of the tree at a time (as many
// as RemoteSubtrees(), each in MIB order within its root, null for a part
// never fetched). A part that no fetch has replaced since is the same
// vector in the next snapshot, not a copy: a NetStat refresh of the
// connection table copies no interface table of a 3,000-port switch.
struct RemoteSnapshot {
  using Part = std::shared_ptr<const std::vector<RemoteObject>>;
  std::vector<Part> parts;
  std::chrono::steady_clock::time_point taken;
};

// The first object after `name`, or null past the end.
const RemoteObject* NextObject(const RemoteSnapshot& snapshot, const uint32_t* name, size_t length);

// True when a walk asking for `name` is starting rather than going on: the
// name is no row instance of a table the view holds (a table's or a
// column's own name, a scalar, a name outside every part). A walk that goes
// on stays on the snapshot it started on, so its columns agree.
bool StartsWalk(const uint32_t* name, size_t length);

// The part `name` falls in, or -1.
int SubtreeOf(const uint32_t* name, size_t length);

}  // namespace velmar::agent
