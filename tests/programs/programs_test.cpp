#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "programs/packet_flows.h"
#include "programs/program_history.h"
#include "programs/program_series.h"
#include "programs/program_traffic.h"
#include "programs/socket_owner_index.h"
#include "programs/sockets_support.h"
#include "programs/tcp_socket_reader.h"

using namespace velmar::programs;
using namespace std::chrono_literals;

namespace {

const TcpSocketBytes* Find(const std::vector<TcpSocketBytes>& sockets, uint64_t inode) {
  for (const TcpSocketBytes& s : sockets) {
    if (s.inode == inode) {
      return &s;
    }
  }
  return nullptr;
}

}  // namespace

class SocketsOfBothFamilies : public ::testing::TestWithParam<int> {};

// The kernel's own byte counts, tied to the socket through its inode; the
// acknowledged count trails the send until the peer's stack has it.
TEST_P(SocketsOfBothFamilies, ByteCountsAndInodesComeFromTheKernel) {
  LoopbackPair pair(GetParam());
  LoopbackPair::Move(pair.client, pair.server, 100000);
  LoopbackPair::Move(pair.server, pair.client, 5000);
  TcpSocketReader reader;
  std::vector<TcpSocketBytes> sockets;
  const TcpSocketBytes* client = nullptr;
  for (const auto deadline = std::chrono::steady_clock::now() + 5s;
       std::chrono::steady_clock::now() < deadline;) {
    reader.Read(sockets);
    client = Find(sockets, InodeOf(pair.client));
    if (client != nullptr && client->sent == 100000) {
      break;
    }
  }
  ASSERT_NE(client, nullptr);
  const TcpSocketBytes* server = Find(sockets, InodeOf(pair.server));
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(client->family, GetParam());
  EXPECT_EQ(client->sent, 100000u);
  EXPECT_EQ(client->received, 5000u);
  EXPECT_EQ(server->received, 100000u);
  EXPECT_EQ(server->sent, 5000u);
  EXPECT_EQ(client->remotePort, server->localPort);
  EXPECT_EQ(client->uid, ::geteuid());
  EXPECT_TRUE(client->OnLoopback());
}

INSTANTIATE_TEST_SUITE_P(Loopback, SocketsOfBothFamilies, ::testing::Values(AF_INET, AF_INET6));

// Owners are looked up once per socket: a new connection of a process
// already known is found among its descriptors without a look through
// every process, and another user's sockets are never looked for.
TEST(SocketOwnerIndexOnTheKernel, LooksUpNewSocketsOnceAndKnownHoldersFirst) {
  TcpSocketReader reader;
  std::vector<TcpSocketBytes> sockets;
  LoopbackPair first(AF_INET);
  SocketOwnerIndex index("/proc", ::geteuid(), 1h);
  reader.Read(sockets);
  const auto now = std::chrono::steady_clock::now();
  index.Update(sockets, now);
  EXPECT_EQ(index.FullScans(), 1u);
  const SocketOwner& owner = index.OwnerOf(InodeOf(first.client));
  EXPECT_EQ(owner.kind, SocketOwner::Kind::Program);
  EXPECT_EQ(owner.program, OwnExecutable());

  const uint64_t readBefore = index.ProcessesRead();
  index.Update(sockets, now);
  EXPECT_EQ(index.ProcessesRead(), readBefore) << "known sockets cost no look-up";

  LoopbackPair second(AF_INET6);
  reader.Read(sockets);
  index.Update(sockets, now);
  EXPECT_EQ(index.FullScans(), 1u) << "a known holder's new socket needs no full scan";
  EXPECT_EQ(index.OwnerOf(InodeOf(second.server)).program, OwnExecutable());

  SocketOwnerIndex stranger("/proc", ::geteuid() + 4242, 1h);
  stranger.Update(sockets, now);
  EXPECT_EQ(stranger.OwnerOf(InodeOf(first.client)).kind, SocketOwner::Kind::OtherUser);
  EXPECT_EQ(stranger.ProcessesRead(), 0u);
}

