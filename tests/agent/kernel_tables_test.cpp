#include "kernel_tables.h"

#include <gtest/gtest.h>
#include <linux/if.h>
#include <linux/if_arp.h>

#include "mib2_tables.h"

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

}  // namespace
}  // namespace velmar::agent
