#pragma once

// The answers of a scripted agent to one whole NetStat refresh (TCP,
// INTERFACE, IP, ADDRESSES, UDP, NEIGHBOURS) from the address-family-neutral
// tables, for the NetStat tests.
#include <arpa/inet.h>

#include <string>
#include <vector>

#include "support/fake_agent_control.h"

namespace velmar::test {

// An InetAddressType and InetAddress as an index writes them.
inline std::vector<uint32_t> InetIndex(const char* text) {
  uint8_t octets[16];
  const bool v6 = inet_pton(AF_INET6, text, octets) == 1;
  if (!v6) {
    inet_pton(AF_INET, text, octets);
  }
  std::vector<uint32_t> index{v6 ? 2u : 1u, v6 ? 16u : 4u};
  index.insert(index.end(), octets, octets + (v6 ? 16 : 4));
  return index;
}

inline std::vector<uint32_t> Joined(std::initializer_list<std::vector<uint32_t>> parts) {
  std::vector<uint32_t> all;
  for (const auto& p : parts) {
    all.insert(all.end(), p.begin(), p.end());
  }
  return all;
}

// What one refresh walks, and the queries it takes: every walk asks once
// per object and once more to find its end.
struct NetStatScript {
  int32_t listenPort = 631;
  uint32_t loInOctets = 1;
  std::vector<FakeConnection> connections = {{{127, 0, 0, 1}, 45678, {127, 0, 0, 1}, 8080, 5}};

  unsigned Queries() const {
    const unsigned tcp = (2 * static_cast<unsigned>(connections.size()) + 1) + 2 + 2;
    const unsigned interfaces = (1 + 2 * 21 + 1) + 1 + 1;
    return tcp + interfaces + (2 * 4 + 1) + 2 + 2 + 2;
  }

  void Push(FakeAgent& agent) const {
    const std::vector<uint32_t> conn = {1, 3, 6, 1, 2, 1, 6, 19, 1};
    std::vector<FakeObject> rows;
    for (uint32_t column : {7u, 8u}) {
      for (const FakeConnection& c : connections) {
        const std::vector<uint32_t> index =
            Joined({{1, 4, c.local[0], c.local[1], c.local[2], c.local[3]},
                    {static_cast<uint32_t>(c.localPort)},
                    {1, 4, c.remote[0], c.remote[1], c.remote[2], c.remote[3]},
                    {static_cast<uint32_t>(c.remotePort)}});
        rows.push_back(column == 7
                           ? FakeCell(conn, 7, index, ASN_INTEGER, static_cast<uint32_t>(c.state))
                           : FakeCell(conn, 8, index, ASN_GAUGE32, 0));
      }
    }
    agent.Walk(rows);
    agent.Walk({FakeCell({1, 3, 6, 1, 2, 1, 6, 20, 1}, 4,
                         Joined({InetIndex("127.0.0.1"), {static_cast<uint32_t>(listenPort)}}),
                         ASN_GAUGE32, 4242)});
    agent.Walk(
        {FakeCell({1, 3, 6, 1, 4, 1, 32473, 1, 1, 1}, 2, {4242}, ASN_OCTETSTRING, 0, "cupsd")});
    agent.InterfaceTable(
        {FakeInterface{1, "lo", loInOctets, 7, 24, 65536}, FakeInterface{2, "eth0"}});
    agent.Walk({});  // no ifName
    agent.Walk({});  // no ifAlias
    const std::vector<uint32_t> route = {1, 3, 6, 1, 2, 1, 4, 24, 7, 1};
    const auto def = Joined({InetIndex("0.0.0.0"), {0, 2, 0, 0}, InetIndex("10.0.0.1")});
    const auto lo = Joined({InetIndex("127.0.0.0"), {8, 3, 0, 0, 1}, InetIndex("0.0.0.0")});
    agent.Walk({FakeCell(route, 7, def, ASN_INTEGER, 2), FakeCell(route, 7, lo, ASN_INTEGER, 1),
                FakeCell(route, 8, def, ASN_INTEGER, 4), FakeCell(route, 8, lo, ASN_INTEGER, 3),
                FakeCell(route, 9, def, ASN_INTEGER, 2), FakeCell(route, 9, lo, ASN_INTEGER, 2),
                FakeCell(route, 12, def, ASN_INTEGER, 100),
                FakeCell(route, 12, lo, ASN_INTEGER, 0)});
    agent.Walk({FakeCell({1, 3, 6, 1, 2, 1, 4, 34, 1}, 3, InetIndex("127.0.0.1"), ASN_INTEGER, 1)});
    agent.Walk(
        {FakeCell({1, 3, 6, 1, 2, 1, 7, 7, 1}, 8,
                  Joined({InetIndex("::"), {5353}, InetIndex("::"), {0, 17}}), ASN_GAUGE32, 4242)});
    agent.Walk({FakeCell({1, 3, 6, 1, 2, 1, 4, 35, 1}, 7, Joined({{2}, InetIndex("fe80::1")}),
                         ASN_INTEGER, 1)});
  }
};

}  // namespace velmar::test
