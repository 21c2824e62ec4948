#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "programs/program_feed.h"
#include "programs/sockets_support.h"

using namespace velmar::programs;
using namespace std::chrono_literals;

namespace {

ProgramFeed::Options Options(const std::string& socket = "/nonexistent/capture.sock") {
  ProgramFeed::Options options;
  options.captureSocket = socket;
  // The test's traffic is on the loopback, which the meter leaves out.
  options.counts = [](const TcpSocketBytes&) { return true; };
  return options;
}

const ProgramFigures* RowOf(const ProgramFeed& feed, const std::string& program) {
  const auto& rows = feed.Rows();
  const auto it = std::find_if(rows.begin(), rows.end(),
                               [&](const ProgramFigures& r) { return r.program == program; });
  return it == rows.end() ? nullptr : &*it;
}

// A stand-in helper: answers one connection with each of `texts`.
class SnapshotServer {
 public:
  SnapshotServer(std::string path, std::vector<std::string> texts) : path_(std::move(path)) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path_.c_str());
    ::unlink(path_.c_str());
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(fd_, 4), 0);
    thread_ = std::thread([this, texts = std::move(texts)] {
      for (const std::string& text : texts) {
        const int client = ::accept(fd_, nullptr, nullptr);
        ::send(client, text.data(), text.size(), MSG_NOSIGNAL);
        ::close(client);
      }
    });
  }
  ~SnapshotServer() {
    thread_.join();
    ::close(fd_);
    ::unlink(path_.c_str());
  }

 private:
  std::string path_;
  int fd_ = -1;
  std::thread thread_;
};

std::string Hex(const uint8_t* a, size_t n) {
  std::string s;
  char b[3];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02x", a[i]);
    s += b;
  }
  return s;
}

}  // namespace

// Without the helper: the TCP sockets' own counts per program and per
// connection, at the feed's own beat, the rest "not attributed".
TEST(ProgramFeedOnTheKernel, SocketCountsPerProgramAndConnection) {
  ProgramFeed feed(Options());
  LoopbackPair pair(AF_INET);
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(feed.Update(1000, 1000, t0));
  EXPECT_FALSE(feed.Update(1000, 1000, t0 + 1s)) << "within the interval nothing is read";
  LoopbackPair::Move(pair.client, pair.server, 40000);
  ASSERT_TRUE(feed.Update(1000 + 50000, 1000 + 50000, t0 + 2s));
  EXPECT_FALSE(feed.Precise());
  EXPECT_NE(feed.NotAttributedText().find("helper is not running"), std::string::npos);
  const ProgramFigures* own = RowOf(feed, OwnExecutable());
  ASSERT_NE(own, nullptr);
  // Both ends are this process's: each direction carried the 40000 bytes.
  EXPECT_EQ(own->received, 40000u);
  EXPECT_EQ(own->transmitted, 40000u);
  EXPECT_DOUBLE_EQ(own->receiveRate, 20000.0);
  const ProgramFigures* rest = RowOf(feed, kNotAttributed);
  ASSERT_NE(rest, nullptr);
  const ProgramFigures* others = RowOf(feed, kOtherUsers);
  EXPECT_EQ(own->received + rest->received + (others != nullptr ? others->received : 0), 50000u);
  const auto& connections = feed.Connections();
  const auto client = std::find_if(
      connections.begin(), connections.end(),
      [&](const ConnectionFigures& c) { return c.socket.inode == InodeOf(pair.client); });
  ASSERT_NE(client, connections.end());
  EXPECT_EQ(client->program, OwnExecutable());
  EXPECT_EQ(client->socket.sent, 40000u);
  EXPECT_DOUBLE_EQ(client->transmitRate, 20000.0);
}

// With a helper answering: its flows are tied to the sockets by address
// and port, UDP included, and a flow of a socket gone is "not attributed".
TEST(ProgramFeedOnTheKernel, HelperFlowsGoToTheSocketsTheyBelongTo) {
  const int udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(::bind(udp, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  socklen_t size = sizeof address;
  ::getsockname(udp, reinterpret_cast<sockaddr*>(&address), &size);
  const uint16_t port = ntohs(address.sin_port);
  const uint8_t local[4] = {192, 0, 2, 1};
  const uint8_t remote[4] = {198, 51, 100, 7};
  const auto line = [&](uint16_t localPort, uint64_t rx, uint64_t tx) {
    return "udp 4 2 " + Hex(local, 4) + " " + std::to_string(localPort) + " " + Hex(remote, 4) +
           " 443 " + std::to_string(rx) + " " + std::to_string(tx) + "\n";
  };
  const std::string path = "/tmp/velmar-feed-test-" + std::to_string(::getpid()) + ".sock";
  // The third snapshot has lost the flow (the helper forgot it, idle) and
  // then sees it again from 0: nothing is taken back.
  SnapshotServer server(path, {line(port, 100, 10) + line(1, 999, 999),
                               line(port, 5100, 1010) + line(1, 5000, 5000), line(port, 300, 0)});
  ProgramFeed feed(Options(path));
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(feed.Update(0, 0, t0));
  EXPECT_TRUE(feed.Precise());
  ASSERT_TRUE(feed.Update(20000, 2000, t0 + 2s));
  const ProgramFigures* own = RowOf(feed, OwnExecutable());
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->received, 5000u);
  EXPECT_EQ(own->transmitted, 1000u);
  EXPECT_EQ(RowOf(feed, kNotAttributed)->received, 15000u);
  EXPECT_NE(feed.NotAttributedText().find("closed"), std::string::npos);
  ASSERT_TRUE(feed.Update(20400, 2000, t0 + 4s));
  EXPECT_EQ(RowOf(feed, OwnExecutable())->received, 5300u);
  ::close(udp);
}
