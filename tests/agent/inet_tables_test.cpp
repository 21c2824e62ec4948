// The address-family-neutral tables from saved kernel tables: RFC 4001
// indexes, the values each MIB's textual conventions give the kernel's
// states, and the owners of sockets found in a /proc tree the test lays out.
// tests/e2e/inet_tables_test.py compares the same tables with snmpd's on a
// live kernel.
#include "agent/inet_tables.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/if_addr.h>
#include <linux/neighbour.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>

#include "agent/mib2_tables.h"
#include "support/own_network.h"

namespace velmar::agent {
namespace {

IpAddress Ip(const char* text) {
  IpAddress a;
  if (inet_pton(AF_INET6, text, a.octets.data()) == 1) {
    a.family = AF_INET6;
  } else if (inet_pton(AF_INET, text, a.octets.data()) == 1) {
    a.family = AF_INET;
  }
  return a;
}

Oid Inet(const char* text) {
  Oid index;
  AppendInetAddress(index, Ip(text));
  return index;
}

Oid Join(std::initializer_list<Oid> parts) {
  Oid all;
  for (const Oid& p : parts) {
    all.insert(all.end(), p.begin(), p.end());
  }
  return all;
}

const TableRow* Find(const std::vector<TableRow>& rows, const Oid& index) {
  for (const TableRow& r : rows) {
    if (r.index == index) {
      return &r;
    }
  }
  return nullptr;
}

int32_t Int(const MibValue& v) {
  return static_cast<int32_t>(v.number);
}

// A /proc of processes holding descriptors, laid out as the kernel does.
class ProcTree {
 public:
  void Process(uint32_t pid, const char* name, std::vector<std::pair<int, std::string>> fds) {
    const QString base = dir_.path() + QStringLiteral("/%1").arg(pid);
    QDir().mkpath(base + QStringLiteral("/fd"));
    QFile comm(base + QStringLiteral("/comm"));
    ASSERT_TRUE(comm.open(QIODevice::WriteOnly));
    comm.write(QByteArray(name) + '\n');
    for (const auto& [fd, target] : fds) {
      ASSERT_EQ(::symlink(target.c_str(), (base + QStringLiteral("/fd/%1").arg(fd)).toUtf8()), 0);
    }
  }
  std::string Root() const { return dir_.path().toStdString(); }