namespace {

TcpSocketBytes Socket(uint64_t inode, uint64_t received, uint64_t sent, uint32_t uid = 1000) {
  TcpSocketBytes s;
  s.family = AF_INET;
  s.local = {192, 0, 2, 1};
  s.remote = {198, 51, 100, 7};
  s.inode = inode;
  s.uid = uid;
  s.received = received;
  s.sent = sent;
  return s;
}

// Owners made from a /proc that does not exist: everything of uid 1000 is
// "unknown", everything else another user's, unless named by the test.
struct Owners {
  SocketOwnerIndex index{"/nonexistent", 1000, 0ms};
};

}  // namespace

// The rows add up to what the interfaces counted, whatever the sockets
// did: new sockets count whole, reused inodes start over, loopback and
// sockets outside the selection do not count, and what the sockets do not
// explain is "not attributed", never negative.
TEST(ProgramTraffic, RowsAddUpToTheCountedTotal) {
  Owners owners;
  ProgramTraffic traffic;
  const auto t0 = std::chrono::steady_clock::now();
  std::vector<TcpSocketBytes> sockets{Socket(1, 1000, 100, 2000), Socket(2, 50, 50)};
  TcpSocketBytes loop = Socket(3, 0, 0);
  loop.remote = {127, 0, 0, 1};
  sockets.push_back(loop);
  owners.index.Update(sockets, t0);
  traffic.Update(sockets, owners.index, 10000, 5000, t0);
  EXPECT_EQ(traffic.Rows().size(), 0u) << "the first reading is the baseline";

  sockets = {Socket(1, 3000, 600, 2000), Socket(2, 20, 10), Socket(4, 700, 0, 2000), loop};
  sockets[3].received = 1000000;
  owners.index.Update(sockets, t0 + 2s);
  traffic.Update(sockets, owners.index, 14000, 6000, t0 + 2s);
  const auto rows = traffic.Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].program, kOtherUsers);
  EXPECT_EQ(rows[0].received, 2000u + 700u);
  EXPECT_EQ(rows[0].transmitted, 500u);
  EXPECT_DOUBLE_EQ(rows[0].receiveRate, 1350.0);
  // Socket 2's counts went down: a new socket under its inode, counted whole
  // and, with no owner found, part of "not attributed".
  EXPECT_EQ(rows[1].program, kNotAttributed);
  EXPECT_EQ(rows[0].received + rows[1].received, 4000u);
  EXPECT_EQ(rows[0].transmitted + rows[1].transmitted, 1000u);

  // Sockets that carried more than the selection counted: "not attributed"
  // stays at zero rather than going negative.
  sockets = {Socket(1, 9000, 600, 2000)};
  owners.index.Update(sockets, t0 + 3s);
  traffic.Update(sockets, owners.index, 15000, 6000, t0 + 3s);
  EXPECT_EQ(traffic.Rows()[1].receiveRate, 0.0);
  EXPECT_EQ(traffic.Rows()[1].received, 4000u - 2700u);
}

namespace {

ProgramFigures Row(int n, uint64_t volume, double rate) {
  ProgramFigures row;
  row.program = "/usr/bin/p" + std::to_string(n);
  row.name = "p" + std::to_string(n);
  row.received = volume;
  row.transmitted = volume / 2;
  row.receiveRate = rate;
  return row;
}

}  // namespace

