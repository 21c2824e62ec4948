#include "agent/kernel_tables.h"

#include <gtest/gtest.h>
#include <linux/if.h>
#include <linux/if_arp.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "agent/mib2_tables.h"

namespace velmar::agent {
namespace {

std::string Data(const char* name) {
  return ReadWholeFile(std::string(VELMAR_TEST_DATA) + "/" + name);
}

TEST(KernelTablesTest, ProcNetTcpRowsParseAndBadLinesAreSkipped) {
  const auto rows = ParseProcNetTcp(Data("proc_net_tcp.txt"));
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].localAddress, (Ip4{127, 0, 0, 1}));
  EXPECT_EQ(rows[0].localPort, 8080);
  EXPECT_EQ(rows[0].state, 0x0A);
  EXPECT_EQ(rows[1].localAddress, (Ip4{192, 168, 0, 1}));
  EXPECT_EQ(rows[1].localPort, 50000);
  EXPECT_EQ(rows[1].remoteAddress, (Ip4{10, 0, 2, 2}));
  EXPECT_EQ(rows[1].remotePort, 443);
  EXPECT_EQ(rows[4].state, 6);

  // Truncated and empty input.
  EXPECT_TRUE(ParseProcNetTcp("").empty());
  EXPECT_TRUE(ParseProcNetTcp("   0: 0100007F:1F90").empty());
  EXPECT_EQ(ParseProcNetTcp("   0: 0100007F:1F90 00000000:0000 0A").size(), 1u);

  // In the table: states mapped, rows in index order, the SO_REUSEPORT
  // twins of 0.0.0.0:22 shown once.
  auto table = TcpConnTableRows(rows);
  SortAndDeduplicate(table);
  ASSERT_EQ(table.size(), 4u);
  EXPECT_EQ(table[0].index, (Oid{0, 0, 0, 0, 22, 0, 0, 0, 0, 0}));
  EXPECT_EQ(table[1].index, (Oid{127, 0, 0, 1, 8080, 0, 0, 0, 0, 0}));
  EXPECT_EQ(table[2].index, (Oid{127, 0, 0, 1, 35554, 127, 0, 0, 1, 8080}));
  EXPECT_EQ(table[3].index, (Oid{192, 168, 0, 1, 50000, 10, 0, 2, 2, 443}));
  EXPECT_EQ(static_cast<int32_t>(table[0].columns[0].number), 2);   // LISTEN
  EXPECT_EQ(static_cast<int32_t>(table[2].columns[0].number), 11);  // TIME_WAIT
  EXPECT_EQ(static_cast<int32_t>(table[3].columns[0].number), 5);   // ESTABLISHED
  EXPECT_EQ(table[3].columns[1].bytes, std::string("\xc0\xa8\x00\x01", 4));
}

TEST(KernelTablesTest, TcpStatesMapOntoTheMibValues) {
  const int32_t expected[] = {1, 5, 3, 4, 6, 7, 11, 1, 8, 9, 2, 10, 4};
  for (uint8_t s = 0; s <= 12; ++s) {
    EXPECT_EQ(TcpConnStateOf(s), expected[s]) << int(s);
  }
  EXPECT_EQ(TcpConnStateOf(13), 1);
  EXPECT_EQ(TcpConnStateOf(255), 1);
}

TEST(KernelTablesTest, RoutesKeepUpRoutesAndTheLowestMetricPerDestination) {
  const auto routes = ParseProcNetRoute(Data("proc_net_route.txt"));
  ASSERT_EQ(routes.size(), 5u);
  EXPECT_EQ(routes[0].gateway, (Ip4{192, 0, 2, 1}));
  EXPECT_EQ(routes[2].mask, (Ip4{255, 255, 255, 0}));

  auto rows = IpRouteTableRows(routes, [](const std::string& name) {
    return name == "eth0" ? 2 : name == "wlan0" ? 3 : 0;
  });
  SortAndDeduplicate(rows);
  ASSERT_EQ(rows.size(), 3u);  // 10.0.0.0 is not up; 0.0.0.0 once
  EXPECT_EQ(rows[0].index, (Oid{0, 0, 0, 0}));
  EXPECT_EQ(static_cast<int32_t>(rows[0].columns[1].number), 2) << "eth0, metric 100, wins";
  EXPECT_EQ(static_cast<int32_t>(rows[0].columns[2].number), 100);
  EXPECT_EQ(static_cast<int32_t>(rows[0].columns[7].number), 4);  // indirect
  EXPECT_EQ(rows[1].index, (Oid{192, 0, 2, 0}));
  EXPECT_EQ(static_cast<int32_t>(rows[1].columns[7].number), 3);  // direct
  EXPECT_EQ(rows[2].index, (Oid{192, 168, 1, 0}));
  EXPECT_EQ(static_cast<int32_t>(rows[2].columns[1].number), 3);
  for (const auto& row : rows) {
    ASSERT_EQ(row.columns.size(), kIpRouteColumns);
  }
}

