#include "net/client_socket.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <QTimer>
#include <vector>

#include "net/local_servers.h"
#include "net/net_test_support.h"
#include "net/socket_error.h"

namespace velmar {
namespace {

using test::ErrorOf;

// Exposes the posting of a close notification, so a stale one can be made.
class ProbeSocket : public ClientSocket {
 public:
  using SocketBase::PostPeerClose;
};

TEST(ClientSocketAddress, HostAndProxyAssignmentSplitOffThePort) {
  ClientSocket socket;
  socket.SetDefaultPort(80);
  socket.SetHost(QStringLiteral("example.test:8080"));
  EXPECT_EQ(socket.Host(), QStringLiteral("example.test"));
  EXPECT_EQ(socket.Port(), 8080);

  socket.SetHost(QStringLiteral("example.test:http"));
  EXPECT_EQ(socket.Host(), QStringLiteral("example.test"));
  EXPECT_EQ(socket.Port(), 80) << "a port that is not a number falls back to DefaultPort";

  socket.SetHost(QStringLiteral("example.test:99999"));
  EXPECT_EQ(socket.Port(), 80) << "beyond 16 bits is no port either";

  socket.SetPort(1234);
  socket.SetHost(QStringLiteral("plain.test"));
  EXPECT_EQ(socket.Port(), 80) << "no port: DefaultPort";

  ClientSocket noDefault;
  noDefault.SetPort(1234);
  noDefault.SetHost(QStringLiteral("plain.test"));
  EXPECT_EQ(noDefault.Port(), 1234) << "a DefaultPort of 0 leaves Port alone";
  noDefault.SetHost(QStringLiteral("plain.test:x"));
  EXPECT_EQ(noDefault.Port(), 0);

  // With a proxy the host keeps its port suffix.
  socket.SetProxy(QStringLiteral("proxy.test:3128"));
  EXPECT_EQ(socket.Proxy(), QStringLiteral("proxy.test"));
  EXPECT_EQ(socket.ProxyPort(), 3128);
  socket.SetHost(QStringLiteral("example.test:8080"));
  EXPECT_EQ(socket.Host(), QStringLiteral("example.test:8080"));
  EXPECT_EQ(socket.Port(), 80);

  // An empty proxy splits the port off the host again.
  socket.SetProxy(QString());
  EXPECT_EQ(socket.Proxy(), QString());
  EXPECT_EQ(socket.ProxyPort(), 0);
  EXPECT_EQ(socket.Host(), QStringLiteral("example.test"));
  EXPECT_EQ(socket.Port(), 8080);

  socket.SetProxy(QStringLiteral("proxy.test"));
  EXPECT_EQ(socket.ProxyPort(), 0) << "no colon: port 0";
  socket.SetProxy(QStringLiteral("proxy.test:none"));
  EXPECT_EQ(socket.Proxy(), QStringLiteral("proxy.test"));
  EXPECT_EQ(socket.ProxyPort(), 0);

  const QString longText(300, u'p');
  socket.SetProxy(longText);
  EXPECT_EQ(socket.Proxy().size(), 255);
  socket.SetProxy(QString());
  socket.SetHost(longText);
  EXPECT_EQ(socket.Host().size(), 255);

  EXPECT_TRUE(socket.IsClient());
  EXPECT_EQ(socket.TimeOut(), 60);
  EXPECT_FALSE(socket.Blocking());
  EXPECT_EQ(socket.Socket(), -1);
  EXPECT_EQ(socket.SocketType(), 1);
  EXPECT_EQ(socket.Pause(), -1);
}

TEST(ClientSocketConnect, RefusedAndUnknownHostGiveTheNumberedTexts) {
  for (const bool blocking : {false, true}) {
    ClientSocket socket;
    socket.SetBlocking(blocking);
    int disconnected = 0;
    int connecting = 0;
    QObject::connect(&socket, &StreamSocket::disconnected, [&](StreamSocket&) { ++disconnected; });
    QObject::connect(&socket, &ClientSocket::connecting, [&](StreamSocket&) { ++connecting; });

    const uint16_t port = test::FreePort();
    socket.SetHost(QStringLiteral("127.0.0.1:%1").arg(port));
    // The text names the address that refused.
    EXPECT_EQ(ErrorOf([&] { socket.Connect(); }),
              QStringLiteral("[10061] Connection refused (127.0.0.1:%1)").arg(port))
        << "blocking " << blocking;
    EXPECT_EQ(connecting, 1);
    // A failed connect leaves its socket open and emits no disconnected.
    EXPECT_NE(socket.Socket(), -1);
    EXPECT_EQ(disconnected, 0);

    socket.SetHost(QStringLiteral("no-such-host.velmar.invalid"));
    EXPECT_EQ(ErrorOf([&] { socket.Connect(); }),
              QStringLiteral("[11001] Host not found (no-such-host.velmar.invalid)"));
    // The next Connect closed the earlier socket (its disconnected signal), and
    // this one is open again.
    EXPECT_EQ(disconnected, 1);
    EXPECT_NE(socket.Socket(), -1);

    socket.Cancel();
    EXPECT_EQ(socket.Socket(), -1);
    EXPECT_EQ(disconnected, 2) << "Cancel closes the socket a failure left";
  }
}

TEST(ClientSocketConnect, RepeatedFailuresLeakNoDescriptor) {
  ClientSocket socket;
  const uint16_t port = test::FreePort();
  socket.SetHost(QStringLiteral("127.0.0.1:%1").arg(port));
  ASSERT_NE(ErrorOf([&] { socket.Connect(); }), QStringLiteral("(nothing raised)"));
  const int before = test::OpenDescriptors();
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(ErrorOf([&] { socket.Connect(); }),
              QStringLiteral("[10061] Connection refused (127.0.0.1:%1)").arg(port));
  }
  EXPECT_EQ(test::OpenDescriptors(), before);
  socket.Disconnect();
  EXPECT_EQ(test::OpenDescriptors(), before - 1);
}

TEST(ClientSocketConnect, ConnectsByAddressAndByNameWithEventsInOrder) {
  ASSERT_TRUE(test::ScriptedServer::Available());
  test::ScriptedServer server(QStringLiteral("silent"));
  for (const QString& host : {QStringLiteral("127.0.0.1"), QStringLiteral("localhost")}) {
    ClientSocket socket;
    std::vector<QString> events;
    QObject::connect(&socket, &ClientSocket::connecting, [&](StreamSocket& s) {
      EXPECT_EQ(s.Socket(), -1) << "before the socket exists";
      events.push_back(QStringLiteral("connecting"));
    });
    QObject::connect(&socket, &StreamSocket::connected, [&](StreamSocket& s) {
      EXPECT_TRUE(s.Connected());
      events.push_back(QStringLiteral("connected"));
    });
    QObject::connect(&socket, &StreamSocket::disconnected,
                     [&](StreamSocket&) { events.push_back(QStringLiteral("disconnected")); });
    socket.SetHost(QStringLiteral("%1:%2").arg(host).arg(server.Port()));
    ASSERT_EQ(ErrorOf([&] { socket.Connect(); }), QStringLiteral("(nothing raised)")) << host;
    EXPECT_TRUE(socket.Connected());
    EXPECT_NE(socket.Socket(), -1);
    EXPECT_TRUE(fcntl(socket.Socket(), F_GETFL) & O_NONBLOCK);
    ASSERT_NE(socket.TimeCounter(), nullptr);
    EXPECT_FALSE(socket.TimeCounter()->Running()) << "the counter stops with the wait";
    socket.Disconnect();
    socket.Disconnect();  // idle: nothing
    EXPECT_EQ(socket.Socket(), -1);
    EXPECT_EQ(events,
              (std::vector<QString>{QStringLiteral("connecting"), QStringLiteral("connected"),
                                    QStringLiteral("connected"), QStringLiteral("disconnected")}))
        << host;
  }
}

TEST(ClientSocketConnect, TimesOutAndCancelsWhileTheConnectIsPending) {
  test::StalledListener stalled;
  ClientSocket socket;
  socket.SetTimeOut(1);
  socket.SetHost(QStringLiteral("127.0.0.1:%1").arg(stalled.Port()));
  EXPECT_EQ(ErrorOf([&] { socket.Connect(); }),
            QStringLiteral("Operation timed out (127.0.0.1:%1)").arg(stalled.Port()));
  EXPECT_FALSE(socket.Connected());

  // Cancel from a handler that runs inside the connect's wait.
  socket.SetTimeOut(60);
  int disconnected = 0;
  QObject::connect(&socket, &StreamSocket::disconnected, [&](StreamSocket&) { ++disconnected; });
  QTimer::singleShot(100, &socket, [&] { socket.Cancel(); });
  EXPECT_EQ(ErrorOf([&] { socket.Connect(); }), QStringLiteral("Operation has been canceled"));
  EXPECT_TRUE(socket.Canceled());
  EXPECT_EQ(socket.Socket(), -1);
  EXPECT_EQ(disconnected, 2) << "the timed-out socket, then the cancelled one";
}

TEST(ClientSocketConnect, CancelWithNothingRunningOnlySetsTheFlag) {
  ClientSocket socket;
  int disconnected = 0;
  QObject::connect(&socket, &StreamSocket::disconnected, [&](StreamSocket&) { ++disconnected; });
  socket.Cancel();
  EXPECT_TRUE(socket.Canceled());
  EXPECT_EQ(disconnected, 0);
  socket.ResetState();
  EXPECT_FALSE(socket.Canceled());
  EXPECT_FALSE(socket.Connected());
  EXPECT_FALSE(socket.ClosedByPeer());
  EXPECT_EQ(socket.AsyncError(), 0);
}

TEST(ClientSocketConnect, ANotificationOfAClosedSocketIsDropped) {
  ASSERT_TRUE(test::ScriptedServer::Available());
  test::ScriptedServer server(QStringLiteral("silent"));
  ProbeSocket socket;
  int disconnected = 0;
  QObject::connect(&socket, &StreamSocket::disconnected, [&](StreamSocket&) { ++disconnected; });
  socket.SetHost(QStringLiteral("127.0.0.1:%1").arg(server.Port()));
  socket.Connect();
  socket.PostPeerClose();  // the peer's close, posted and not yet delivered
  socket.Disconnect();
  EXPECT_EQ(disconnected, 1);
  socket.Connect();  // the same client, a new socket
  test::PumpFor(100);
  EXPECT_EQ(disconnected, 1) << "the old socket's close reached the new one";
  EXPECT_FALSE(socket.ClosedByPeer());

  // For the open socket it is delivered.
  socket.PostPeerClose();
  test::PumpUntil([&] { return disconnected == 2; }, 2000);
  EXPECT_EQ(disconnected, 2);
  EXPECT_TRUE(socket.ClosedByPeer());
  EXPECT_NE(socket.Socket(), -1) << "the notification closes nothing";
  socket.Disconnect();
  EXPECT_EQ(disconnected, 3);
}

}  // namespace
}  // namespace velmar