// 50 programs through 5 places: the label set stays bounded, no counter
// ever goes down, every byte is in exactly one series (ended ones
// included), and a program long
// idle gives its place to a busy one.
// Each record: the top programs of its span, the rest in "other", "not
// attributed" closing to the record's count; a restart's first reading
// is only a baseline.
TEST(ProgramHistory, RecordsHoldTheTopProgramsAndAddUpToTheirCount) {
  const auto rows = [](uint64_t a, uint64_t b, uint64_t c, uint64_t others) {
    return std::vector<ProgramFigures>{{"/bin/a", "a", 0, 0, a, 1},
                                       {"/bin/b", "b", 0, 0, b, 0},
                                       {"/bin/c", "c", 0, 0, c, 0},
                                       {kOtherUsers, kOtherUsers, 0, 0, others, 0},
                                       {kNotAttributed, kNotAttributed, 0, 0, 999, 999}};
  };
  ProgramHistory history(2);
  history.Restart();
  history.Read(rows(100, 100, 100, 0));  // the baseline
  history.Read(rows(400, 150, 110, 30));
  using V = velmar::ProgramVolume;
  EXPECT_EQ(history.Take(700, 5), (std::vector<V>{{"/bin/a", 300, 0},
                                                  {"/bin/b", 50, 0},
                                                  {"other", 10, 0},
                                                  {"other users", 30, 0},
                                                  {"not attributed", 310, 5}}));
  // Nothing moved: the record still says it was read. Counts beyond the
  // record's (a reading just after it) leave nothing unattributed.
  EXPECT_EQ(history.Take(0, 0), (std::vector<V>{{"not attributed", 0, 0}}));
  history.Read(rows(900, 150, 110, 30));
  EXPECT_EQ(history.Take(400, 0), (std::vector<V>{{"/bin/a", 500, 0}, {"not attributed", 0, 0}}));
  // What the sockets carried while the meter slept is in no record.
  history.Restart();
  history.Read(rows(5000, 150, 110, 30));
  history.Read(rows(5040, 150, 110, 30));
  EXPECT_EQ(history.Take(50, 0), (std::vector<V>{{"/bin/a", 40, 0}, {"not attributed", 10, 0}}));
}

TEST(ProgramSeries, BoundedLabelsAndCountersThatOnlyGrow) {
  ProgramSeries series(5, 60s);
  const auto t0 = std::chrono::steady_clock::now();
  std::map<std::string, uint64_t> last;
  uint64_t volume = 0;
  for (int round = 1; round <= 20; ++round) {
    std::vector<ProgramFigures> rows;
    // Programs 0-4 go quiet after round 5; the others take turns being busy.
    for (int p = 0; p < 50; ++p) {
      const bool busy = p < 5 ? round <= 5 : (p + round) % 9 == 0;
      const uint64_t carried = p < 5 ? 5000u * static_cast<uint64_t>(std::min(round, 5))
                                     : 1000u * static_cast<uint64_t>(round);
      rows.push_back(Row(p, carried, busy ? 100.0 : 0.0));
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return a.receiveRate > b.receiveRate; });
    series.Update(rows, t0 + round * 30s);
    const auto all = series.All();
    EXPECT_LE(all.size(), 6u);
    EXPECT_EQ(all.back().label, ProgramSeries::kOther);
    for (const auto& s : all) {
      EXPECT_GE(s.received, last[s.label]) << s.label << " went down in round " << round;
      last[s.label] = s.received;
    }
    // A series that lost its label ends with what it had counted.
    uint64_t sum = 0;
    for (const auto& [label, value] : last) {
      sum += value;
    }
    volume = 0;
    for (const auto& r : rows) {
      volume += r.received;
    }
    EXPECT_EQ(sum, volume) << "round " << round;
  }
  const auto all = series.All();
  EXPECT_EQ(
      std::count_if(all.begin(), all.end(), [](const auto& s) { return s.label == "/usr/bin/p0"; }),
      0)
      << "a program idle for longer than the limit gave its place up";
}

namespace {

// A cooked v2 header for `interface`, outgoing or not, before an IP packet.
std::vector<uint8_t> Cooked(uint16_t protocol, bool outgoing, std::vector<uint8_t> ip) {
  std::vector<uint8_t> p{static_cast<uint8_t>(protocol >> 8),
                         static_cast<uint8_t>(protocol),
                         0,
                         0,
                         0,
                         0,
                         0,
                         3,
                         0,
                         1,
                         static_cast<uint8_t>(outgoing ? 4 : 0),
                         6,
                         0,
                         0,
                         0,
                         0,
                         0,
                         0,
                         0,
                         0};
  p.reserve(p.size() + ip.size());
  for (uint8_t octet : ip) {
    p.push_back(octet);
  }
  return p;
}

}  // namespace

