#include "netstat/net_stat_text.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "interfaces/interface_table.h"
#include "interfaces/table_errors.h"
#include "support/fake_agent_control.h"
#include "support/own_network.h"
#include "support/raised.h"

namespace velmar {
namespace {

using test::FakeAgent;
using test::FakeCell;
using test::FakeInterface;
using test::FakeObject;
using Page = NetStatText::Page;
using Index = std::vector<uint32_t>;

const Index kTcpConnection = {1, 3, 6, 1, 2, 1, 6, 19, 1};
const Index kTcpListener = {1, 3, 6, 1, 2, 1, 6, 20, 1};
const Index kTcpConn = {1, 3, 6, 1, 2, 1, 6, 13, 1};
const Index kUdpEndpoint = {1, 3, 6, 1, 2, 1, 7, 7, 1};
const Index kUdp = {1, 3, 6, 1, 2, 1, 7, 5, 1};
const Index kInetCidrRoute = {1, 3, 6, 1, 2, 1, 4, 24, 7, 1};
const Index kIpRoute = {1, 3, 6, 1, 2, 1, 4, 21, 1};
const Index kIpNetToPhysical = {1, 3, 6, 1, 2, 1, 4, 35, 1};
const Index kIpNetToMedia = {1, 3, 6, 1, 2, 1, 4, 22, 1};
const Index kIpAddress = {1, 3, 6, 1, 2, 1, 4, 34, 1};
const Index kIpAddr = {1, 3, 6, 1, 2, 1, 4, 20, 1};
const Index kProcess = {1, 3, 6, 1, 4, 1, 32473, 1, 1, 1};
const Index kIfX = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1};

// An InetAddressType and InetAddress as an index writes them.
Index Inet(const char* text) {
  uint8_t octets[16];
  const bool v6 = inet_pton(AF_INET6, text, octets) == 1;
  EXPECT_TRUE(v6 || inet_pton(AF_INET, text, octets) == 1) << text;
  Index index{v6 ? 2u : 1u, v6 ? 16u : 4u};
  index.insert(index.end(), octets, octets + (v6 ? 16 : 4));
  return index;
}

InetAddress Address(const char* text) {
  const Index index = Inet(text);
  uint32_t at = 0;
  InetAddress a;
  EXPECT_TRUE(InetAddress::FromIndex(index.data(), static_cast<uint32_t>(index.size()), at, a));
  return a;
}

Index Join(std::initializer_list<Index> parts) {
  Index all;
  for (const Index& p : parts) {
    all.insert(all.end(), p.begin(), p.end());
  }
  return all;
}

FakeObject Int(const Index& entry, uint32_t column, const Index& index, int32_t v) {
  return FakeCell(entry, column, index, ASN_INTEGER, static_cast<uint32_t>(v));
}
FakeObject Gauge(const Index& entry, uint32_t column, const Index& index, uint32_t v) {
  return FakeCell(entry, column, index, ASN_GAUGE32, v);
}
FakeObject Text(const Index& entry, uint32_t column, const Index& index, std::string v) {
  return FakeCell(entry, column, index, ASN_OCTETSTRING, 0, std::move(v));
}

// Records what a refresh hands over, in order.
struct Sink {
  std::vector<std::pair<Page, QString>> pages;
  NetStatText::PageSink Function() {
    return [this](Page page, const QString& text) { pages.emplace_back(page, text); };
  }
};

using test::MessageOf;

// Texts compared as text, so a failure shows them.
#define EXPECT_TEXT(actual, expected) \
  EXPECT_EQ(QString(actual).toStdString(), QString(expected).toStdString())

QString Lines(std::initializer_list<QString> lines) {
  return QStringList(lines).join(u'\n');
}

// The widths below are counted by hand, so a change of any width, of the
// separating blank or of a heading text shows here.
TEST(NetStatTextTest, HeadingLinesAreExactAndTheWidestFixesTheWindow) {
  EXPECT_TEXT(NetStatText::InterfaceHeading(),
              "Index Name                 Alias      MTU   InBytes      InErr OutBytes     OutErr "
              "OutQLen All");
  EXPECT_TEXT(
      NetStatText::TcpHeading(),
      "Local address            Remote address           State       PID     Program        ");
  EXPECT_TEXT(NetStatText::UdpHeading(),
              "Local address            Remote address           PID     Program        ");
  EXPECT_TEXT(
      NetStatText::RouteHeading(),
      "Destination/Prefix             Next hop                   Interface        Protocol Metric");
  EXPECT_TEXT(
      NetStatText::NeighbourHeading(),
      "Interface        Net2MediaPhysAddr Net2MediaNetAddr          Net2MediaType State     ");
  EXPECT_TEXT(NetStatText::AddressHeading(),
              "Address/Prefix                 Interface        Origin    Status    ");
  EXPECT_EQ(NetStatText::WidestHeading(), NetStatText::InterfaceHeading().size());
}

TEST(NetStatTextTest, SocketRowsWriteAddressesAsPeopleDoWithTheirOwners) {
  NetStatText text;
  const std::vector<SocketRow> rows = {
      {Address("0.0.0.0"), 22, Address("0.0.0.0"), 0, 2, 0},
      {Address("127.0.0.1"), 45678, Address("127.0.0.1"), 8080, 5, 4242},
      {Address("::"), 443, Address("::"), 0, 2, 77},
      {Address("2001:db8::1"), 50000, Address("2001:db8:0:1::ff"), 443, 5, 9},
      // A dual-stack socket's IPv4 peer, and an endpoint longer than its column.
      {Address("::ffff:192.168.100.200"), 65535, Address("fe80::1"), 1, 13, 77},
  };
  const QString page = text.TcpPage(rows, {{77, QStringLiteral("nginx")}, {4242, "a\tb"}});
  EXPECT_TEXT(
      page, Lines({NetStatText::TcpHeading(), "",
                   "0.0.0.0:22               0.0.0.0:0                LISTEN      \u2013       "
                   "\u2013              ",
                   "127.0.0.1:45678          127.0.0.1:8080           ESTABLISHED 4242    a?b  "
                   "          ",
                   "[::]:443                 [::]:0                   LISTEN      77      nginx "
                   "         ",
                   "[2001:db8::1]:50000      [2001:db8:0:1::ff]:443   ESTABLISHED 9       \u2013  "
                   "            ",
                   "[::ffff:192.168.100.200]:65535 [fe80::1]:1              UNKNOWN     77      "
                   "nginx          "}));
  // An owner the agent names no process of shows its id; one it does not
  // know at all shows nothing.
  EXPECT_TEXT(text.ProcessName(9), "\u2013");
  EXPECT_TEXT(text.ProcessName(0), "\u2013");

  const std::vector<SocketRow> udp = {{Address("::1"), 53, Address("::"), 0, 0, 77},
                                      {Address("10.0.0.1"), 5353, Address("10.0.0.2"), 9, 0, 0}};
  EXPECT_TEXT(text.UdpPage(udp, {{77, QStringLiteral("resolved")}}),
              Lines({NetStatText::UdpHeading(), "",
                     "[::1]:53                 [::]:0                   77      resolved       ",
                     "10.0.0.1:5353            10.0.0.2:9               \u2013       \u2013        "
                     "      "}));
}

TEST(NetStatTextTest, InterfaceRowsNameAliasAndTheWidestCountersTheAgentOffers) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  FakeInterface lo{1, "lo", 111, 222, 24, 65536};
  lo.hc = true;
  lo.hcIn = 70166049924ull;  // past 4 GiB: the 64-bit counters
  lo.hcOut = 70166049925ull;
  FakeInterface eth{2, "Intel(R) Ethernet Connection I219-V", 3000000000u, 4294967295u};
  FakeInterface twin{3, "eth0", 5, 6};
  FakeInterface odd{4, "a\nb", 7, 8};
  agent.Interfaces({lo, eth, twin, odd});
  table.Refresh(InterfaceTable::kInterfaces);
  ASSERT_EQ(table.Count(), 4);
  EXPECT_TEXT(table.Items(1).IfDescr, "Intel(R) Ethernet Connection I219-V") << "names are not cut";