 private:
  QTemporaryDir dir_;
};

TEST(InetTablesTest, SocketsOfBothFamiliesWithTheProcessesOwningThem) {
  const std::string tcp6 =
      "  sl  local_address                         remote_address                        st "
      "tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
      "   0: 00000000000000000000000000000000:0016 00000000000000000000000000000000:0000 0A "
      "00000000:00000000 00:00000000 00000000     0        0 5001 1 0 100 0 0 10 0\n"
      // A v4-mapped connection ::ffff:127.0.0.1:22 <- :50000, and one in TIME_WAIT.
      "   1: 0000000000000000FFFF00000100007F:0016 0000000000000000FFFF00000100007F:C350 01 "
      "00000000:00000000 00:00000000 00000000     0        0 5002 1 0 100 0 0 10 0\n"
      "   2: 00000000000000000000000001000000:01BB 00000000000000000000000001000000:9C40 06 "
      "00000000:00000000 03:00000100 00000000     0        0 0 3 0\n"
      "   3: 0000000000000000:0016 00000000000000000000000000000000:0000 0A 0 0 0 0 0 5003\n";
  SocketSnapshot sockets;
  sockets.tcp = ParseProcNetSockets(tcp6, AF_INET6);
  ASSERT_EQ(sockets.tcp.size(), 3u) << "the short address is skipped";
  EXPECT_EQ(sockets.tcp[1].local, Ip("::ffff:127.0.0.1"));
  EXPECT_EQ(sockets.tcp[1].remotePort, 50000);
  sockets.udp = ParseProcNetSockets(
      "   7: 3500007F:0035 00000000:0000 07 00000000:00000000 00:00000000 00000000   101 0 6001 "
      "2 0 0\n",
      AF_INET);
  ASSERT_EQ(sockets.udp.size(), 1u);

  // sshd holds the listener, handed on to a child of a higher id; nobody
  // the reader may see holds the connection.
  ProcTree proc;
  proc.Process(100, "sshd", {{3, "socket:[5001]"}, {4, "/dev/null"}, {5, "socket:[999]"}});
  proc.Process(200, "sshd: child", {{3, "socket:[5001]"}});
  proc.Process(300, "systemd-resolve", {{12, "socket:[6001]"}, {13, "pipe:[6001]"}});
  QDir().mkpath(QString::fromStdString(proc.Root() + "/400"));  // gone, or another user's
  QDir().mkpath(QString::fromStdString(proc.Root() + "/net"));
  sockets.owners = FindSocketOwners(proc.Root(), {5001, 5002, 6001});
  EXPECT_EQ(sockets.owners.PidOf(5001), 200u);
  EXPECT_EQ(sockets.owners.PidOf(5002), 0u);
  EXPECT_EQ(sockets.owners.PidOf(6001), 300u);
  EXPECT_EQ(sockets.owners.nameOfPid,
            (std::map<uint32_t, std::string>{{200, "sshd: child"}, {300, "systemd-resolve"}}));

  const auto connections = TcpConnectionRows(sockets);
  ASSERT_EQ(connections.size(), 2u) << "listeners have a table of their own";
  const TableRow* mapped =
      Find(connections, Join({Inet("::ffff:127.0.0.1"), {22}, Inet("::ffff:127.0.0.1"), {50000}}));
  ASSERT_NE(mapped, nullptr);
  EXPECT_EQ(Int(mapped->columns[0]), 5);  // established
  EXPECT_EQ(mapped->columns[1].type, ASN_GAUGE32);
  EXPECT_EQ(mapped->columns[1].number, 0u);
  const TableRow* waiting = Find(connections, Join({Inet("::1"), {443}, Inet("::1"), {40000}}));
  ASSERT_NE(waiting, nullptr);
  EXPECT_EQ(Int(waiting->columns[0]), 11);  // timeWait
  const auto listeners = TcpListenerRows(sockets);
  ASSERT_EQ(listeners.size(), 1u);
  EXPECT_EQ(listeners[0].index, (Oid{2, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 22}));
  EXPECT_EQ(listeners[0].columns[0].number, 200u);
  const auto endpoints = UdpEndpointRows(sockets);
  ASSERT_EQ(endpoints.size(), 1u);
  EXPECT_EQ(endpoints[0].index, Join({Inet("127.0.0.53"), {53}, Inet("0.0.0.0"), {0}, {6001}}));
  EXPECT_EQ(endpoints[0].columns[0].number, 300u);
  const auto processes = ProcessRows(sockets);
  ASSERT_EQ(processes.size(), 2u);
  EXPECT_EQ(processes[0].index, Oid{200});
  EXPECT_EQ(processes[0].columns[0].bytes, "sshd: child");

  // The look through the processes is made again only for a socket it did
  // not look for, or once it is old.
  SocketOwnerCache cache(proc.Root());
  EXPECT_EQ(cache.Find({5001}).PidOf(5001), 200u);
  EXPECT_EQ(cache.Find({5001}).PidOf(5001), 200u);
  EXPECT_EQ(cache.Scans(), 1u);
  EXPECT_EQ(cache.Find({5001, 6001}).PidOf(6001), 300u);
  EXPECT_EQ(cache.Scans(), 2u);
  SocketOwnerCache brief(proc.Root(), std::chrono::milliseconds(0));
  brief.Find({5001});
  brief.Find({5001});
  EXPECT_EQ(brief.Scans(), 2u);
}

TEST(InetTablesTest, RoutesOfBothFamiliesKeepTheirKindsAndAStableIndex) {
  const std::string ipv4 =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
      "eth0\t00000000\t0100A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
      "eth0\t0000A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
      "*\t0000630A\t00000000\t0001\t0\t0\t0\t0000FFFF\t0\t0\t0\n"
      "*\t0000620A\t00000000\t0201\t0\t0\t0\t0000FFFF\t0\t0\t0\n"
      "eth0\t0000610A\t00000000\t0000\t0\t0\t0\t0000FFFF\t0\t0\t0\n";
  const std::string ipv6 =
      "20010db8000900000000000000000000 40 00000000000000000000000000000000 00 "
      "00000000000000000000000000000000 00000100 00000002 00000000 00000001     eth0\n"
      "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
      "fe800000000000000000000000000001 00000400 00000001 00000000 00000003     eth0\n"
      "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
      "fe800000000000000000000000000001 00000400 00000001 00000000 00000003     wlan0\n"
      "20010db8dead00000000000000000000 30 00000000000000000000000000000000 00 "
      "00000000000000000000000000000000 00000400 00000001 00000000 00200200       lo\n"
      "20010db8000900000000000000000077 80 00000000000000000000000000000000 00 "
      "fe800000000000000000000000000001 00000000 00000001 00000000 01000003     eth0\n"
      "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
      "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n"
      "00000000000000000000000000000001 80 00000000000000000000000000000000 00 "
      "00000000000000000000000000000000 00000000 00000003 00000000 80200001       lo\n"
      "garbage line\n";
  const auto ifIndexOf = [](const std::string& name) {
    return name == "lo" ? 1 : name == "eth0" ? 2 : name == "wlan0" ? 3 : 0;
  };
  auto rows = InetCidrRouteRows(ParseProcNetRoute(ipv4), ParseProcNetIpv6Route(ipv6), ifIndexOf);
  SortAndDeduplicate(rows);
  // The four IPv4 routes that are up, and five IPv6 routes: the kernel's
  // own unreachable ::/0 and a cached exception left out.
  ASSERT_EQ(rows.size(), 4u + 5u);
  const auto route = [&](const Oid& index) {
    const TableRow* row = Find(rows, index);
    EXPECT_NE(row, nullptr) << ::testing::PrintToString(index);
    return row != nullptr ? std::vector<int32_t>{Int(row->columns[0]), Int(row->columns[1]),
                                                 Int(row->columns[5])}
                          : std::vector<int32_t>{};
  };
  // Index: destination, prefix length, policy, next hop; columns: ifIndex,
  // type (reject 2, local 3, remote 4, blackhole 5), metric.
  EXPECT_EQ(route(Join({Inet("0.0.0.0"), {0, 2, 0, 0}, Inet("192.168.0.1")})),
            (std::vector<int32_t>{2, 4, 100}));
  EXPECT_EQ(route(Join({Inet("192.168.0.0"), {24, 3, 0, 0, 2}, Inet("0.0.0.0")})),
            (std::vector<int32_t>{2, 3, 0}));
  EXPECT_EQ(route(Join({Inet("10.99.0.0"), {16, 3, 0, 0, 0}, Inet("0.0.0.0")})),
            (std::vector<int32_t>{0, 5, 0}));
  EXPECT_EQ(route(Join({Inet("10.98.0.0"), {16, 3, 0, 0, 0}, Inet("0.0.0.0")})),
            (std::vector<int32_t>{0, 2, 0}));
  // IPv6 routes name their interface in the policy: the default routes of
  // two links through the same link-local router are two rows.
  EXPECT_EQ(route(Join({Inet("2001:db8:9::"), {64, 3, 0, 0, 2}, Inet("::")})),
            (std::vector<int32_t>{2, 3, 256}));
  EXPECT_EQ(route(Join({Inet("::"), {0, 3, 0, 0, 2}, Inet("fe80::1")})),
            (std::vector<int32_t>{2, 4, 1024}));
  EXPECT_EQ(route(Join({Inet("::"), {0, 3, 0, 0, 3}, Inet("fe80::1")})),
            (std::vector<int32_t>{3, 4, 1024}));
  EXPECT_EQ(route(Join({Inet("2001:db8:dead::"), {48, 3, 0, 0, 0}, Inet("::")})),
            (std::vector<int32_t>{0, 2, 1024}));
  EXPECT_EQ(route(Join({Inet("::1"), {128, 3, 0, 0, 1}, Inet("::")})),
            (std::vector<int32_t>{1, 3, 0}));
}

TEST(InetTablesTest, AddressesAndNeighboursTakeTheValuesOfTheirConventions) {
  const std::vector<AddressEntry> addresses = {
      {Ip("192.168.1.20"), 24, 2, IFA_F_PERMANENT},
      {Ip("fe80::1"), 64, 2, IFA_F_PERMANENT},
      {Ip("2001:db8::aaaa"), 64, 2, IFA_F_TEMPORARY},
      {Ip("2001:db8::1"), 64, 2, 0},   // from a router's prefix
      {Ip("2001:db8::2"), 128, 2, 0},  // from a DHCPv6 server
      {Ip("2001:db8::3"), 64, 2, IFA_F_PERMANENT | IFA_F_DEPRECATED},
      {Ip("2001:db8::4"), 64, 2, IFA_F_PERMANENT | IFA_F_TENTATIVE},
      {Ip("2001:db8::5"), 64, 2, IFA_F_PERMANENT | IFA_F_TENTATIVE | IFA_F_DADFAILED},
      {Ip("2001:db8::6"), 64, 2, IFA_F_PERMANENT | IFA_F_OPTIMISTIC},
  };
  const auto rows = IpAddressRows(addresses);
  ASSERT_EQ(rows.size(), addresses.size());
  // origin, status, storage type
  const std::vector<std::vector<int32_t>> expected = {{2, 1, 2}, {5, 1, 4}, {6, 1, 2},
                                                      {5, 1, 2}, {4, 1, 2}, {2, 2, 2},
                                                      {2, 6, 2}, {2, 7, 2}, {2, 8, 2}};
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& c = rows[i].columns;
    EXPECT_EQ((std::vector<int32_t>{Int(c[3]), Int(c[4]), Int(c[8])}), expected[i]) << i;
  }
  EXPECT_EQ(rows[0].index, Inet("192.168.1.20"));
  EXPECT_EQ(rows[0].columns[2].object,
            Join({{1, 3, 6, 1, 2, 1, 4, 32, 1, 5, 2}, Inet("192.168.1.0"), {24}}));
  EXPECT_EQ(rows[3].columns[2].object,
            Join({{1, 3, 6, 1, 2, 1, 4, 32, 1, 5, 2}, Inet("2001:db8::"), {64}}));