// Headers to flows: both families, the machine's own end first whichever
// way the packet went, IPv6 extension headers walked, later fragments and
// cut packets left out; snapshots read back as written.
TEST(PacketFlows, HeadersToFlowsAndBack) {
  std::vector<uint8_t> v4{0x45, 0, 0x05, 0xdc, 0,   0,  0x40, 0, 64,   IPPROTO_UDP, 0,    0,
                          192,  0, 2,    1,    198, 51, 100,  7, 0x1f, 0x90,        0x00, 0x35};
  auto sent = ParseCookedPacket(Cooked(0x0800, true, v4).data(), 20 + v4.size());
  ASSERT_TRUE(sent.has_value());
  EXPECT_EQ(sent->bytes, 1500u);
  EXPECT_EQ(sent->key.interface, 3u);
  EXPECT_EQ(sent->key.localPort, 8080);
  EXPECT_EQ(sent->key.remotePort, 53);
  auto received = ParseCookedPacket(Cooked(0x0800, false, v4).data(), 20 + v4.size());
  ASSERT_TRUE(received.has_value());
  EXPECT_EQ(received->key.local[0], 198);
  EXPECT_EQ(received->key.localPort, 53);
  std::vector<uint8_t> later = v4;
  later[7] = 0x10;  // fragment offset 16
  EXPECT_FALSE(ParseCookedPacket(Cooked(0x0800, true, later).data(), 20 + later.size()));
  EXPECT_FALSE(ParseCookedPacket(Cooked(0x0800, true, v4).data(), 20 + 21));

  // IPv6 with a hop-by-hop header before TCP.
  std::vector<uint8_t> v6(40 + 8 + 4, 0);
  v6[0] = 0x60;
  v6[5] = 12;  // payload length
  v6[6] = IPPROTO_HOPOPTS;
  v6[23] = 1;  // source ::1
  v6[39] = 2;  // destination ::2
  v6[40] = IPPROTO_TCP;
  v6[48] = 0x01;
  v6[49] = 0xbb;  // source port 443
  v6[51] = 80;
  auto six = ParseCookedPacket(Cooked(0x86dd, false, v6).data(), 20 + v6.size());
  ASSERT_TRUE(six.has_value());
  EXPECT_EQ(six->key.protocol, IPPROTO_TCP);
  EXPECT_EQ(six->bytes, 52u);
  EXPECT_EQ(six->key.local[15], 2);
  EXPECT_EQ(six->key.localPort, 80);
  EXPECT_EQ(six->key.remotePort, 443);

  FlowTable table;
  table.Count(*sent, 10);
  table.Count(*sent, 11);
  table.Count(*six, 12);
  const auto flows = ParseFlowSnapshot(table.Snapshot() + "tcp 4 1 zz 1 00000000 2 3 4\n");
  ASSERT_EQ(flows.size(), 2u);  // TCP before UDP
  EXPECT_EQ(flows[0].key, six->key);
  EXPECT_EQ(flows[0].received, 52u);
  EXPECT_EQ(flows[1].key, sent->key);
  EXPECT_EQ(flows[1].transmitted, 3000u);
  table.Prune(12 + 300, 300);
  EXPECT_EQ(table.Size(), 0u);
}