TEST(KernelTablesTest, ProcNetDevAndSnmpFallbacks) {
  const auto links = ParseProcNetDev(Data("proc_net_dev.txt"));
  ASSERT_EQ(links.size(), 2u) << "the short wlan0 line is skipped";
  EXPECT_EQ(links[0].name, "lo");
  EXPECT_EQ(links[0].rxBytes, 8589934692ull);
  EXPECT_EQ(links[1].name, "eth0");
  EXPECT_EQ(links[1].rxBytes, 1234567u);
  EXPECT_EQ(links[1].rxMulticast, 7u);
  EXPECT_EQ(links[1].txBytes, 7654321u);
  EXPECT_EQ(links[1].txDropped, 4u);

  // 64-bit kernel counters become Counter32 by their low 32 bits.
  auto rows = IfTableRows(links);
  ASSERT_EQ(rows[0].columns.size(), kIfColumns);
  EXPECT_EQ(rows[0].columns[9].type, ASN_COUNTER32);
  EXPECT_EQ(rows[0].columns[9].number, 100u);  // 2^33 + 100
  EXPECT_EQ(rows[1].columns[10].number, 890u - 7u) << "unicast = packets - multicast";

  const auto tcp = ParseProcNetSnmpTcp(Data("proc_net_snmp.txt"));
  EXPECT_EQ(tcp.at("InErrs"), 77u);
  EXPECT_EQ(tcp.at("OutRsts"), 88u);
  EXPECT_TRUE(ParseProcNetSnmpTcp("Tcp: A B\n").empty());
}

TEST(KernelTablesTest, InterfaceTypesAndStatuses) {
  EXPECT_EQ(IanaIfType(ARPHRD_ETHER), 6);
  EXPECT_EQ(IanaIfType(ARPHRD_LOOPBACK), 24);
  EXPECT_EQ(IanaIfType(ARPHRD_PPP), 23);
  EXPECT_EQ(IanaIfType(ARPHRD_IEEE80211_RADIOTAP), 71);
  EXPECT_EQ(IanaIfType(ARPHRD_SIT), 131);
  EXPECT_EQ(IanaIfType(ARPHRD_NONE), 1);
  EXPECT_EQ(IfOperStatus(IF_OPER_UP, 0), 1);
  EXPECT_EQ(IfOperStatus(IF_OPER_DOWN, IFF_UP), 2);
  EXPECT_EQ(IfOperStatus(IF_OPER_LOWERLAYERDOWN, IFF_UP), 7);
  EXPECT_EQ(IfOperStatus(IF_OPER_UNKNOWN, IFF_UP | IFF_RUNNING), 1);
  EXPECT_EQ(IfOperStatus(IF_OPER_UNKNOWN, IFF_UP), 4);

  LinkInfo fast;
  fast.speedBitsPerSecond = 100000000000ull;  // 100 Gbit/s does not fit a Gauge32
  fast.flags = IFF_UP;
  const auto rows = IfTableRows({fast});
  EXPECT_EQ(rows[0].columns[4].number, 4294967295u);
  EXPECT_EQ(rows[0].columns[6].number, 1u);  // admin up
}