  NetStatText text;
  const QStringList lines =
      text.InterfacePage(table, {{2, {"eth0", "uplink to the router"}}, {3, {"", ""}}})
          .split(u'\n');
  ASSERT_EQ(lines.size(), 6);
  EXPECT_TEXT(lines[0], NetStatText::InterfaceHeading());
  EXPECT_TEXT(lines[2],
              "1     lo                              65536 70166049924  14001 70166049925  20001  "
              "21001  ");
  // ifName before ifDescr, the alias cut to its column; the 32-bit counters
  // where no 64-bit ones came.
  EXPECT_TEXT(lines[3],
              "2     eth0                 uplink to  1500  3000000000   14002 4294967295   20002  "
              "21002   *");
  EXPECT_TEXT(lines[4],
              "3     eth0                            1500  5            14003 6            20003  "
              "21003   *");
  EXPECT_TRUE(lines[5].startsWith("4     a\\x0ab ")) << lines[5].toStdString();
  // Other pages name interfaces as this page does; two of one name by index.
  EXPECT_TEXT(text.InterfaceName(1), "lo");
  EXPECT_TEXT(text.InterfaceName(2), "eth0#2");
  EXPECT_TEXT(text.InterfaceName(3), "eth0#3");
  EXPECT_TEXT(text.InterfaceName(9), "-");
  // A link-local endpoint with its zone names the interface as ss does; a
  // zone no interface has, its number.
  InetAddress zoned = Address("fe80::1");
  zoned.type = InetAddress::kIpv6z;
  zoned.octets.append(QByteArray("\0\0\0\1", 4));
  EXPECT_TEXT(text.EndpointText(zoned, 22), "[fe80::1]%lo:22");
  zoned.octets[19] = 9;
  EXPECT_TEXT(text.EndpointText(zoned, 22), "[fe80::1]%9:22");
}

