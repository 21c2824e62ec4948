// Both address families in the socket layer: IPv6 literals in hosts, URLs
// and proxies (RFC 3986), the order addresses are tried in and the race
// between them (RFC 8305), against real listeners; and, in a network and
// mount namespace of tests/net/run_in_namespace.py's making (root only), a
// name whose hosts-file entry has a dead IPv6 address and a live IPv4 one.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <cstdlib>

#include "net/connect_race.h"
#include "net/endpoint.h"
#include "net/family_memory.h"
#include "net/http_client.h"
#include "net/local_servers.h"
#include "net/net_test_support.h"

namespace velmar {
namespace {

Endpoint At(const char* host, uint16_t port) {
  const auto e = Endpoint::FromLiteral(QString::fromLatin1(host), port);
  EXPECT_TRUE(e.has_value()) << host;
  return e.value_or(Endpoint{});
}

// A listener on 127.0.0.1 that accepts (the kernel does) and is never read.
struct Listener {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  uint16_t port = 0;
  Listener() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 8);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    port = ntohs(a.sin_port);
  }
  ~Listener() { ::close(fd); }
};

TEST(InetAddressesTest, HostsUrlsAndProxiesTakeIpv6LiteralsAndAddressesAreTriedByTurns) {
  HttpClient client;
  client.SetURL(QStringLiteral("http://[2001:db8::1]:8080/dir/file.bin"));
  EXPECT_EQ(client.Host(), QStringLiteral("[2001:db8::1]"));
  EXPECT_EQ(client.Port(), 8080);
  EXPECT_EQ(client.RequestPath(), QStringLiteral("/dir/file.bin"));
  EXPECT_TRUE(client.BuildRequest(QStringLiteral("GET")).contains("\r\nHost: [2001:db8::1]\r\n"));
  client.SetURL(QStringLiteral("HTTP://[::1]/"));
  EXPECT_EQ(client.Host(), QStringLiteral("[::1]"));
  EXPECT_EQ(client.Port(), 80) << "no port: the default";
  client.SetHost(QStringLiteral("fe80::1"));  // bare: every colon is the address's
  EXPECT_EQ(client.Host(), QStringLiteral("fe80::1"));
  EXPECT_EQ(client.Port(), 80);

  client.SetProxy(QStringLiteral("[2001:db8::3128]:3128"));
  EXPECT_EQ(client.Proxy(), QStringLiteral("[2001:db8::3128]"));
  EXPECT_EQ(client.ProxyPort(), 3128);
  client.SetProxy(QStringLiteral("::1"));  // the settings keep the port apart
  EXPECT_EQ(client.Proxy(), QStringLiteral("::1"));
  EXPECT_EQ(client.ProxyPort(), 0);
  client.SetProxy(QStringLiteral("proxy.test:8888"));
  EXPECT_EQ(client.Proxy(), QStringLiteral("proxy.test"));
  EXPECT_EQ(client.ProxyPort(), 8888);

  // Numeric hosts of either family, written back as people write them.
  EXPECT_EQ(At("127.1", 80).Text(), QStringLiteral("127.0.0.1:80"));
  EXPECT_EQ(At("[2001:DB8:0:0::1]", 443).Text(), QStringLiteral("[2001:db8::1]:443"));
  EXPECT_EQ(At("fe80::1%lo", 22).Text(), QStringLiteral("[fe80::1%lo]:22"));
  EXPECT_FALSE(Endpoint::FromLiteral(QStringLiteral("example.test"), 80).has_value());
  EXPECT_FALSE(Endpoint::FromLiteral(QStringLiteral("[::g]"), 80).has_value());

  // The families take turns, IPv6 first, each in the resolver's order.
  const std::vector<Endpoint> order =
      HappyEyeballsOrder({At("192.0.2.1", 1), At("192.0.2.2", 1), At("2001:db8::a", 1),
                          At("2001:db8::b", 1), At("192.0.2.3", 1)});
  QStringList texts;
  for (const Endpoint& e : order) {
    texts << e.Text();
  }
  EXPECT_EQ(texts.join(u' '), QStringLiteral("[2001:db8::a]:1 192.0.2.1:1 [2001:db8::b]:1 "
                                             "192.0.2.2:1 192.0.2.3:1"));
}

// RFC 6874: a zone in a URL is written "%25"; it reaches the socket and
// stays out of the Host header, where it would mean nothing to the server.
TEST(InetAddressesTest, UrlsWithAZoneReachTheZoneAndLeaveItOutOfHost) {
  HttpClient client;
  client.SetURL(QStringLiteral("http://[fe80::1%25lo]:8080/"));
  EXPECT_EQ(client.Host(), QStringLiteral("[fe80::1%25lo]"));
  EXPECT_EQ(client.Port(), 8080);
  EXPECT_TRUE(client.BuildRequest(QStringLiteral("GET")).contains("\r\nHost: [fe80::1]\r\n"));
  EXPECT_EQ(At("[fe80::1%25lo]", 80).Text(), QStringLiteral("[fe80::1%lo]:80"));
  EXPECT_EQ(At("fe80::1%lo", 80).Text(), QStringLiteral("[fe80::1%lo]:80"));
  EXPECT_EQ(HostWithoutZone(QStringLiteral("fe80::1%lo")), QStringLiteral("fe80::1"));
  EXPECT_EQ(HostWithoutZone(QStringLiteral("a%25b.test")), QStringLiteral("a%25b.test"))
      << "a name is no literal";
}

