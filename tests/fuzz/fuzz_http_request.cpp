// The metrics endpoint's request reading on arbitrary bytes.
//
// The parser alone, fed in pieces whose sizes come from the input: it must
// never crash, never take more than its limit, agree with itself however
// the bytes are split, and hand out only well-formed heads.
//
// Then the real server on 127.0.0.1, given the bytes as one connection
// (after a few idle connections that crowd its cap): it answers every
// complete head and every malformed one with a status line and a whole
// response, in order, the statuses the heads call for; it ends the
// connection after an error, a request asking to close or one with a body;
// and at no moment does it keep more connections than its cap or hold more
// bytes for one than a head's limit and one response.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArrayList>
#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "metrics/exposition.h"
#include "metrics/http_request_parser.h"
#include "metrics/metrics_server.h"

using velmar::HttpRequestParser;

namespace {

constexpr qsizetype kHeadLimit = 256;
constexpr int kMaxConnections = 3;
// A /metrics page of an empty snapshot, or an error page, is far below this.
constexpr qsizetype kResponseBound = 16384;

// Every head the parser completes, in order, or the first error.
QList<QByteArray> Parse(const uint8_t* data, size_t size, size_t piece) {
  HttpRequestParser parser(kHeadLimit);
  QList<QByteArray> heads;
  size_t at = 0;
  while (at < size) {
    const qsizetype room = parser.Room();
    if (room <= 0 && parser.Current() != HttpRequestParser::State::kComplete) {
      break;
    }
    const size_t take =
        std::min({piece, size - at, static_cast<size_t>(std::max<qsizetype>(room, 0))});
    if (take == 0) {
      break;
    }
    parser.Feed(QByteArrayView(reinterpret_cast<const char*>(data) + at, take));
    at += take;
    while (parser.Current() == HttpRequestParser::State::kComplete) {
      const auto& r = parser.Request();
      if (r.method.isEmpty() || r.target.isEmpty() || r.path.size() > r.target.size() ||
          r.path.contains(' ')) {
        abort();
      }
      velmar::Exposition::Negotiate(r.accept);
      heads << r.method + ' ' + r.path;
      parser.Next();
    }
    if (parser.Current() == HttpRequestParser::State::kError) {
      if (parser.ErrorStatus() != 400 && parser.ErrorStatus() != 505) {
        abort();
      }
      heads << QByteArray::number(parser.ErrorStatus());
      break;
    }
  }
  return heads;
}

struct Expected {
  int status = 0;
  bool head = false;  // a HEAD request: the answer has no body
  bool close = false;
};

// What the server must answer to the connection's bytes, read as it reads
// them: the heads in order up to the first that ends the connection.
std::vector<Expected> Answers(QByteArrayView bytes) {
  HttpRequestParser parser(kHeadLimit);
  std::vector<Expected> out;
  qsizetype at = 0;
  for (;;) {
    while (parser.Current() == HttpRequestParser::State::kComplete) {
      const auto& r = parser.Request();
      Expected e;
      e.status = r.path != "/metrics" ? 404 : (r.method == "GET" || r.method == "HEAD") ? 200 : 405;
      e.head = e.status == 200 && r.method == "HEAD";
      e.close = !r.keepAlive || r.hasBody;
      out.push_back(e);
      if (e.close) {
        return out;
      }
      parser.Next();
    }
    if (parser.Current() == HttpRequestParser::State::kError) {
      out.push_back({parser.ErrorStatus(), false, true});
      return out;
    }
    const qsizetype take = std::min(bytes.size() - at, std::max<qsizetype>(parser.Room(), 1));
    if (take <= 0) {
      return out;  // the client went away mid-head or between requests
    }
    parser.Feed(bytes.sliced(at, take));
    at += take;
  }
}

velmar::MetricsServer* server = nullptr;

void CheckCaps() {
  if (server->OpenConnections() > kMaxConnections ||
      server->LargestHeld() > 2 * kHeadLimit + kResponseBound) {
    abort();
  }
}

// Lets the server run a turn, checking its caps around it.
void Turn(int waitMs) {
  CheckCaps();
  QCoreApplication::processEvents(QEventLoop::AllEvents, waitMs);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  CheckCaps();
}

// Non-blocking: libFuzzer's once-a-second alarm would interrupt a blocking
// connect, and a connect interrupted cannot simply be called again.
int Connect() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(server->Port());
  int error = fd < 0 ? errno : 0;
  if (error == 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    error = errno;
    if (error == EINPROGRESS || error == EINTR) {
      pollfd p{fd, POLLOUT, 0};
      while (poll(&p, 1, 5000) < 0 && errno == EINTR) {
      }
      socklen_t length = sizeof error;
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
      if (error == 0 && !(p.revents & POLLOUT)) {
        error = ETIMEDOUT;
      }
    }
  }
  if (error != 0) {
    std::fprintf(stderr, "connect to the metrics server: %s\n", std::strerror(error));
    abort();
  }
  return fd;
}