TEST(NetStatTextTest, RouteNeighbourAndAddressPagesShowWhatTheirHeadingsName) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  agent.InterfaceTable({FakeInterface{1, "lo"}, FakeInterface{2, "wlan0"}});
  table.Refresh(InterfaceTable::kInterfaces);
  NetStatText text;
  text.InterfacePage(table, {});

  const std::vector<RouteRow> routes = {
      {Address("0.0.0.0"), 0, Address("192.168.1.1"), 2, 4, 3, 600},
      {Address("192.168.1.0"), 24, Address("0.0.0.0"), 2, 3, 2, 0},
      {Address("10.99.0.0"), 16, Address("0.0.0.0"), 0, 5, 2, 0},
      {Address("2001:db8:77::"), 48, Address("fe80::1"), 2, 4, 19, 1024},
      {Address("2001:db8:dead::"), 48, Address("::"), 0, 2, 2, 0},
      {Address("::1"), 128, Address("::"), 1, 3, 99, 0},
  };
  EXPECT_TEXT(text.RoutePage(routes), Lines({NetStatText::RouteHeading(), "",
                                             "0.0.0.0/0                      192.168.1.1           "
                                             "     wlan0            static   600   ",
                                             "192.168.1.0/24                 on-link               "
                                             "     wlan0            kernel   0     ",
                                             "10.99.0.0/16                   blackhole             "
                                             "     -                kernel   0     ",
                                             "2001:db8:77::/48               fe80::1               "
                                             "     wlan0            dhcp     1024  ",
                                             "2001:db8:dead::/48             reject                "
                                             "     -                kernel   0     ",
                                             "::1/128                        on-link               "
                                             "     lo               99       0     "}));

  const std::vector<NeighbourRow> neighbours = {
      {2, Address("192.168.1.1"), QByteArray("\x02\x00\x5e\x10\x00\x01", 6), 3, 1},
      {2, Address("fe80::1"), QByteArray("\x02\x00\x5e\x10\x00\x01", 6), 4, 2},
      {2, Address("192.168.1.99"), QByteArray(), 2, 7},
      {7, Address("10.0.0.1"), QByteArray("\xaa\xbb\xcc\xdd\xee\xff", 6), 3, 0},
  };
  EXPECT_TEXT(text.NeighbourPage(neighbours),
              Lines({NetStatText::NeighbourHeading(), "",
                     "wlan0            02:00:5e:10:00:01 192.168.1.1               dynamic       "
                     "reachable ",
                     "wlan0            02:00:5e:10:00:01 fe80::1                   static        "
                     "stale     ",
                     "wlan0            -                 192.168.1.99              invalid       "
                     "incomplete",
                     "-                aa:bb:cc:dd:ee:ff 10.0.0.1                  dynamic       "
                     "-         "}));

  const std::vector<AddressRow> addresses = {
      {Address("192.168.1.20"), 24, 2, 4, 1},
      {Address("fe80::dc0a:9eff:fe31:a251"), 64, 2, 5, 6},
      {Address("10.1.1.1"), -1, 2, 0, 0},
  };
  EXPECT_TEXT(text.AddressPage(addresses),
              Lines({NetStatText::AddressHeading(), "",
                     "192.168.1.20/24                wlan0            dhcp      preferred ",
                     "fe80::dc0a:9eff:fe31:a251/64   wlan0            linklayer tentative ",
                     "10.1.1.1                       wlan0            -         -         "}));
}