// The family that won for a name goes first for ten minutes, then IPv6
// has its turn again.
TEST(InetAddressesTest, TheWinningFamilyGoesFirstForAWhile) {
  auto now = std::chrono::steady_clock::time_point{};
  FamilyMemory memory([&now] { return now; });
  EXPECT_EQ(memory.FirstFamily(QStringLiteral("both.test")), AF_INET6);
  memory.Remember(QStringLiteral("Both.Test"), AF_INET);
  now += FamilyMemory::kLifetime - std::chrono::seconds(1);
  EXPECT_EQ(memory.FirstFamily(QStringLiteral("both.test")), AF_INET);
  EXPECT_EQ(memory.FirstFamily(QStringLiteral("other.test")), AF_INET6);
  now += std::chrono::seconds(1);
  EXPECT_EQ(memory.FirstFamily(QStringLiteral("both.test")), AF_INET6);

  QStringList texts;
  for (const Endpoint& e : HappyEyeballsOrder(
           {At("2001:db8::a", 1), At("192.0.2.1", 1), At("2001:db8::b", 1)}, AF_INET)) {
    texts << e.Text();
  }
  EXPECT_EQ(texts.join(u' '), QStringLiteral("192.0.2.1:1 [2001:db8::a]:1 [2001:db8::b]:1"));
}

TEST(ConnectRaceTest, AStalledAddressGetsCompanyAfterTheDelayAndAFailedOneAtOnce) {
  test::StalledListener stalled;
  Listener live;
  {
    // The first address never answers: the second starts after the
    // attempt delay and wins while the first still waits.
    ConnectRace race({At("127.0.0.1", stalled.Port()), At("127.0.0.1", live.port)}, SOCK_STREAM, 0);
    QElapsedTimer clock;
    clock.start();
    race.Start();
    ASSERT_TRUE(test::PumpUntil([&] { return race.Done(); }, 5000));
    ASSERT_NE(race.Winner(), nullptr);
    EXPECT_EQ(race.Winner()->Text(), QStringLiteral("127.0.0.1:%1").arg(live.port));
    EXPECT_TRUE(race.Failures().empty()) << "the stalled attempt was still waiting";
    ASSERT_EQ(race.StartTimes().size(), 2u);
    EXPECT_GE(race.StartTimes()[1], ConnectRace::kAttemptDelay);
    std::printf("fall-over to the second address: %lld ms after the start\n",
                static_cast<long long>(clock.elapsed()));
    const int socket = race.TakeSocket();
    EXPECT_NE(socket, -1);
    ::close(socket);
  }
  // A refused address starts the next at once; every address refusing
  // ends the race with each failure.
  const uint16_t closed = test::FreePort();
  ConnectRace race({At("::1", closed), At("127.0.0.1", closed)}, SOCK_STREAM, 0);
  race.Start();
  ASSERT_TRUE(test::PumpUntil([&] { return race.Done(); }, 5000));
  EXPECT_EQ(race.Winner(), nullptr);
  EXPECT_EQ(race.TakeSocket(), -1);
  ASSERT_EQ(race.Failures().size(), 2u);
  EXPECT_LT(race.StartTimes()[1], ConnectRace::kAttemptDelay);
  EXPECT_EQ(race.Failures()[1].endpoint.Text(), QStringLiteral("127.0.0.1:%1").arg(closed));
  EXPECT_EQ(race.Failures()[1].code, 10061);
}

TEST(HttpClientIpv6, DownloadsFromAServerOnIpv6AloneDirectlyAndThroughAnIpv6Proxy) {
  if (!test::LocalNginx::Available() || !test::LocalTinyproxy::Available()) {
    GTEST_SKIP() << "nginx-light and tinyproxy are needed (scripts/setup-deps)";
  }
  if (!Endpoint::FromLiteral(QStringLiteral("::1"), 0) || !QFile::exists("/proc/net/if_inet6")) {
    GTEST_SKIP() << "this kernel has no IPv6";
  }
  test::LocalNginx nginx(4 * 1024 * 1024, QStringLiteral("::1"));
  test::WriteFile(nginx.Root() + QStringLiteral("/small.txt"), QByteArray(100000, 'v'));
  HttpClient client;
  client.SetURL(nginx.Url(QStringLiteral("/small.txt")));
  EXPECT_EQ(client.Get(), 200);
  EXPECT_EQ(client.BodySize(), 100000);
  EXPECT_EQ(client.PeerAddress(), QStringLiteral("[::1]:%1").arg(nginx.Port()));

  test::LocalTinyproxy proxy(QStringLiteral("::1"));
  client.SetProxy(QStringLiteral("[::1]:%1").arg(proxy.Port()));
  client.SetURL(nginx.Url(QStringLiteral("/small.txt")));
  EXPECT_EQ(client.Get(), 200) << proxy.Log().toStdString();
  EXPECT_EQ(client.BodySize(), 100000);
  EXPECT_EQ(client.PeerAddress(), QStringLiteral("[::1]:%1").arg(proxy.Port()));
  EXPECT_TRUE(client.BuildRequest(QStringLiteral("GET"))
                  .startsWith("GET http://[::1]:" + QByteArray::number(nginx.Port())));
}