  const std::string mac("\x02\x00\x5e\x10\x00\x01", 6);
  const std::vector<NeighbourEntry> neighbours = {
      {Ip("192.168.1.1"), 2, mac, NUD_REACHABLE, 300},
      {Ip("192.168.1.2"), 2, mac, NUD_PERMANENT, 0},
      {Ip("192.168.1.3"), 2, "", NUD_INCOMPLETE, 50},
      {Ip("fe80::1"), 2, mac, NUD_STALE, 9000},  // older than the agent
      {Ip("fe80::2"), 2, mac, NUD_DELAY, 1},
      {Ip("fe80::3"), 2, mac, NUD_PROBE, 1},
      {Ip("ff02::1"), 2, mac, NUD_NOARP, 0},  // computed, not learnt
      {Ip("192.168.1.4"), 2, "", NUD_FAILED, 0},
  };
  const auto learnt = IpNetToPhysicalRows(neighbours, 1000);
  ASSERT_EQ(learnt.size(), 6u);
  // type (invalid 2, dynamic 3, static 4), state, last updated
  const std::vector<std::vector<int64_t>> values = {{3, 1, 700}, {4, 1, 1000}, {2, 7, 950},
                                                    {3, 2, 0},   {3, 3, 999},  {3, 4, 999}};
  for (size_t i = 0; i < learnt.size(); ++i) {
    const auto& c = learnt[i].columns;
    EXPECT_EQ((std::vector<int64_t>{Int(c[2]), Int(c[3]), static_cast<int64_t>(c[1].number)}),
              values[i])
        << i;
  }
  EXPECT_EQ(learnt[0].index, Join({{2}, Inet("192.168.1.1")}));
  EXPECT_EQ(learnt[0].columns[0].bytes, mac);
  EXPECT_EQ(learnt[2].columns[0].bytes, "");
}

// Every object of the view under `root`, walked as a manager does.
std::vector<std::pair<Oid, MibValue>> Walk(MibView& view, const Oid& root) {
  std::vector<std::pair<Oid, MibValue>> objects;
  Oid name = root;
  Oid next;
  const MibValue* value = nullptr;
  while (view.GetNext(name.data(), name.size(), next, value) &&
         std::equal(root.begin(), root.end(), next.begin()) && next.size() > root.size()) {
    objects.emplace_back(next, *value);
    name = next;
  }
  return objects;
}

// The meter walks ifTable, ifXTable and ifStackTable; the walk's last
// GETNEXT, past ifStackTable, must not find the agent's process table, whose
// rows cost a look through every process's descriptors.
TEST(InetTablesTest, OnlyAWalkThatAsksForTheProcessTableLooksForSocketOwners) {
  LinkReader reader;
  KernelSources sources;
  sources.links = [&reader](std::vector<LinkInfo>& links) { return reader.Update(links); };
  const auto owners = std::make_shared<SocketOwnerCache>("/proc");
  sources.inet.owners = owners;
  const auto view = BuildMib2View(sources);
  const int held = socket(AF_INET, SOCK_DGRAM, 0);  // a socket this process owns
  sockaddr_in any{};
  any.sin_family = AF_INET;
  ASSERT_EQ(bind(held, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);

  const Oid ifStack = {1, 3, 6, 1, 2, 1, 31, 1, 2};
  ASSERT_FALSE(Walk(*view, ifStack).empty());
  Oid next;
  const MibValue* value = nullptr;
  const Oid last = {1, 3, 6, 1, 2, 1, 31, 1, 2, 1, 3, 0xffffffff, 0xffffffff};
  EXPECT_FALSE(view->GetNext(last.data(), last.size(), next, value))
      << "the end of ifStackTable is the end of what an unasked walk sees";
  for (const Oid& root : {Oid{1, 3, 6, 1, 2, 1, 2}, Oid{1, 3, 6, 1, 2, 1, 31}}) {
    Walk(*view, root);
  }
  EXPECT_EQ(owners->Scans(), 0u);

  // Asked for, by its own name or by an ancestor's, it is there.
  const auto processes = Walk(*view, kVelmarSubtree);
  EXPECT_EQ(owners->Scans(), 1u);
  const Oid mine = Join({kVelmarProcessEntry, {2, static_cast<uint32_t>(getpid())}});
  EXPECT_TRUE(std::any_of(processes.begin(), processes.end(),
                          [&](const auto& object) { return object.first == mine; }));
  const Oid enterprises = {1, 3, 6, 1, 4, 1};
  ASSERT_TRUE(view->GetNext(enterprises.data(), enterprises.size(), next, value));
  EXPECT_EQ(Oid(next.begin(), next.begin() + 10), kVelmarProcessEntry);
  close(held);
}

// In a network namespace of the test's own: the rows that snmpd's indexes
// let collide are rows of their own.
TEST(InetTablesTest, ZonesAndRoutingTablesKeepRowsApartThatShareAnAddress) {
  VELMAR_IN_OWN_NETWORK();
  ASSERT_EQ(std::system("ip link add name velmar-a type veth peer name velmar-b && "
                        "ip link set velmar-a up && ip link set velmar-b up && "
                        "ip addr add fe80::1/64 dev velmar-a nodad && "
                        "ip addr add fe80::1/64 dev velmar-b nodad && "
                        "ip addr add 2001:db8::5/128 dev velmar-a nodad "
                        "valid_lft 3000 preferred_lft 3000 && "
                        "ip route add blackhole 2001:db8:1::/48 && "
                        "ip route add prohibit 2001:db8:2::/48"),
            0);
  const uint32_t a = if_nametoindex("velmar-a");
  const uint32_t b = if_nametoindex("velmar-b");
  // Listeners on fe80::1%velmar-a and fe80::1%velmar-b at one port, as
  // ss -ltn shows them: two sockets.
  std::vector<int> sockets;
  for (const uint32_t zone : {a, b}) {
    for (const int type : {SOCK_STREAM, SOCK_DGRAM}) {
      const int fd = socket(AF_INET6, type, 0);
      sockaddr_in6 at{};
      at.sin6_family = AF_INET6;
      at.sin6_port = htons(2222);
      at.sin6_scope_id = zone;
      inet_pton(AF_INET6, "fe80::1", &at.sin6_addr);
      ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at), 0) << zone;
      if (type == SOCK_STREAM) {
        ASSERT_EQ(listen(fd, 1), 0);
      }
      sockets.push_back(fd);
    }
  }
  MibView view;
  AddInetTables(view, InetSources{});
  const auto zoned = [&](uint32_t zone) {
    Oid index = Inet("fe80::1");
    index[0] = 4;  // ipv6z: the octets, then the zone
    index[1] = 20;
    index.insert(index.end(), {zone >> 24, (zone >> 16) & 0xff, (zone >> 8) & 0xff, zone & 0xff});
    return index;
  };
  std::vector<Oid> listeners;
  for (const auto& [name, value] : Walk(view, kTcpListenerEntry)) {
    listeners.emplace_back(name.begin() + 10, name.end());
  }
  std::vector<Oid> expected = {Join({zoned(a), {2222}}), Join({zoned(b), {2222}})};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listeners, expected);
  size_t udp = 0;
  for (const auto& [name, value] : Walk(view, kUdpEndpointEntry)) {
    const Oid index(name.begin() + 10, name.end());
    udp += index.size() > 23 && (Oid(index.begin(), index.begin() + 22) == zoned(a) ||
                                 Oid(index.begin(), index.begin() + 22) == zoned(b));
  }
  EXPECT_EQ(udp, 2u);

  // 2001:db8::5/128 with a lifetime: the main table's route (metric 256)
  // and the local table's (metric 0); column 12 is the metric, 8 the type.
  std::vector<int32_t> metrics;
  std::map<std::string, int32_t> types;
  const Oid host = Join({Inet("2001:db8::5"), {128}});
  for (const auto& [name, value] : Walk(view, Join({kInetCidrRouteEntry, {12}, host}))) {
    metrics.push_back(Int(value));
  }
  std::sort(metrics.begin(), metrics.end());
  EXPECT_EQ(metrics, (std::vector<int32_t>{0, 256}));
  for (const auto& [prefix, label] :
       {std::pair{"2001:db8:1::", "blackhole"}, std::pair{"2001:db8:2::", "prohibit"}}) {
    const auto objects = Walk(view, Join({kInetCidrRouteEntry, {8}, Inet(prefix), {48}}));
    ASSERT_EQ(objects.size(), 1u) << label;
    types[label] = Int(objects[0].second);
  }
  EXPECT_EQ(types, (std::map<std::string, int32_t>{{"blackhole", 5}, {"prohibit", 2}}));
  for (const int fd : sockets) {
    close(fd);
  }
}

