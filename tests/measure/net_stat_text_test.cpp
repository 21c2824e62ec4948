#include "measure/net_stat_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "measure/interface_table.h"
#include "measure/table_errors.h"
#include "support/fake_agent_control.h"

namespace velmar {
namespace {

using test::FakeAgent;
using test::FakeInterface;
using Page = NetStatText::Page;

using test::FakeConnection;
using test::FakeRoute;

// Records what a refresh hands over, in order.
struct Sink {
  std::vector<std::pair<Page, QString>> pages;
  NetStatText::PageSink Function() {
    return [this](Page page, const QString& text) { pages.emplace_back(page, text); };
  }
};

template <typename E>
std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "(nothing raised)";
}

// The widths below are counted by hand, so a change of any width, of the
// separating blank or of a heading text shows here.
TEST(NetStatTextTest, HeadingLinesAreExact) {
  EXPECT_EQ(NetStatText::TcpHeading(), "Local IP        Port  Remote IP       RPort State     ");
  EXPECT_EQ(NetStatText::InterfaceHeading(),
            "Index    Description          MTU   InBytes    InErr  OutBytes   OutErr OutQLen All");
  EXPECT_EQ(NetStatText::RouteHeading(), "ifIndex  Net2MediaPhysAddr    Net2MediaNetAddr    ");
}

TEST(NetStatTextTest, TcpRowsShowListenersWithRemotePortZeroAndLineUpWithTheHeading) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  agent.TcpTable({
      // A listener whose agent reports a remote port all the same.
      {{0, 0, 0, 0}, 22, {0, 0, 0, 0}, 4711, 2},
      {{127, 0, 0, 1}, 45678, {127, 0, 0, 1}, 8080, 5},
      {{192, 168, 100, 200}, 65535, {255, 255, 255, 255}, 65535, 4},
      {{10, 0, 0, 1}, 1, {10, 0, 0, 2}, 2, 13},
  });
  table.Refresh(InterfaceTable::kTcpConnections);
  ASSERT_EQ(table.Count(), 4);

  EXPECT_EQ(NetStatText::TcpLine(table.Items(0)),
            "0.0.0.0         22    0.0.0.0         0     LISTEN    ");
  EXPECT_EQ(NetStatText::TcpLine(table.Items(1)),
            "127.0.0.1       45678 127.0.0.1       8080  ESTABLISHED");
  // Full-width addresses, five-digit ports and a state longer than its
  // column: the last column simply runs on.
  EXPECT_EQ(NetStatText::TcpLine(table.Items(2)),
            "192.168.100.200 65535 255.255.255.255 65535 SYN_RECEIVED");
  EXPECT_EQ(NetStatText::TcpLine(table.Items(3)),
            "10.0.0.1        1     10.0.0.2        2     UNKNOWN   ");

  NetStatText text;
  const QStringList lines = text.PageText(1, table).split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 6);
  EXPECT_EQ(lines[0], NetStatText::TcpHeading());
  EXPECT_EQ(lines[1], "");
  // Every column starts where its heading starts.
  for (int i = 2; i < lines.size(); ++i) {
    for (int start : {16, 22, 38, 44}) {
      EXPECT_EQ(lines[i][start - 1], QLatin1Char(' ')) << lines[i].toStdString();
      EXPECT_NE(lines[i][start], QLatin1Char(' ')) << lines[i].toStdString();
      EXPECT_NE(lines[0][start], QLatin1Char(' '));
    }
  }
}

TEST(NetStatTextTest, InterfaceRowsCutDescriptionsAndShowCountersInFull) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  FakeInterface lo{1, "lo", 111, 222, 24, 65536};
  FakeInterface eth{2, "abcdefghijklmnopqrstuvwxyz012345", 3000000000u, 4294967295u};
  ASSERT_EQ(eth.descr.size(), 32u);
  agent.InterfaceTable({lo, eth});
  table.Refresh(InterfaceTable::kInterfaces);
  ASSERT_EQ(table.Count(), 2);
  ASSERT_EQ(table.Items(1).IfDescr.size(), 32);

  // The script gives InErr 14000 + index, OutErr 20000 + index and
  // OutQLen 21000 + index. The loopback's MTU of 65536 fits its column.
  EXPECT_EQ(NetStatText::InterfaceLine(table.Items(0)),
            "1        lo                   65536 111        14001  222        20001  21001 ");
  EXPECT_EQ(NetStatText::InterfaceLine(table.Items(1)),
            "2        abcdefghijklmnopqrst 1500  3000000000 14002  4294967295 20002  21002 ");

  // Numbers longer than their columns push the rest of the line right.
  MibRow wide;
  wide.IfIndex = 2147483647;
  wide.IfDescr = QStringLiteral("x");
  wide.IfMtu = -1;
  wide.IfInErrors = 4294967295u;
  wide.IfOutQLen = 4294967295u;
  EXPECT_EQ(
      NetStatText::InterfaceLine(wide),
      "2147483647 x                    -1    0          4294967295 0          0      4294967295");

  // Characters that would break a line or a column show as '?'.
  MibRow odd;
  odd.IfIndex = 3;
  odd.IfDescr = QStringLiteral("a\nb\tc\rd") + QChar(0x85) + QChar(0xe9);
  EXPECT_EQ(NetStatText::InterfaceLine(odd),
            QStringLiteral("3        a?b?c?d?") + QChar(0xe9) +
                "            0     0          0      0          0      0     ");
}