TEST(KernelTablesTest, LayersAndTheExtendedTableFromTheKernelsRelations) {
  // A bridge over a card and a veth, the veth's peer beside it, a VLAN
  // over the card, a macvlan over an interface of another namespace and a
  // tun: as a netlink dump reports them.
  std::vector<LinkInfo> links(7);
  const char* names[] = {"lo", "eth0", "br0", "veth0", "veth1", "eth0.5", "mv0"};
  const char* kinds[] = {"", "", "bridge", "veth", "veth", "vlan", "macvlan"};
  for (int i = 0; i < 7; ++i) {
    links[i].index = i + 1;
    links[i].name = names[i];
    links[i].kind = kinds[i];
  }
  links[1].hasDevice = true;
  links[1].rxBytes = 0x1234567890ull;
  links[1].speedBitsPerSecond = 25000000000ull;
  links[1].alias = "uplink";
  std::vector<LinkRelations> relations(7);
  relations[1].master = 3;
  relations[3].master = 3;
  relations[3].link = 5;  // its peer
  relations[4].link = 4;
  relations[5].link = 2;
  relations[6].link = 2;
  relations[6].linkInOtherNamespace = true;
  relations[0].master = 99;  // not in this list
  ResolveLowerLayers(links, relations);
  EXPECT_EQ(links[2].lowerLayers, (std::vector<int>{2, 4}));
  EXPECT_EQ(links[5].lowerLayers, (std::vector<int>{2}));
  for (int i : {0, 1, 3, 4, 6}) {
    EXPECT_TRUE(links[i].lowerLayers.empty()) << names[i];
  }

  // ifStackTable: the relations, and the 0 rows of RFC 2863.
  auto stack = IfStackTableRows(links);
  SortAndDeduplicate(stack);
  std::vector<Oid> indexes;
  for (const TableRow& row : stack) {
    indexes.push_back(row.index);
    EXPECT_EQ(row.columns.at(0).type, ASN_INTEGER);
    EXPECT_EQ(row.columns.at(0).number, 1u);
  }
  EXPECT_EQ(indexes, (std::vector<Oid>{{0, 1},
                                       {0, 3},
                                       {0, 5},
                                       {0, 6},
                                       {0, 7},
                                       {1, 0},
                                       {2, 0},
                                       {3, 2},
                                       {3, 4},
                                       {4, 0},
                                       {5, 0},
                                       {6, 2},
                                       {7, 0}}));

  // ifXTable: name, 64-bit counters, speed in Mbit/s, connector, alias.
  const auto ifx = IfXTableRows(links);
  ASSERT_EQ(ifx[1].columns.size(), kIfXColumns.size());
  EXPECT_EQ(ifx[1].columns[0].bytes, "eth0");
  EXPECT_EQ(ifx[1].columns[1].type, ASN_COUNTER64);
  EXPECT_EQ(ifx[1].columns[1].number, 0x1234567890ull);
  EXPECT_EQ(ifx[1].columns[3].number, 25000u);
  EXPECT_EQ(ifx[1].columns[4].number, 1u);
  EXPECT_EQ(ifx[2].columns[4].number, 2u);
  EXPECT_EQ(ifx[1].columns[5].bytes, "uplink");
}

TEST(KernelTablesTest, SysfsGivesDevicesAndLowerLayersWhenNetlinkCannot) {
  QTemporaryDir root;
  const QString sys = root.path();
  const auto make = [&](const QString& name, int index) {
    ASSERT_TRUE(QDir(sys).mkpath(name));
    QFile f(sys + "/" + name + "/ifindex");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray::number(index) + "\n");
  };
  make("eth0", 2);
  make("br0", 3);
  make("tap0", 4);
  ASSERT_TRUE(QDir(sys).mkpath("eth0/device"));
  ASSERT_TRUE(QFile::link(sys + "/eth0", sys + "/br0/lower_eth0"));
  ASSERT_TRUE(QFile::link(sys + "/tap0", sys + "/br0/lower_tap0"));
  ASSERT_TRUE(QFile::link(sys + "/gone", sys + "/br0/lower_gone"));
  std::vector<LinkInfo> links(3);
  links[0].name = "eth0";
  links[1].name = "br0";
  links[2].name = "tap0";
  for (LinkInfo& link : links) {
    FillFromSysfs(link, sys.toStdString());
  }
  FillLowerLayersFromSysfs(links, sys.toStdString());
  EXPECT_EQ(links[1].index, 3);
  EXPECT_TRUE(links[0].hasDevice);
  EXPECT_FALSE(links[1].hasDevice);
  EXPECT_EQ(links[1].lowerLayers, (std::vector<int>{2, 4}));
  EXPECT_TRUE(links[0].lowerLayers.empty());
}

}  // namespace
}  // namespace velmar::agent