// Ends a client connection with a reset: hundreds of thousands of inputs
// would otherwise leave as many sockets waiting out TIME_WAIT, until no
// local port is left to connect from.
void Reset(int fd) {
  const linger now{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
  close(fd);
}

// The connection's whole exchange: the bytes out (then the sending side
// shut), everything the server sends back until it ends the connection.
QByteArray Exchange(QByteArrayView bytes) {
  const int fd = Connect();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  QByteArray received;
  qsizetype sent = 0;
  bool shut = false;
  for (;;) {
    if (std::chrono::steady_clock::now() > deadline) {
      abort();  // the server neither answered nor ended the connection
    }
    while (sent < bytes.size()) {
      const ssize_t n = send(fd, bytes.data() + sent, static_cast<size_t>(bytes.size() - sent),
                             MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n <= 0) {
        break;
      }
      sent += n;
    }
    if (sent == bytes.size() && !shut) {
      shutdown(fd, SHUT_WR);
      shut = true;
    }
    Turn(0);
    char buffer[65536];
    const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
      received.append(buffer, n);
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      break;  // ended (after a close the server may not have read our bytes)
    }
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, 1);
  }
  Reset(fd);
  return received;
}

// Splits the byte stream into responses and checks each against what the
// heads call for.
void CheckResponses(QByteArray stream, const std::vector<Expected>& expected) {
  size_t i = 0;
  while (!stream.isEmpty()) {
    if (i >= expected.size()) {
      abort();  // more answers than requests
    }
    const qsizetype end = stream.indexOf("\r\n\r\n");
    if (end < 0 || !stream.startsWith("HTTP/1.1 ")) {
      abort();
    }
    const QByteArray head = stream.left(end + 2);
    if (head.mid(9, 3).toInt() != expected[i].status) {
      abort();
    }
    const qsizetype lengthAt = head.indexOf("\r\nContent-Length: ");
    if (lengthAt < 0) {
      abort();
    }
    const qsizetype lengthEnd = head.indexOf("\r\n", lengthAt + 2);
    const qsizetype length = head.mid(lengthAt + 18, lengthEnd - lengthAt - 18).toLongLong();
    if (head.contains("\r\nConnection: close\r\n") != expected[i].close) {
      abort();
    }
    const qsizetype body = expected[i].head ? 0 : length;
    if (stream.size() < end + 4 + body) {
      abort();  // a response cut short
    }
    stream.remove(0, end + 4 + body);
    ++i;
  }
  if (i != expected.size()) {
    abort();  // a request left unanswered
  }
}

void ServeOnce(uint8_t control, QByteArrayView bytes) {
  if (server == nullptr) {
    static int argc = 1;
    static char name[] = "fuzz_http_request";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    velmar::MetricsServer::Limits limits;
    limits.maxConnections = kMaxConnections;
    limits.maxHeadBytes = kHeadLimit;
    // Generous: within one input nothing may time out; a hang is a finding.
    limits.requestTimeoutMs = limits.keepAliveTimeoutMs = limits.writeTimeoutMs = 60000;
    server = new velmar::MetricsServer(limits);
    server->Listen(velmar::ListenAddress::Parse(QStringLiteral("127.0.0.1:0")));
  }
  const uint64_t droppedBefore = server->Counters().droppedLimit;
  // Idle connections that never send a byte: the cap must make room for
  // the one that talks.
  std::vector<int> idle;
  for (int k = 0; k < (control >> 6); ++k) {
    idle.push_back(Connect());
    Turn(0);
  }
  const QByteArray stream = Exchange(bytes);
  CheckResponses(stream, Answers(bytes));
  const uint64_t crowd = std::max<int>(0, static_cast<int>(idle.size()) + 1 - kMaxConnections);
  if (server->Counters().droppedLimit - droppedBefore < crowd) {
    abort();
  }
  for (const int fd : idle) {
    Reset(fd);
  }
  // Everything ends before the next input: the server saw every close.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (server->OpenConnections() > 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      abort();
    }
    Turn(5);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  const size_t piece = 1 + data[0] % 64;
  const QList<QByteArray> split = Parse(data + 1, size - 1, piece);
  const QList<QByteArray> whole = Parse(data + 1, size - 1, 1 << 20);
  // Room() limits what one feed takes, so the whole input may stop at a
  // different place; what both completed must agree.
  for (qsizetype i = 0; i < std::min(split.size(), whole.size()); ++i) {
    if (split[i] != whole[i]) {
      abort();
    }
  }
  ServeOnce(data[0], QByteArrayView(reinterpret_cast<const char*>(data) + 1, size - 1));
  return 0;
}