TEST(NetStatTextTest, RouteRowsNameTheInterfaceOfTheLatestInterfacePage) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  NetStatText text;

  MibRow route;
  route.RouteIfIndex = 2;
  route.RouteDest = {192, 168, 0, 0};
  // Before any interface page there is no name to give.
  EXPECT_EQ(text.RouteLine(route), "2        192.168.0.0          -                   ");

  agent.InterfaceTable({FakeInterface{1, "lo"}, FakeInterface{2, "enp0s31f6-with-a-long-name"}});
  table.Refresh(InterfaceTable::kInterfaces);
  text.PageText(InterfaceTable::kInterfaces, table);
  EXPECT_EQ(text.InterfaceName(1), "lo");
  EXPECT_EQ(text.InterfaceName(2), "enp0s31f6-with-a-lon");  // as the interface page shows it
  EXPECT_EQ(text.InterfaceName(9), "-");

  agent.RouteTable({{{0, 0, 0, 0}, 2}, {{127, 0, 0, 0}, 1}, {{10, 8, 0, 0}, 9}});
  table.Refresh(InterfaceTable::kRoutes);
  EXPECT_EQ(text.PageText(InterfaceTable::kRoutes, table),
            "ifIndex  Net2MediaPhysAddr    Net2MediaNetAddr    \n"
            "\n"
            "2        0.0.0.0              enp0s31f6-with-a-lon\n"
            "1        127.0.0.0            lo                  \n"
            "9        10.8.0.0             -                   ");

  // A new interface page forgets interfaces that have gone.
  agent.InterfaceTable({FakeInterface{1, "lo"}});
  table.Refresh(InterfaceTable::kInterfaces);
  text.PageText(InterfaceTable::kInterfaces, table);
  EXPECT_EQ(text.InterfaceName(2), "-");
}

TEST(NetStatTextTest, RefreshWalksTcpThenInterfacesThenRoutes) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  NetStatText text;
  agent.TcpTable({{{127, 0, 0, 1}, 631, {0, 0, 0, 0}, 0, 2}});
  agent.InterfaceTable({FakeInterface{1, "lo", 5, 6}});
  agent.RouteTable({{{127, 0, 0, 0}, 1}});
  Sink sink;

  text.Refresh(&table, sink.Function());

  EXPECT_EQ(agent.Pending(), 0u);
  // The interface walk ends where the agent's view ends, past ifTable;
  // the first query asked whether the agent answers GET (it does not).
  EXPECT_EQ(agent.QueryCount(), 1u + (1u + 5u) + (1u + 21u + 1u) + (1u + 2u));
  ASSERT_EQ(sink.pages.size(), 3u);
  EXPECT_EQ(sink.pages[0].first, Page::Tcp);
  EXPECT_EQ(sink.pages[0].second, NetStatText::TcpHeading() +
                                      "\n\n127.0.0.1       631   0.0.0.0         0     LISTEN    ");
  EXPECT_EQ(sink.pages[1].first, Page::Interface);
  EXPECT_EQ(
      sink.pages[1].second,
      NetStatText::InterfaceHeading() +
          "\n\n1        lo                   1500  5          14001  6          20001  21001   *");
  EXPECT_EQ(sink.pages[2].first, Page::Ip);
  EXPECT_EQ(sink.pages[2].second,
            NetStatText::RouteHeading() + "\n\n1        127.0.0.0            lo                  ");
}

TEST(NetStatTextTest, AnEmptyTableEndsTheRefreshAfterItsOwnPage) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  NetStatText text;

  // No TCP connections: the TCP page shows the heading and an empty line,
  // and neither the interfaces nor the routes are walked.
  agent.Null();
  agent.InterfaceTable({FakeInterface{}});
  Sink sink;
  text.Refresh(&table, sink.Function());
  ASSERT_EQ(sink.pages.size(), 1u);
  EXPECT_EQ(sink.pages[0].first, Page::Tcp);
  EXPECT_EQ(sink.pages[0].second, NetStatText::TcpHeading() + "\n");
  EXPECT_EQ(sink.pages[0].second.split(QLatin1Char('\n')).size(), 2);
  EXPECT_EQ(agent.QueryCount(), 1u + 1u);
  EXPECT_GT(agent.Pending(), 0u) << "the interface walk must not have started";

  // No interfaces: the route page is left alone.
  agent.Reset();
  agent.TcpTable({{{127, 0, 0, 1}, 631, {0, 0, 0, 0}, 0, 2}});
  agent.Null();
  agent.RouteTable({{{127, 0, 0, 0}, 1}});
  sink.pages.clear();
  text.Refresh(&table, sink.Function());
  ASSERT_EQ(sink.pages.size(), 2u);
  EXPECT_EQ(sink.pages[1].first, Page::Interface);
  EXPECT_EQ(sink.pages[1].second, NetStatText::InterfaceHeading() + "\n");
  EXPECT_EQ(agent.QueryCount(), 6u + 1u);
}

