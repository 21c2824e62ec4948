#include "net/stream_socket.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QTimer>
#include <vector>

#include "net/client_socket.h"
#include "net/counting_stream.h"
#include "net/local_servers.h"
#include "net/net_test_support.h"
#include "net/socket_error.h"

namespace velmar {
namespace {

using test::ErrorOf;

struct Progress {
  int perc;
  int64_t bytes;
  int lines;
};

// A client socket connected to a scripted server playing `scenario`.
class RawPeer {
 public:
  explicit RawPeer(const QString& scenario) : server(scenario) {
    socket.SetHost(QStringLiteral("127.0.0.1:%1").arg(server.Port()));
    QObject::connect(&socket, &StreamSocket::transferProgress,
                     [this](StreamSocket&, int perc, int64_t bytes, int lines) {
                       progress.push_back({perc, bytes, lines});
                     });
    QObject::connect(&socket, &StreamSocket::disconnected,
                     [this](StreamSocket&) { ++disconnected; });
    socket.Connect();
  }

  test::ScriptedServer server;
  ClientSocket socket;
  std::vector<Progress> progress;
  int disconnected = 0;
};

QByteArray RawBytes(int from, int count) {
  QByteArray bytes;
  for (int i = from; i < from + count; ++i) {
    bytes += static_cast<char>(i % 251);
  }
  return bytes;
}

TEST(StreamSocketReadLine, LinesUpToTheBufferAndARefusalPastIt) {
  ASSERT_TRUE(test::ScriptedServer::Available());
  RawPeer peer(QStringLiteral("raw-lines"));
  // 2045 characters and CR LF fill the 2047-byte buffer exactly.
  EXPECT_EQ(peer.socket.ReadLine(), QString(2045, u'x'));
  EXPECT_EQ(peer.socket.ReadLine(), QStringLiteral("plain")) << "a bare line feed ends a line";
  EXPECT_EQ(peer.socket.ReadLine(), QString()) << "the empty line";
  // One byte more does not fit: refused, and nothing was written past it.
  EXPECT_EQ(ErrorOf([&] { peer.socket.ReadLine(); }), QStringLiteral("Error receiving the stream"));
}

TEST(StreamSocketReadLine, ALineCutByThePeersCloseIsReturnedAsItStands) {
  ASSERT_TRUE(test::ScriptedServer::Available());
  RawPeer peer(QStringLiteral("raw-close-mid-line"));
  EXPECT_EQ(peer.socket.ReadLine(), QStringLiteral("first line"));
  EXPECT_EQ(peer.socket.ReadLine(), QStringLiteral("partial"));
  EXPECT_TRUE(peer.socket.ClosedByPeer());
  test::PumpUntil([&] { return peer.disconnected > 0; }, 2000);
  EXPECT_EQ(peer.disconnected, 1) << "the peer's close notification";
  EXPECT_EQ(peer.socket.ReadLine(), QString()) << "at the end only empty lines";
  EXPECT_NE(peer.socket.Socket(), -1) << "the notification does not close the socket";
}

TEST(StreamSocketReadLine, ASilentPeerTimesOutAndACancelFromAHandlerEndsTheWait) {
  ASSERT_TRUE(test::ScriptedServer::Available());
  RawPeer peer(QStringLiteral("silent"));
  peer.socket.SetTimeOut(1);
  peer.socket.ResetState();
  EXPECT_EQ(ErrorOf([&] { peer.socket.ReadLine(); }), QStringLiteral("Operation timed out"));
  EXPECT_NE(peer.socket.Socket(), -1) << "a time-out closes nothing by itself";

  peer.socket.SetTimeOut(60);
  peer.socket.ResetState();
  bool handlerRan = false;
  QTimer::singleShot(100, &peer.socket, [&] {
    handlerRan = true;
    peer.socket.Cancel();
  });
  EXPECT_EQ(ErrorOf([&] { peer.socket.ReadLine(); }),
            QStringLiteral("Operation has been canceled"));
  EXPECT_TRUE(handlerRan);
  EXPECT_EQ(peer.socket.Socket(), -1);
  EXPECT_EQ(peer.disconnected, 1);
  EXPECT_FALSE(peer.socket.TimeCounter()->Running());
}

TEST(StreamSocketReceiveStream, ByLengthLeavesTheRestAndUntilCloseTakesIt) {
  ASSERT_TRUE(test::ScriptedServer::Available());
  RawPeer peer(QStringLiteral("raw-bytes"));
  QBuffer first;
  first.open(QIODevice::ReadWrite);
  peer.socket.ReceiveStream(first, 70000, 0);
  EXPECT_EQ(first.data(), RawBytes(0, 70000));
  ASSERT_FALSE(peer.progress.empty());
  for (size_t i = 1; i < peer.progress.size(); ++i) {
    EXPECT_GT(peer.progress[i].bytes, peer.progress[i - 1].bytes);
  }
  EXPECT_EQ(peer.progress.back().bytes, 70000);
  EXPECT_EQ(peer.progress.back().perc, 100);
  EXPECT_EQ(peer.progress.back().lines, -1);

  // Into a stream that already holds something, from a start position.
  peer.progress.clear();
  QBuffer rest;
  rest.open(QIODevice::ReadWrite);
  rest.write("HEAD");
  peer.socket.ReceiveStream(rest, 0, 4);  // 0: until the peer closes
  EXPECT_EQ(rest.data(), QByteArray("HEAD") + RawBytes(70000, 30000));
  EXPECT_TRUE(peer.socket.ClosedByPeer());
  ASSERT_FALSE(peer.progress.empty());
  EXPECT_EQ(peer.progress.front().perc, -1) << "unknown length";
  EXPECT_EQ(peer.progress.back().bytes, 30004) << "the stream position";
}

TEST(StreamSocketReceiveStream, APeerThatClosesShortOfTheLengthIsAnError) {
  ASSERT_TRUE(test::ScriptedServer::Available());
  RawPeer peer(QStringLiteral("raw-bytes"));
  CountingStream counted;
  EXPECT_EQ(ErrorOf([&] { peer.socket.ReceiveStream(counted, 100001, 0); }),
            QStringLiteral("Error receiving the stream"));
  EXPECT_EQ(counted.size(), 100000);
}

TEST(StreamSocketReceiveChunked, DecodesAndConsumesTheWholeTrailer) {
  ASSERT_TRUE(test::ScriptedServer::Available());
  RawPeer peer(QStringLiteral("raw-chunked-trailer"));
  QBuffer body;
  body.open(QIODevice::ReadWrite);
  peer.socket.ReceiveChunked(body);
  EXPECT_EQ(body.data(), QByteArray("hello world"));
  // Progress counts within each chunk.
  ASSERT_EQ(peer.progress.size(), 2u);
  EXPECT_EQ(peer.progress[0].bytes, 5);
  EXPECT_EQ(peer.progress[1].bytes, 6);
  EXPECT_EQ(peer.progress[1].perc, 100);
  // Both trailer lines and the empty line are gone: the next line is the
  // one the peer sent after the body.
  EXPECT_EQ(peer.socket.ReadLine(), QStringLiteral("AFTER"));
}

TEST(StreamSocketSend, SendsAStreamInPiecesAndReportsEach) {
  ASSERT_TRUE(test::ScriptedServer::Available());
  RawPeer peer(QStringLiteral("ok"));  // reads up to an empty line, keeps it
  QByteArray payload(100000 - 4, 'a');
  payload += "\r\n\r\n";
  QBuffer stream(&payload);
  stream.open(QIODevice::ReadOnly);
  peer.socket.SendStream(stream, 0);
  ASSERT_EQ(peer.progress.size(), 4u);
  EXPECT_EQ(peer.progress[0].bytes, 32768);
  EXPECT_EQ(peer.progress[0].perc, 33);
  EXPECT_EQ(peer.progress[1].perc, 66);
  EXPECT_EQ(peer.progress[2].perc, 98);
  EXPECT_EQ(peer.progress[3].bytes, 100000);
  EXPECT_EQ(peer.progress[3].perc, 100);
  EXPECT_EQ(peer.socket.ReadLine(), QStringLiteral("HTTP/1.1 200 OK"));
  test::PumpUntil([&] { return peer.server.Request(0).size() == payload.size(); }, 5000);
  EXPECT_EQ(peer.server.Request(0), payload);
}

TEST(StreamSocketSend, SendingToAPeerThatHasGoneIsAnErrorNotASignal) {
  ASSERT_TRUE(test::ScriptedServer::Available());
  RawPeer peer(QStringLiteral("raw-close-mid-line"));
  EXPECT_EQ(peer.socket.ReadLine(), QStringLiteral("first line"));
  EXPECT_EQ(peer.socket.ReadLine(), QStringLiteral("partial"));  // closed now
  const QByteArray block(1 << 20, 'b');
  QString error;
  for (int i = 0; i < 64 && error.isEmpty(); ++i) {
    try {
      peer.socket.SendBuffer(block.constData(), block.size());
    } catch (const std::exception& e) {
      error = QString::fromUtf8(e.what());
    }
  }
  // Still running, and told under its error number.
  EXPECT_EQ(error, QStringLiteral("[10054] Connection reset by peer"));
}

}  // namespace
}  // namespace velmar