// RFC 4293's IPv6 counters and prefixes from the kernel of a namespace the
// test alone sends in: every address names a prefix row that exists.
TEST(InetTablesTest, Ipv6CountersAndThePrefixesAddressesNameComeFromTheKernel) {
  VELMAR_IN_OWN_NETWORK();
  ASSERT_EQ(std::system("ip link add name velmar-a type veth peer name velmar-b && "
                        "ip link set velmar-a up && "
                        "ip addr add 2001:db8:9::1/64 dev velmar-a nodad && "
                        "ip addr add 10.1.0.1/24 dev velmar-a"),
            0);
  const int fd = socket(AF_INET6, SOCK_DGRAM, 0);
  sockaddr_in6 to{};
  to.sin6_family = AF_INET6;
  to.sin6_port = htons(9);
  to.sin6_addr = in6addr_loopback;
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(sendto(fd, "12345678", 8, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 8);
  }
  close(fd);
  MibView view;
  AddInetTables(view, InetSources{});
  const auto system = Walk(view, Join({kIpSystemStatsEntry, {4}}));  // HCInReceives
  ASSERT_EQ(system.size(), 1u);
  EXPECT_EQ(system[0].first.back(), 2u) << "the IPv6 row";
  EXPECT_EQ(system[0].second.number,
            ParseSnmp6(ReadWholeFile("/proc/net/snmp6")).at("Ip6InReceives"));
  EXPECT_GE(system[0].second.number, 5u);
  // lo's HCInOctets in ipIfStatsTable, among the interfaces' rows.
  const auto interfaces = Walk(view, Join({kIpIfStatsEntry, {6, 2}}));
  ASSERT_EQ(interfaces.size(), 3u);
  EXPECT_EQ(interfaces[0].first.back(), 1u);
  EXPECT_GE(interfaces[0].second.number, 5u * (40 + 8 + 8));

  const auto prefixes = Walk(view, Join({kIpAddressEntry, {5}}));
  EXPECT_GE(prefixes.size(), 4u) << "::1, 127.0.0.1, 10.1.0.1 and 2001:db8:9::1 at least";
  for (const auto& [address, prefix] : prefixes) {
    const MibValue* origin = nullptr;
    view.BeginGet();
    EXPECT_TRUE(view.Get(prefix.object.data(), prefix.object.size(), origin))
        << ::testing::PrintToString(prefix.object);
  }
}

}  // namespace
}  // namespace velmar::agent