namespace {

// The capture helper, started for one test and ended with it.
class CaptureHelper {
 public:
  explicit CaptureHelper(const std::string& socketPath) : path_(socketPath) {
    int err[2];
    EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(err[1], STDERR_FILENO);
      const std::string program = VELMAR_BIN_DIR "/velmar-capture";
      ::execl(program.c_str(), program.c_str(), path_.c_str(), nullptr);
      ::_exit(127);
    }
    ::close(err[1]);
    // Ready once it says where it serves; anything else is its failure.
    std::string said;
    char buffer[256];
    for (ssize_t n;
         said.find('\n') == std::string::npos && (n = ::read(err[0], buffer, sizeof buffer)) > 0;) {
      said.append(buffer, static_cast<size_t>(n));
    }
    ::close(err[0]);
    ready_ = said.find("serving") != std::string::npos;
    EXPECT_TRUE(ready_) << said;
  }
  ~CaptureHelper() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }

  // Snapshots until `done` holds of one, for at most 10 s.
  std::vector<FlowBytes> WaitFor(const std::function<bool(const std::vector<FlowBytes>&)>& done) {
    std::vector<FlowBytes> flows;
    for (const auto deadline = std::chrono::steady_clock::now() + 10s;
         ready_ && std::chrono::steady_clock::now() < deadline;) {
      flows = ParseFlowSnapshot(Snapshot());
      if (done(flows)) {
        break;
      }
    }
    return flows;
  }

 private:
  std::string Snapshot() const {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path_.c_str());
    std::string text;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      char buffer[4096];
      for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<size_t>(n));
      }
    }
    ::close(fd);
    return text;
  }

  std::string path_;
  pid_t pid_ = -1;
  bool ready_ = false;
};

uint16_t PortOf(int fd) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  return ntohs(address.sin_port);
}

}  // namespace

// What the socket counts cannot see: UDP at a known volume, and a TCP
// connection opened, used and closed before any reading of the sockets.
TEST(CaptureHelperOnTheKernel, CountsUdpAndShortConnections) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "capturing needs cap_net_raw; run as root (the package grants it to the file)";
  }
  char dir[] = "/tmp/velmar-capture-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  {
    CaptureHelper helper(std::string(dir) + "/capture.sock");
    const int receiver = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    ::getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &size);
    const int sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ::connect(sender, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const std::vector<char> datagram(1000, 'u');
    for (int i = 0; i < 100; ++i) {
      ::send(sender, datagram.data(), datagram.size(), 0);
    }
    // The short connection: 5000 bytes each way and closed.
    uint16_t shortPort = 0;
    {
      LoopbackPair pair(AF_INET);
      LoopbackPair::Move(pair.client, pair.server, 5000);
      shortPort = PortOf(pair.server);
    }
    // On the loopback the capture sees each packet once, arriving: the
    // receiving ends' flows carry the bytes.
    const uint16_t receiverPort = ntohs(address.sin_port);
    const auto udpReceived = [&](const FlowBytes& f) {
      return f.key.protocol == IPPROTO_UDP && f.key.localPort == receiverPort;
    };
    const auto shortReceived = [&](const FlowBytes& f) {
      return f.key.protocol == IPPROTO_TCP && f.key.localPort == shortPort;
    };
    const auto flows = helper.WaitFor([&](const std::vector<FlowBytes>& fs) {
      const auto a = std::find_if(fs.begin(), fs.end(), udpReceived);
      const auto b = std::find_if(fs.begin(), fs.end(), shortReceived);
      return a != fs.end() && a->received >= 102800 && b != fs.end() && b->received >= 5000;
    });
    const auto udp = std::find_if(flows.begin(), flows.end(), udpReceived);
    const auto tcp = std::find_if(flows.begin(), flows.end(), shortReceived);
    ASSERT_NE(udp, flows.end());
    ASSERT_NE(tcp, flows.end());
    // 100 datagrams of 1000 bytes, each with 8 bytes of UDP and 20 of IP.
    EXPECT_EQ(udp->received, 102800u);
    // The payload, headers and the handshake's and close's segments.
    EXPECT_GT(tcp->received, 5000u);
    EXPECT_LT(tcp->received, 5000u + 20 * 52);
    ::close(sender);
    ::close(receiver);
  }
  ::rmdir(dir);
}
