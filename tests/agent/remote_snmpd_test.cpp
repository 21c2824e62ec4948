// The table component through the remote agent library against a real
// snmpd on 127.0.0.1, beside the local agent on the same machine: the
// interfaces, the routes and a listening socket of the test's own agree.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>
#include <thread>
#include <tuple>

#include "interface_table.h"
#include "remote_source.h"
#include "snmpd_process.h"

namespace velmar {
namespace {

std::unique_ptr<InterfaceTable> RemoteTable(uint16_t port) {
  qputenv("VELMAR_REMOTE_AGENT_LIBRARY", VELMAR_BIN_DIR "/libmib2remote.so");
  RemoteSource source;
  source.host = QStringLiteral("127.0.0.1");
  source.port = port;
  source.community = QString::fromLatin1(test::SnmpdProcess::kCommunity);
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
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  socklen_t length = sizeof a;
  getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length);
  const int port = ntohs(a.sin_port);

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
    table.Refresh(InterfaceTable::kRoutes);
    std::set<std::pair<QString, int32_t>> rows;
    for (const MibRow& r : table.AllItems()) {
      rows.emplace(r.RouteDestText(), r.RouteIfIndex);
    }
    return rows;
  };
  EXPECT_EQ(routes(*remote), routes(local));

  // The route and connection tables are fetched while walks ask for them:
  // the listener, opened after the first poll, shows within a few polls.
  const auto listens = [port](InterfaceTable& table) {
    table.Refresh(InterfaceTable::kTcpConnections);
    return std::any_of(table.AllItems().begin(), table.AllItems().end(), [port](const MibRow& r) {
      return r.LocalPort == port && r.State == 2 && r.LocalAddressText() == "127.0.0.1";
    });
  };
  EXPECT_TRUE(listens(local));
  bool seen = false;
  for (int attempt = 0; attempt < 40 && !seen; ++attempt) {
    seen = listens(*remote);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(seen);
  close(listener);
}

}  // namespace
}  // namespace velmar