// One refresh's answers from an agent with the address-family-neutral
// tables: TCP, INTERFACE, IP, ADDRESSES, UDP, NEIGHBOURS.
void ScriptNeutralRefresh(FakeAgent& agent) {
  const Index v4 = Join({Inet("127.0.0.1"), {45678}, Inet("127.0.0.1"), {8080}});
  const Index v6 = Join({Inet("::1"), {443}, Inet("::1"), {50000}});
  agent.Walk({Int(kTcpConnection, 7, v4, 5), Int(kTcpConnection, 7, v6, 5),
              Gauge(kTcpConnection, 8, v4, 0), Gauge(kTcpConnection, 8, v6, 4242)});
  agent.Walk({Gauge(kTcpListener, 4, Join({Inet("::"), {443}}), 4242)});
  agent.Walk({Text(kProcess, 2, {4242}, "nginx")});
  agent.InterfaceTable({FakeInterface{1, "lo"}, FakeInterface{2, "Ethernet adapter"}});
  agent.Walk({Text(kIfX, 1, {1}, "lo"), Text(kIfX, 1, {2}, "eth0")});
  agent.Walk({Text(kIfX, 18, {2}, "WAN")});
  const Index route = Join({Inet("2001:db8::"), {32, 3, 0, 0, 2}, Inet("fe80::1")});
  agent.Walk({Int(kInetCidrRoute, 7, route, 2), Int(kInetCidrRoute, 8, route, 4),
              Int(kInetCidrRoute, 9, route, 3), Int(kInetCidrRoute, 12, route, 1024)});
  const Index address = Inet("2001:db8::5");
  agent.Walk({Int(kIpAddress, 3, address, 2), Int(kIpAddress, 6, address, 2),
              Int(kIpAddress, 7, address, 2)});
  const Index endpoint = Join({Inet("::"), {5353}, Inet("::"), {0}, {99}});
  agent.Walk({Gauge(kUdpEndpoint, 8, endpoint, 4242)});
  const Index neighbour = Join({{2}, Inet("fe80::1")});
  agent.Walk(
      {FakeCell(kIpNetToPhysical, 4, neighbour, ASN_OCTETSTRING, 0, "\x02\x01\x02\x03\x04\x05"),
       Int(kIpNetToPhysical, 6, neighbour, 3), Int(kIpNetToPhysical, 7, neighbour, 2)});
}

TEST(NetStatTextTest, RefreshWalksEveryPageOfBothFamiliesInOrder) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  NetStatText text;
  ScriptNeutralRefresh(agent);
  Sink sink;
  text.Refresh(&table, sink.Function());
  EXPECT_EQ(agent.Pending(), 0u);

  ASSERT_EQ(sink.pages.size(), 6u);
  const std::vector<Page> order = {Page::Tcp,       Page::Interface, Page::Ip,
                                   Page::Addresses, Page::Udp,       Page::Neighbours};
  for (size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(sink.pages[i].first, order[i]) << i;
  }
  // The listener sorts before the IPv6 connection, both after the IPv4 one;
  // the UDP page knows its owner from the TCP page's walk.
  EXPECT_TEXT(
      sink.pages[0].second,
      Lines({NetStatText::TcpHeading(), "",
             "127.0.0.1:45678          127.0.0.1:8080           ESTABLISHED \u2013       \u2013 "
             "             ",
             "[::]:443                 [::]:0                   LISTEN      4242    nginx "
             "         ",
             "[::1]:443                [::1]:50000              ESTABLISHED 4242    nginx "
             "         "}));
  EXPECT_TRUE(sink.pages[1].second.contains("\n2     eth0                 WAN        1500 "))
      << sink.pages[1].second.toStdString();
  EXPECT_TEXT(
      sink.pages[2].second.split(u'\n').at(2),
      "2001:db8::/32                  fe80::1                    eth0             static   1024  ");
  EXPECT_TEXT(sink.pages[3].second.split(u'\n').at(2),
              "2001:db8::5                    eth0             manual    deprecated");
  EXPECT_TEXT(sink.pages[4].second.split(u'\n').at(2),
              "[::]:5353                [::]:0                   4242    nginx          ");
  EXPECT_TEXT(
      sink.pages[5].second.split(u'\n').at(2),
      "eth0             02:01:02:03:04:05 fe80::1                   dynamic       stale     ");
}

