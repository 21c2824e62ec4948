#include "netstat/program_page.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>

#include "netstat/net_stat_text.h"
#include "programs/sockets_support.h"

namespace velmar {
namespace {

using programs::ConnectionFigures;
using programs::ProgramFigures;

InetAddress V4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  const uint8_t octets[4] = {a, b, c, d};
  return InetAddress::Ipv4(octets);
}

SocketRow Row(uint32_t localPort, int32_t state = 5) {
  return {V4(127, 0, 0, 1), localPort, V4(127, 0, 0, 1), 8080, state, 0};
}

// The connections of a real feed are found by the endpoints the agent's
// table names, and the TCP page shows their bytes and rates in the order
// asked for; a listener has none.
TEST(ConnectionBytesOnTheKernel, TcpPageShowsAndSortsTheSocketsCounts) {
  programs::ProgramFeed::Options options;
  options.captureSocket = "/nonexistent/capture.sock";
  programs::ProgramFeed feed(options);
  programs::LoopbackPair busy(AF_INET);
  programs::LoopbackPair quiet(AF_INET);
  const auto t0 = std::chrono::steady_clock::now();
  feed.Update(0, 0, t0);
  programs::LoopbackPair::Move(busy.client, busy.server, 30000);
  programs::LoopbackPair::Move(quiet.server, quiet.client, 1000);
  feed.Update(0, 0, t0 + std::chrono::seconds(2));
  ConnectionBytes bytes;
  bytes.Set(feed.Connections());

  const auto rowOf = [](int fd) {
    sockaddr_in local{};
    sockaddr_in remote{};
    socklen_t size = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size);
    size = sizeof remote;
    ::getpeername(fd, reinterpret_cast<sockaddr*>(&remote), &size);
    return SocketRow{
        V4(127, 0, 0, 1), ntohs(local.sin_port), V4(127, 0, 0, 1), ntohs(remote.sin_port), 5, 0};
  };
  const std::vector<SocketRow> rows = {rowOf(quiet.client), Row(1, 2), rowOf(busy.client)};
  const ConnectionBytes::Figures* found = bytes.Find(rows[2]);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->sent, 30000u);
  EXPECT_DOUBLE_EQ(found->transmitRate, 15000.0);
  EXPECT_EQ(bytes.Find(rows[1]), nullptr);

  NetStatText text;
  EXPECT_EQ(text.TcpPage(rows, {}).split(u'\n').at(0), NetStatText::TcpHeading())
      << "without byte counts the page is the agent's alone";
  text.SetConnectionBytes(&bytes, TcpSort::kSent);
  const QStringList lines = text.TcpPage(rows, {}).split(u'\n');
  EXPECT_TRUE(lines.at(0).contains(QStringLiteral("Received")));
  EXPECT_TRUE(lines.at(2).contains(QStringLiteral(" 30000 "))) << lines.join(u'\n').toStdString();
  EXPECT_TRUE(lines.at(2).contains(QStringLiteral(" 120.00 ")));  // 15000 B/s in kbit/s
  EXPECT_TRUE(lines.at(3).startsWith(rows[0].local.EndpointText(rows[0].localPort)));
  EXPECT_TRUE(lines.at(4).trimmed().endsWith(QStringLiteral("-"))) << "the listener, last";
  text.SetConnectionBytes(&bytes, TcpSort::kReceived);
  EXPECT_TRUE(text.TcpPage(rows, {}).split(u'\n').at(2).startsWith(
      rows[0].local.EndpointText(rows[0].localPort)))
      << "the quiet connection received what the busy one did not";
}

// The PROGRAMS page: every row with rates and volumes, and what "not
// attributed" holds and where the figures come from.
TEST(ProgramPageText, RowsVolumesAndWhatTheRestHolds) {
  ProgramFigures browser{"/usr/lib/firefox/firefox", "firefox", 125000, 1000, 3u << 20, 1536};
  ProgramFigures rest{programs::kNotAttributed, programs::kNotAttributed, 0, 0, 900, 0};
  const QStringList lines =
      ProgramPageText::Page({browser, rest}, false, QStringLiteral("UDP and more."), 0)
          .split(u'\n');
  EXPECT_EQ(lines.at(0), ProgramPageText::Heading());
  EXPECT_TRUE(lines.at(2).startsWith(QStringLiteral("firefox ")));
  EXPECT_TRUE(lines.at(2).contains(QStringLiteral(" 1000.00 ")));
  EXPECT_TRUE(lines.at(2).contains(QStringLiteral(" 3.0 MB ")));
  EXPECT_TRUE(lines.at(2).contains(QStringLiteral(" 1.5 KB ")));
  EXPECT_TRUE(lines.at(3).startsWith(QStringLiteral("other users "))) << "shown when none";
  EXPECT_TRUE(lines.at(4).contains(QStringLiteral(" 900 B ")));
  EXPECT_EQ(lines.at(6), QStringLiteral("\"not attributed\": UDP and more."));
  EXPECT_TRUE(lines.at(7).startsWith(QStringLiteral("From the TCP sockets")));
  EXPECT_TRUE(ProgramPageText::Page({}, true, {}, 0).contains(QStringLiteral("Precise")));
}

}  // namespace
}  // namespace velmar