TEST(NetStatTextTest, AnAgentErrorShowsThePageBeingFilledEmptyAndReachesTheCaller) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  NetStatText text;
  Sink sink;

  // The agent fails after the descriptions.
  agent.TcpTable({{{127, 0, 0, 1}, 631, {0, 0, 0, 0}, 0, 2}});
  agent.Integer(1);
  agent.Named({1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 1});
  agent.String("lo");
  agent.Named({1, 3, 6, 1, 2, 1, 2, 2, 1, 2, 1});
  agent.Failure();
  agent.RouteTable({{{127, 0, 0, 0}, 1}});
  EXPECT_EQ(MessageOf<TableRefreshError>([&] { text.Refresh(&table, sink.Function()); }),
            "SNMP query failed.");
  ASSERT_EQ(sink.pages.size(), 2u);
  EXPECT_EQ(sink.pages[0].first, Page::Tcp);
  EXPECT_TRUE(sink.pages[0].second.contains("LISTEN"));
  EXPECT_EQ(sink.pages[1].first, Page::Interface);
  EXPECT_EQ(sink.pages[1].second, "");
  EXPECT_FALSE(table.Busy());

  // A query that fails in the middle of the route walk.
  agent.Reset();
  sink.pages.clear();
  agent.TcpTable({{{127, 0, 0, 1}, 631, {0, 0, 0, 0}, 0, 2}});
  agent.InterfaceTable({FakeInterface{1, "lo"}});
  agent.Ip({127, 0, 0, 0});
  agent.Ip({10, 0, 0, 0});
  agent.Integer(1);
  agent.Failure();
  EXPECT_EQ(MessageOf<TableRefreshError>([&] { text.Refresh(&table, sink.Function()); }),
            "SNMP query failed.");
  ASSERT_EQ(sink.pages.size(), 3u);
  EXPECT_EQ(sink.pages[2].first, Page::Ip);
  EXPECT_EQ(sink.pages[2].second, "");

  // The next refresh works again.
  agent.Reset();
  sink.pages.clear();
  agent.TcpTable({{{127, 0, 0, 1}, 631, {0, 0, 0, 0}, 0, 2}});
  agent.InterfaceTable({FakeInterface{1, "lo"}});
  agent.RouteTable({{{127, 0, 0, 0}, 1}});
  EXPECT_NO_THROW(text.Refresh(&table, sink.Function()));
  EXPECT_EQ(sink.pages.size(), 3u);

  // Without a table component the agent counts as not available.
  sink.pages.clear();
  EXPECT_EQ(MessageOf<TableError>([&] { text.Refresh(nullptr, sink.Function()); }),
            "SNMP extension agent library is not available.");
  ASSERT_EQ(sink.pages.size(), 1u);
  EXPECT_EQ(sink.pages[0].first, Page::Tcp);
  EXPECT_EQ(sink.pages[0].second, "");
}

TEST(NetStatTextTest, PagesHoldEveryRowOfLongTables) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  std::vector<FakeConnection> rows;
  for (int i = 0; i < 3000; ++i) {
    rows.push_back(
        {{127, 0, 0, 1}, 10000 + i, {127, 0, 0, static_cast<uint8_t>(2 + i % 200)}, 40000 + i, 5});
  }
  agent.TcpTable(rows);
  table.Refresh(InterfaceTable::kTcpConnections);
  NetStatText text;
  const QStringList lines = text.PageText(1, table).split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 3002);
  EXPECT_EQ(lines[2], "127.0.0.1       10000 127.0.0.2       40000 ESTABLISHED");
  EXPECT_EQ(lines[3001], "127.0.0.1       12999 127.0.0.201     42999 ESTABLISHED");
  // Row 256 and beyond are there too, in table order.
  EXPECT_EQ(lines[2 + 256], "127.0.0.1       10256 127.0.0.58      40256 ESTABLISHED");

  // A kind the window does not show gives no page.
  EXPECT_EQ(text.PageText(0, table), "");
  EXPECT_EQ(text.PageText(4, table), "");
}

}  // namespace
}  // namespace velmar