TEST(NetStatTextTest, ADeviceWithoutTheNeutralTablesShowsItsIpv4Tables) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  NetStatText text;
  // Each page first finds its neutral table(s) missing (the walk meets the
  // end of the view), then walks the MIB-II table.
  agent.Walk({});
  agent.Walk({});
  const Index conn = {10, 0, 0, 5, 22, 10, 0, 0, 9, 50123};
  agent.Walk({Int(kTcpConn, 1, conn, 5)});
  agent.InterfaceTable({FakeInterface{1, "lo"}, FakeInterface{2, "eth0"}});
  agent.Walk({});
  agent.Walk({});
  agent.Walk({});
  const Index dest = {0, 0, 0, 0};
  agent.Walk({FakeCell(kIpRoute, 1, dest, ASN_IPADDRESS, 0, std::string(4, '\0')),
              Int(kIpRoute, 2, dest, 2), Int(kIpRoute, 3, dest, 1),
              FakeCell(kIpRoute, 7, dest, ASN_IPADDRESS, 0, std::string("\x0a\x00\x00\x01", 4)),
              Int(kIpRoute, 8, dest, 4), Int(kIpRoute, 9, dest, 3),
              FakeCell(kIpRoute, 11, dest, ASN_IPADDRESS, 0, std::string(4, '\0'))});
  agent.Walk({});
  const Index addr = {10, 0, 0, 5};
  agent.Walk({Int(kIpAddr, 2, addr, 2),
              FakeCell(kIpAddr, 3, addr, ASN_IPADDRESS, 0, std::string("\xff\xff\xff\x00", 4))});
  agent.Walk({});
  agent.Walk({Int(kUdp, 1, {0, 0, 0, 0, 161}, 0)});
  agent.Walk({});
  const Index media = {2, 10, 0, 0, 1};
  agent.Walk({FakeCell(kIpNetToMedia, 2, media, ASN_OCTETSTRING, 0,
                       std::string("\x02\x00\x00\x00\x00\x01", 6)),
              Int(kIpNetToMedia, 4, media, 3)});
  Sink sink;
  text.Refresh(&table, sink.Function());
  EXPECT_EQ(agent.Pending(), 0u);
  ASSERT_EQ(sink.pages.size(), 6u);
  EXPECT_TEXT(
      sink.pages[0].second.split(u'\n').at(2),
      "10.0.0.5:22              10.0.0.9:50123           ESTABLISHED \u2013       \u2013    "
      "          ");
  EXPECT_TEXT(
      sink.pages[2].second.split(u'\n').at(2),
      "0.0.0.0/0                      10.0.0.1                   eth0             static   1     ");
  EXPECT_TEXT(sink.pages[3].second.split(u'\n').at(2),
              "10.0.0.5/24                    eth0             -         -         ");
  EXPECT_TEXT(
      sink.pages[4].second.split(u'\n').at(2),
      "0.0.0.0:161              0.0.0.0:0                \u2013       \u2013              ");
  EXPECT_TEXT(
      sink.pages[5].second.split(u'\n').at(2),
      "eth0             02:00:00:00:00:01 10.0.0.1                  dynamic       -         ");
}

// The kernel's own tables in a namespace with no socket at all, then with a
// TCP listener and still no UDP socket: every page shows its own table, an
// empty one its heading and the empty line under it.
TEST(NetStatTextTest, AnEmptyTableShowsItsHeadingAndEveryOtherPageItsTable) {
  VELMAR_IN_OWN_NETWORK();
  ASSERT_EQ(std::system("ip link add velmar-a type veth peer name velmar-b && "
                        "ip addr add 10.1.0.1/24 dev velmar-a && ip link set velmar-a up && "
                        "ip neigh add 10.1.0.5 lladdr 02:00:00:00:00:05 dev velmar-a"),
            0);
  InterfaceTable table(nullptr, QStringLiteral(VELMAR_BIN_DIR "/libmib2.so"));
  NetStatText text;
  const auto refresh = [&] {
    Sink sink;
    text.Refresh(&table, sink.Function());
    std::map<Page, QString> pages;
    for (const auto& [page, shown] : sink.pages) {
      pages[page] = shown;
    }
    EXPECT_EQ(pages.size(), 6u);
    return pages;
  };
  auto pages = refresh();
  EXPECT_TEXT(pages[Page::Tcp], NetStatText::TcpHeading() + "\n");
  EXPECT_TEXT(pages[Page::Udp], NetStatText::UdpHeading() + "\n");
  EXPECT_TRUE(pages[Page::Interface].contains("velmar-a")) << pages[Page::Interface].toStdString();
  EXPECT_TRUE(pages[Page::Ip].contains("10.1.0.0/24")) << pages[Page::Ip].toStdString();
  EXPECT_TRUE(pages[Page::Addresses].contains("10.1.0.1/24"));
  EXPECT_TRUE(pages[Page::Neighbours].startsWith(NetStatText::NeighbourHeading() + "\n\n"));
  EXPECT_TRUE(pages[Page::Neighbours].contains("02:00:00:00:00:05 10.1.0.5 "))
      << pages[Page::Neighbours].toStdString();

  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_port = htons(2222);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  pages = refresh();
  close(listener);
  EXPECT_TRUE(pages[Page::Tcp].contains("0.0.0.0:2222 ")) << pages[Page::Tcp].toStdString();
  EXPECT_TEXT(pages[Page::Udp], NetStatText::UdpHeading() + "\n");
  EXPECT_TRUE(pages[Page::Neighbours].contains("10.1.0.5 "))
      << pages[Page::Neighbours].toStdString();
}

