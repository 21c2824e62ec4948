// The table component through the remote agent library against a real
// snmpd on 127.0.0.1, beside the local agent on the same machine: the
// interfaces, the routes and a listening socket of the test's own agree.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <thread>
#include <tuple>

#include "agent/remote_agent.h"
#include "interfaces/interface_table.h"
#include "interfaces/remote_source.h"
#include "support/snmpd_process.h"

namespace velmar {
namespace {

// A UDP relay on 127.0.0.1 in front of snmpd that, while told to, drops
// every request for the TCP connection table: a device that needs longer
// for that table than a request may wait, as one with thousands of
// connections does.
class TableStallingRelay {
 public:
  explicit TableStallingRelay(uint16_t snmpdPort) : snmpdPort_(snmpdPort) {
    listener_ = test::SnmpdProcess::LoopbackSocket();
    port_ = test::SnmpdProcess::PortOf(listener_);
    thread_ = std::thread([this] { Run(); });
  }
  ~TableStallingRelay() {
    stop_ = true;
    thread_.join();
    close(listener_);
    for (const auto& [key, client] : clients_) {
      close(client.upstream);
    }
  }
  uint16_t Port() const { return port_; }
  void Stall(bool on) { stall_ = on; }
  int Dropped() const { return dropped_; }

 private:
  void Run() {
    // tcpConnTable's name as BER encodes it, found in any request under it.
    static constexpr std::string_view kTcpConnTable("\x2b\x06\x01\x02\x01\x06\x0d", 7);
    std::vector<char> buffer(65536);
    while (!stop_) {
      std::vector<pollfd> fds{{listener_, POLLIN, 0}};
      for (const auto& [key, client] : clients_) {
        fds.push_back({client.upstream, POLLIN, 0});
      }
      if (poll(fds.data(), fds.size(), 50) <= 0) {
        continue;
      }
      if (fds[0].revents & POLLIN) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = recvfrom(listener_, buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &length);
        const std::string_view request(buffer.data(), n > 0 ? static_cast<size_t>(n) : 0);
        if (stall_ && request.find(kTcpConnTable) != std::string_view::npos) {
          ++dropped_;
        } else if (n >= 0) {
          send(Upstream(from), buffer.data(), static_cast<size_t>(n), 0);
        }
      }
      for (size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].revents & POLLIN) {
          const ssize_t n = recv(fds[i].fd, buffer.data(), buffer.size(), 0);
          for (const auto& [key, client] : clients_) {
            if (client.upstream == fds[i].fd && n > 0) {
              sendto(listener_, buffer.data(), static_cast<size_t>(n), 0,
                     reinterpret_cast<const sockaddr*>(&client.address), sizeof client.address);
            }
          }
        }
      }
    }
  }
  // One socket towards snmpd per client, so each answer finds its way back.
  int Upstream(const sockaddr_in& from) {
    Client& client = clients_[uint64_t{from.sin_addr.s_addr} << 16 | from.sin_port];
    if (client.upstream < 0) {
      client.address = from;
      client.upstream = test::SnmpdProcess::LoopbackSocket();
      sockaddr_in to{};
      to.sin_family = AF_INET;
      to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      to.sin_port = htons(snmpdPort_);
      connect(client.upstream, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    return client.upstream;
  }

  struct Client {
    sockaddr_in address{};
    int upstream = -1;
  };
  uint16_t snmpdPort_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::map<uint64_t, Client> clients_;
  std::atomic<bool> stall_{false};
  std::atomic<bool> stop_{false};
  std::atomic<int> dropped_{0};
  std::thread thread_;
};

// Opens a listening TCP socket on 127.0.0.1; returns its port.
int Listen(int& fd) {
  fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(fd, 1);
  socklen_t length = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  return ntohs(a.sin_port);
}

bool ShowsListener(InterfaceTable& table, int port) {
  table.Refresh(InterfaceTable::kTcpConnections);
  return std::any_of(table.AllItems().begin(), table.AllItems().end(), [port](const MibRow& r) {
    return r.LocalPort == port && r.State == 2 && r.LocalAddressText() == "127.0.0.1";
  });
}

std::unique_ptr<InterfaceTable> RemoteTable(uint16_t port, uint32_t timeoutMs = 2000) {
  qputenv("VELMAR_REMOTE_AGENT_LIBRARY", VELMAR_BIN_DIR "/libmib2remote.so");
  RemoteSource source;
  source.host = QStringLiteral("127.0.0.1");
  source.port = port;
  source.community = QString::fromLatin1(test::SnmpdProcess::kCommunity);
  source.timeoutMs = timeoutMs;
  // snmpd takes a moment before it answers; the table waits for it.
  auto table = std::make_unique<InterfaceTable>(source);
  for (int attempt = 0;; ++attempt) {
    try {
      table->Refresh(InterfaceTable::kInterfaces);
      return table;
    } catch (const TableError&) {
      if (attempt == 40) {
        throw;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
  }
}

TEST(RemoteAgentOnSnmpd, TheTablesAgreeWithTheLocalAgent) {
  test::SnmpdProcess snmpd;
  if (!snmpd.Start()) {
    GTEST_SKIP() << "snmpd is not installed (scripts/setup-deps installs it)";
  }
  // A listening socket both agents must show.
  int listener = -1;
  const int port = Listen(listener);

  std::unique_ptr<InterfaceTable> remote = RemoteTable(snmpd.Port());
  InterfaceTable local(nullptr, QStringLiteral(VELMAR_BIN_DIR "/libmib2.so"));
  EXPECT_EQ(remote->DeviceAddress(), QStringLiteral("127.0.0.1:%1").arg(snmpd.Port()));

  const auto interfaces = [](InterfaceTable& table) {
    table.Refresh(InterfaceTable::kInterfaces);
    std::vector<std::tuple<int32_t, QString, int32_t, int32_t, int32_t, bool>> rows;
    for (const MibRow& r : table.AllItems()) {
      rows.emplace_back(r.IfIndex, r.IfDescr, r.IfType, r.IfMtu, r.IfPhysAddress[0],
                        r.HasHCInOctets);
    }
    return rows;
  };
  const auto theirs = interfaces(*remote);
  ASSERT_FALSE(theirs.empty());
  EXPECT_EQ(theirs, interfaces(local));

  const auto routes = [](InterfaceTable& table) {
    // The route table comes after the interface tables: a loaded machine
    // may take longer than one walk waits for it.
    for (int attempt = 0; attempt < 40; ++attempt) {
      try {
        table.Refresh(InterfaceTable::kRoutes);
        break;
      } catch (const TableError&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    }
    std::set<std::pair<QString, int32_t>> rows;
    for (const MibRow& r : table.AllItems()) {
      rows.emplace(r.RouteDestText(), r.RouteIfIndex);
    }
    return rows;
  };
  EXPECT_EQ(routes(*remote), routes(local));

  // The route and connection tables are fetched while walks ask for them:
  // the listener, opened after the first poll, shows within a few polls.
  EXPECT_TRUE(ShowsListener(local, port));
  bool seen = false;
  for (int attempt = 0; attempt < 40 && !seen; ++attempt) {
    seen = ShowsListener(*remote, port);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(seen);
  close(listener);
}

// The connection and route tables come apart from the interface polls: a
// device that does not give its connection table in time holds back
// neither the first reading nor the later ones, a walk of that table says
// why it fails, and the table shows once the device answers for it.
TEST(RemoteAgentOnSnmpd, ASlowConnectionTableHoldsBackNoReading) {
  test::SnmpdProcess snmpd;
  if (!snmpd.Start()) {
    GTEST_SKIP() << "snmpd is not installed (scripts/setup-deps installs it)";
  }
  TableStallingRelay relay(snmpd.Port());
  relay.Stall(true);
  int listener = -1;
  const int port = Listen(listener);
  // A short request time-out (a table waits 3 x 300 ms) keeps the test
  // from waiting out the product's 6 s.
  std::unique_ptr<InterfaceTable> table = RemoteTable(relay.Port(), 300);
  EXPECT_FALSE(table->AllItems().empty());
  const QString where = QStringLiteral("127.0.0.1:%1").arg(relay.Port());
  const auto tableError = [&table] {
    try {
      table->Refresh(InterfaceTable::kTcpConnections);
    } catch (const TableError& e) {
      return QString::fromUtf8(e.what());
    }
    return QStringLiteral("a connection table the device never sent was walked");
  };
  // The first fetch waits out a request time-out: the window's walk does
  // not wait that long for it.
  const QString first = tableError();
  EXPECT_TRUE(first.contains(QStringLiteral("The device at ") + where + " is still sending"))
      << first.toStdString();
  // The table is asked for again and again meanwhile, each time for a
  // whole request time-out: no interface reading waits for it.
  for (int i = 0; i < 10; ++i) {
    EXPECT_NO_THROW(table->Refresh(InterfaceTable::kInterfaces)) << i;
    if (i % 5 == 4) {
      EXPECT_THROW(table->Refresh(InterfaceTable::kTcpConnections), TableError);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  // The table fetch waits longer than a poll (0.9 s here) before it gives up.
  QString failed = tableError();
  for (int i = 0; i < 40 && !failed.contains(QStringLiteral("No answer from ")); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    failed = tableError();
  }
  EXPECT_TRUE(failed.contains(QStringLiteral("No answer from ") + where)) << failed.toStdString();
  EXPECT_GE(relay.Dropped(), 1);  // one 0.9 s wait at least
  relay.Stall(false);
  // A fetch sent just before the relay let go still waits out its 0.9 s.
  bool seen = false;
  for (int attempt = 0; attempt < 150 && !seen; ++attempt) {
    try {
      seen = ShowsListener(*table, port);
    } catch (const TableError&) {
      // the failed fetch's reason until the next one ends
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(seen);
  close(listener);
}

// A fetch of one table publishes a snapshot that shares every part it did
// not fetch with the snapshot before: nothing of the interface tables is
// copied for a NetStat refresh.
TEST(RemoteAgentOnSnmpd, AFetchedTableLeavesTheOtherPartsShared) {
  test::SnmpdProcess snmpd;
  if (!snmpd.Start()) {
    GTEST_SKIP() << "snmpd is not installed (scripts/setup-deps installs it)";
  }
  agent::RemoteSettings settings;
  settings.host = "127.0.0.1";
  settings.port = snmpd.Port();
  settings.community = test::SnmpdProcess::kCommunity;
  agent::RemoteAgent device(settings, std::chrono::milliseconds(500));
  const std::vector<uint32_t> tcpConnTable{1, 3, 6, 1, 2, 1, 6, 13};
  const int tcp = agent::SubtreeOf(tcpConnTable.data(), tcpConnTable.size());
  const int ifTable = agent::SubtreeOf(std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 2, 2}.data(), 8);
  device.Start();
  std::shared_ptr<const agent::RemoteSnapshot> first;
  for (int attempt = 0; attempt < 50 && first == nullptr; ++attempt) {
    first = device.Snapshot(true, tcp);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_NE(first, nullptr) << device.LastError();
  std::shared_ptr<const agent::RemoteSnapshot> later = first;
  for (int attempt = 0; attempt < 50 && later->parts[tcp] == first->parts[tcp]; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    later = device.Snapshot(true, tcp);
    ASSERT_NE(later, nullptr) << device.LastError();
  }
  ASSERT_NE(later->parts[tcp], first->parts[tcp]) << "the connection table was fetched again";
  ASSERT_NE(first->parts[ifTable], nullptr);
  EXPECT_FALSE(first->parts[ifTable]->empty());
  EXPECT_EQ(later->parts[ifTable], first->parts[ifTable]);
}

}  // namespace
}  // namespace velmar