// The tests below run only inside the namespaces run_in_namespace.py
// makes: there /etc/hosts names "both.velmar.test" with a dead IPv6
// address (on a link where nobody answers) and 127.0.0.1, and
// "dead.velmar.test" with the dead address alone.
bool InNamespace() {
  return qEnvironmentVariableIsSet("VELMAR_NET_NAMESPACE");
}

TEST(NetNamespaceTest, ANameFallsOverFromADeadIpv6AddressToALiveIpv4One) {
  if (!InNamespace()) {
    GTEST_SKIP() << "needs the namespaces of tests/net/run_in_namespace.py (root)";
  }
  test::LocalNginx nginx;
  test::WriteFile(nginx.Root() + QStringLiteral("/big.bin"), QByteArray(1 << 20, 'v'));
  HttpClient client;
  client.SetBodyMode(HttpClient::BodyMode::kCountAndDrop);
  client.SetURL(QStringLiteral("http://both.velmar.test:%1/big.bin").arg(nginx.Port()));
  QElapsedTimer clock;
  qint64 connectedAfter = -1;
  QObject::connect(&client, &ClientSocket::connecting, [&](StreamSocket&) { clock.start(); });
  QObject::connect(&client, &StreamSocket::connected,
                   [&](StreamSocket&) { connectedAfter = clock.elapsed(); });
  EXPECT_EQ(client.Get(), 200);
  EXPECT_EQ(client.BodySize(), 1 << 20);
  EXPECT_EQ(client.PeerAddress(), QStringLiteral("127.0.0.1:%1").arg(nginx.Port()));
  // Waiting for the IPv6 address alone would have taken the kernel's
  // seconds of neighbour solicitations.
  EXPECT_GE(connectedAfter, ConnectRace::kAttemptDelay.count());
  EXPECT_LT(connectedAfter, 1000);
  std::printf(
      "both.velmar.test: connected to 127.0.0.1 %lld ms after the start, the dead IPv6 "
      "address tried first\n",
      static_cast<long long>(connectedAfter));
  EXPECT_EQ(client.AttemptsStarted(), 2u) << "the dead IPv6 address, then IPv4";
  // The next download from the name starts with the family that won: one
  // attempt, no wait on the dead address.
  EXPECT_EQ(client.Get(), 200);
  EXPECT_EQ(client.AttemptsStarted(), 1u);
  EXPECT_EQ(client.PeerAddress(), QStringLiteral("127.0.0.1:%1").arg(nginx.Port()));
  QObject::disconnect(&client, &ClientSocket::connecting, nullptr, nullptr);
  QObject::disconnect(&client, &StreamSocket::connected, nullptr, nullptr);

  // The dead address alone: the error names it, after the kernel gives up.
  client.SetURL(QStringLiteral("http://dead.velmar.test:%1/big.bin").arg(nginx.Port()));
  EXPECT_EQ(test::ErrorOf([&] { client.Get(); }),
            QStringLiteral("[10065] No Route to Host ([2001:db8:dead::1]:%1)").arg(nginx.Port()));
  // Both dead: each address with its own error, the last to fail first.
  nginx.Stop();
  client.SetURL(QStringLiteral("http://both.velmar.test:%1/big.bin").arg(nginx.Port()));
  EXPECT_EQ(test::ErrorOf([&] { client.Get(); }),
            QStringLiteral("[10065] No Route to Host ([2001:db8:dead::1]:%1); [10061] Connection "
                           "refused (127.0.0.1:%1)")
                .arg(nginx.Port()));
}

// A link-local address with its zone, as a URL writes it: fe80::1 on the
// namespace's dead0.
TEST(NetNamespaceTest, ALinkLocalUrlWithItsZoneDownloads) {
  if (!InNamespace()) {
    GTEST_SKIP() << "needs the namespaces of tests/net/run_in_namespace.py (root)";
  }
  test::LocalNginx nginx(4 * 1024 * 1024, QStringLiteral("::"));
  test::WriteFile(nginx.Root() + QStringLiteral("/small.txt"), QByteArray(1000, 'v'));
  HttpClient client;
  client.SetURL(QStringLiteral("http://[fe80::1%25dead0]:%1/small.txt").arg(nginx.Port()));
  EXPECT_EQ(client.Get(), 200);
  EXPECT_EQ(client.BodySize(), 1000);
  EXPECT_EQ(client.PeerAddress(), QStringLiteral("[fe80::1%dead0]:%1").arg(nginx.Port()));
}

}  // namespace
}  // namespace velmar