TEST(NetStatTextTest, AnAgentErrorShowsThePageBeingFilledEmptyAndReachesTheCaller) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  NetStatText text;
  Sink sink;

  // A query that fails in the middle of the route walk.
  const Index v4 = Join({Inet("127.0.0.1"), {631}});
  agent.Walk({});
  agent.Walk({Gauge(kTcpListener, 4, v4, 0)});
  agent.InterfaceTable({FakeInterface{1, "lo"}});
  agent.Walk({});
  agent.Walk({});
  agent.Integer(1);
  agent.Named(Join({kInetCidrRoute, {7}, Inet("127.0.0.0"), {8, 2, 0, 0}, Inet("0.0.0.0")}));
  agent.Failure();
  EXPECT_EQ(MessageOf<TableRefreshError>([&] { text.Refresh(&table, sink.Function()); }),
            "SNMP query failed.");
  ASSERT_EQ(sink.pages.size(), 3u);
  EXPECT_TRUE(sink.pages[0].second.contains("127.0.0.1:631"));
  EXPECT_EQ(sink.pages[2].first, Page::Ip);
  EXPECT_TEXT(sink.pages[2].second, "");
  EXPECT_FALSE(table.Busy());

  // The next refresh works again.
  agent.Reset();
  sink.pages.clear();
  ScriptNeutralRefresh(agent);
  EXPECT_NO_THROW(text.Refresh(&table, sink.Function()));
  EXPECT_EQ(sink.pages.size(), 6u);

  // Without a table component the agent counts as not available.
  sink.pages.clear();
  EXPECT_EQ(MessageOf<TableError>([&] { text.Refresh(nullptr, sink.Function()); }),
            "SNMP extension agent library is not available.");
  ASSERT_EQ(sink.pages.size(), 1u);
  EXPECT_EQ(sink.pages[0].first, Page::Tcp);
  EXPECT_TEXT(sink.pages[0].second, "");
}

TEST(NetStatTextTest, MalformedIndexesAreSkippedAndLongTablesKeptWhole) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  // In name order: an octet over 255, an address length past the index, a
  // sub-identifier too many, then the good rows, then a port over 65535.
  std::vector<FakeObject> objects = {
      Int(kTcpConnection, 7, Join({{1, 4, 300, 0, 0, 1, 80}, Inet("::1"), {1}}), 5),
      Int(kTcpConnection, 7, {2, 16, 0, 0}, 5),
      Int(kTcpConnection, 7, Join({Inet("::1"), {1}, Inet("::1"), {1, 9}}), 5)};
  for (uint32_t i = 0; i < 3000; ++i) {
    objects.push_back(
        Int(kTcpConnection, 7, Join({Inet("::1"), {10000 + i}, Inet("::1"), {40000 + i}}), 5));
  }
  objects.push_back(Int(kTcpConnection, 7, Join({Inet("::1"), {70000}, Inet("::1"), {1}}), 5));
  agent.Walk(objects);
  agent.Walk({});
  NetStatTables inet(table);
  const std::vector<SocketRow> rows = inet.TcpRows();
  ASSERT_EQ(rows.size(), 3000u);
  NetStatText text;
  const QStringList lines = text.TcpPage(rows, {}).split(u'\n');
  ASSERT_EQ(lines.size(), 3002);
  EXPECT_TRUE(lines[2].startsWith("[::1]:10000              [::1]:40000              ESTABLISHED"));
  EXPECT_TRUE(lines[3001].startsWith("[::1]:12999              [::1]:42999 "));
}

}  // namespace
}  // namespace velmar
