#include "metrics/metrics_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

namespace velmar {
namespace {

// Runs the event loop (where the server lives) until `done` holds or a
// generous time has passed; false then.
bool PumpUntil(const std::function<bool()>& done, int ms = 10000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    usleep(1000);
  }
  return true;
}

// A plain non-blocking client socket, driven from the test's thread.
class Client {
 public:
  explicit Client(quint16 port, int receiveBuffer = 0) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0) {
      setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    fcntl(fd_, F_SETFL, O_NONBLOCK);
  }
  ~Client() { close(fd_); }

  // Sends as much as the kernel takes while the server runs; the number sent.
  size_t Send(const std::string& bytes) {
    size_t sent = 0;
    PumpUntil(
        [&] {
          const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
          if (n > 0) {
            sent += static_cast<size_t>(n);
          }
          return sent == bytes.size() || (n < 0 && errno != EAGAIN);
        },
        3000);
    return sent;
  }
  // One send of what the kernel takes now, without waiting.
  size_t Offer(const std::string& bytes) {
    const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    return n > 0 ? static_cast<size_t>(n) : 0;
  }
  // Reads what has arrived; true once the server closed the connection.
  bool ReadSome(size_t most = 1 << 20) {
    char buffer[65536];
    while (most > 0) {
      const ssize_t n = recv(fd_, buffer, std::min(sizeof buffer, most), 0);
      if (n == 0 || (n < 0 && errno != EAGAIN)) {
        closed_ = true;
        return true;
      }
      if (n < 0) {
        return false;
      }
      received_.append(buffer, static_cast<size_t>(n));
      most -= static_cast<size_t>(n);
    }
    return false;
  }
  bool WaitClosed(int ms = 10000) {
    return PumpUntil([&] { return ReadSome() || closed_; }, ms);
  }
  // Waits for `count` complete responses (heads with a Content-Length body).
  bool WaitResponses(size_t count, int ms = 10000) {
    return PumpUntil(
               [&] {
                 ReadSome();
                 return Responses().size() >= count || closed_;
               },
               ms) &&
           Responses().size() >= count;
  }
  std::vector<std::string> Responses() const {
    std::vector<std::string> out;
    size_t at = 0;
    while (true) {
      const size_t headEnd = received_.find("\r\n\r\n", at);
      if (headEnd == std::string::npos) {
        break;
      }
      const std::string head = received_.substr(at, headEnd + 4 - at);
      const size_t length = head.find("Content-Length: ");
      const size_t bodySize =
          length == std::string::npos ? 0 : std::stoul(head.substr(length + 16));
      const size_t end = headEnd + 4 + bodySize;
      if (end > received_.size()) {
        break;
      }
      out.push_back(received_.substr(at, end - at));
      at = end;
    }
    return out;
  }
  const std::string& Received() const { return received_; }
  bool Closed() const { return closed_; }

 private:
  int fd_ = -1;
  std::string received_;
  bool closed_ = false;
};

const std::string kGet = "GET /metrics HTTP/1.1\r\nHost: test\r\n\r\n";

// A source that answers with fixed figures, at once or after `delayMs` on
// the event loop, and counts how often it was asked.
class FixedSource : public InterfaceSource {
 public:
  void Gather(Done done, int timeoutMs) override {
    ++asked;
    lastTimeoutMs = timeoutMs;
    if (delayMs < 0) {
      done(gathering);
      return;
    }
    QTimer::singleShot(delayMs, [this, done] { done(gathering); });
  }
  InterfaceGathering gathering;
  int delayMs = -1;
  int asked = 0;
  int lastTimeoutMs = -1;
};

class MetricsServerTest : public ::testing::Test {
 protected:
  void Start(MetricsServer::Limits limits = {}) {
    server = std::make_unique<MetricsServer>(limits);
    auto snapshot = std::make_shared<MetricsSnapshot>();
    snapshot->version = "0.0.1";
    server->SetSnapshot(snapshot);
    server->Listen(ListenAddress());
    port = server->Port();
    ASSERT_NE(port, 0);
  }
  uint64_t Responses(int status) const {
    for (const auto& [code, count] : server->Counters().responses) {
      if (code == status) {
        return count;
      }
    }
    return 0;
  }

  std::unique_ptr<MetricsServer> server;
  quint16 port = 0;
};

TEST_F(MetricsServerTest, AnswersEachKindOfRequest) {
  Start();
  Client text(port);
  text.Send(kGet);
  ASSERT_TRUE(text.WaitResponses(1));
  const std::string ok = text.Responses()[0];
  EXPECT_EQ(ok.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << ok;
  EXPECT_NE(ok.find("Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"),
            std::string::npos);
  EXPECT_NE(ok.find("Connection: keep-alive\r\n"), std::string::npos);
  EXPECT_NE(ok.find("\r\n\r\n# HELP velmar_build_info"), std::string::npos);
  EXPECT_NE(ok.find("velmar_build_info{version=\"0.0.1\"} 1\n"), std::string::npos);
  EXPECT_FALSE(text.Closed()) << "HTTP/1.1 keeps the connection";

  // The same connection: OpenMetrics on request, a 404 and a 405, all
  // pipelined in one send and answered in order.
  text.Send(
      "GET /metrics HTTP/1.1\r\nHost: t\r\nAccept: application/openmetrics-text\r\n\r\n"
      "GET /other HTTP/1.1\r\nHost: t\r\n\r\n"
      "DELETE /metrics HTTP/1.1\r\nHost: t\r\n\r\n");
  ASSERT_TRUE(text.WaitResponses(4));
  const std::vector<std::string> answers = text.Responses();
  EXPECT_NE(answers[1].find("Content-Type: application/openmetrics-text; version=1.0.0; "
                            "charset=utf-8\r\n"),
            std::string::npos);
  EXPECT_TRUE(answers[1].ends_with("# EOF\n"));
  EXPECT_EQ(answers[2].rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u) << answers[2];
  EXPECT_EQ(answers[3].rfind("HTTP/1.1 405 Method Not Allowed\r\n", 0), 0u) << answers[3];
  EXPECT_NE(answers[3].find("Allow: GET, HEAD\r\n"), std::string::npos);
  EXPECT_FALSE(text.Closed());

  // HEAD: the GET's length, no body.
  Client head(port);
  head.Send("HEAD /metrics HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n");
  ASSERT_TRUE(head.WaitClosed());
  EXPECT_EQ(head.Received().rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_TRUE(head.Received().ends_with("\r\n\r\n"));
  const size_t length = head.Received().find("Content-Length: ");
  ASSERT_NE(length, std::string::npos);
  EXPECT_GT(std::stoul(head.Received().substr(length + 16)), 100u);

  // Requests we cannot read end the connection after the answer.
  Client garbage(port);
  garbage.Send("NOT HTTP AT ALL\r\n\r\n");
  ASSERT_TRUE(garbage.WaitClosed());
  EXPECT_EQ(garbage.Received().rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u);
  EXPECT_NE(garbage.Received().find("Connection: close\r\n"), std::string::npos);
  Client http2(port);
  http2.Send("GET /metrics HTTP/2.0\r\nHost: t\r\n\r\n");
  ASSERT_TRUE(http2.WaitClosed());
  EXPECT_EQ(http2.Received().rfind("HTTP/1.1 505 ", 0), 0u);
  // A request with a body we will not read: answered, then closed.
  Client post(port);
  post.Send("POST /metrics HTTP/1.1\r\nHost: t\r\nContent-Length: 3\r\n\r\nabc");
  ASSERT_TRUE(post.WaitClosed());
  EXPECT_EQ(post.Received().rfind("HTTP/1.1 405 ", 0), 0u);
  // HTTP/1.0 closes unless asked otherwise.
  Client old(port);
  old.Send("GET /metrics HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(old.WaitClosed());
  EXPECT_NE(old.Received().find("Connection: close\r\n"), std::string::npos);

  EXPECT_EQ(Responses(200), 4u);
  EXPECT_EQ(Responses(400), 1u);
  EXPECT_EQ(Responses(404), 1u);
  EXPECT_EQ(Responses(405), 2u);
  EXPECT_EQ(Responses(505), 1u);
}

TEST_F(MetricsServerTest, AThousandPipelinedRequestsAreAnsweredInOrder) {
  Start();
  Client client(port);
  std::string requests;
  for (int i = 0; i < 1000; ++i) {
    requests += "GET /" + std::string(i % 2 ? "metrics" : "x") + " HTTP/1.1\r\nHost: t\r\n\r\n";
  }
  std::string got;
  size_t sent = 0;
  ASSERT_TRUE(PumpUntil(
      [&] {
        if (sent < requests.size()) {
          sent += client.Offer(requests.substr(sent, 4096));
        }
        client.ReadSome();
        return client.Responses().size() == 1000;
      },
      60000));
  const auto answers = client.Responses();
  EXPECT_EQ(answers[0].rfind("HTTP/1.1 404 ", 0), 0u);
  EXPECT_EQ(answers[999].rfind("HTTP/1.1 200 ", 0), 0u);
  EXPECT_EQ(Responses(200), 500u);
  EXPECT_EQ(Responses(404), 500u);
  EXPECT_FALSE(client.Closed());
}

TEST_F(MetricsServerTest, AHugeRequestLineGetsItsAnswerBeforeTheConnectionEnds) {
  Start();
  Client huge(port);
  // The client goes on sending well past the limit; the server answers
  // 400 and reads the rest away rather than resetting the connection,
  // which could destroy the answer before the client read it.
  const std::string line = "GET /" + std::string(1 << 20, 'a');
  huge.Send(line);
  ASSERT_TRUE(huge.WaitClosed());
  EXPECT_EQ(huge.Received().rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u) << huge.Received();
  EXPECT_EQ(Responses(400), 1u);
  EXPECT_TRUE(PumpUntil([&] { return server->OpenConnections() == 0; }));
}

TEST_F(MetricsServerTest, SlowAndIdleClientsAreDropped) {
  MetricsServer::Limits limits;
  limits.requestTimeoutMs = 300;
  limits.keepAliveTimeoutMs = 300;
  // Long enough that the slow reader, which this process drives, never
  // looks stalled on a busy machine.
  limits.writeTimeoutMs = 3000;
  Start(limits);

  // A head that never ends (a byte now and then) is dropped without an answer.
  Client trickle(port);
  trickle.Send("GET /metrics HTTP/1.1\r\n");
  bool closed = false;
  for (int i = 0; i < 100 && !closed; ++i) {
    trickle.Send("X");
    closed = trickle.WaitClosed(20);
  }
  EXPECT_TRUE(closed || trickle.WaitClosed());
  EXPECT_EQ(trickle.Received(), "");
  EXPECT_EQ(server->Counters().droppedTimeout, 1u);

  // A kept-alive connection that goes quiet after its answer.
  Client idle(port);
  idle.Send(kGet);
  ASSERT_TRUE(idle.WaitResponses(1));
  EXPECT_TRUE(idle.WaitClosed());
  EXPECT_EQ(server->Counters().droppedTimeout, 2u);

  // A client that never reads a response larger than the socket buffers:
  // dropped once nothing moves; one that reads slowly gets all of it.
  auto big = std::make_shared<MetricsSnapshot>();
  big->measured = true;
  FixedSource many;
  for (int i = 0; i < 60000; ++i) {
    InterfaceFigures f;
    f.index = i;
    f.name = QString("veth%1").arg(i);
    f.counters[InterfaceFigures::kReceiveBytes] = 1;
    f.counters[InterfaceFigures::kTransmitBytes] = 1;
    f.counters[InterfaceFigures::kReceiveErrors] = 1;
    many.gathering.interfaces.push_back(f);
  }
  server->SetSnapshot(big);
  server->SetInterfaceSource(&many);
  Client deaf(port, 4096);
  const std::string getAndClose =
      "GET /metrics HTTP/1.1\r\nHost: test\r\nConnection: close\r\n\r\n";
  deaf.Send(getAndClose);
  Client slow(port, 4096);
  slow.Send(getAndClose);
  bool slowDone = false;
  PumpUntil(
      [&] {
        if (!slowDone) {
          slow.ReadSome(65536);  // a piece at a time, between turns of the event loop
          slowDone = slow.Responses().size() == 1;
        }
        return slowDone && server->Counters().droppedTimeout >= 3;
      },
      60000);
  ASSERT_TRUE(slowDone);
  EXPECT_GT(slow.Responses()[0].size(), 8000000u);
  // All of it: the process metrics come last.
  const std::string whole = slow.Responses()[0];
  EXPECT_NE(whole.find("velmar_http_connections_dropped_total{reason=\"limit\"} 0\n"),
            std::string::npos);
  EXPECT_NE(whole.rfind("\nprocess_max_fds "), std::string::npos);
  EXPECT_TRUE(whole.ends_with("\n"));
  EXPECT_EQ(server->Counters().droppedTimeout, 3u) << "the deaf client, not the slow one";
  EXPECT_TRUE(deaf.WaitClosed());
  EXPECT_LT(deaf.Received().size(), slow.Received().size());
}

TEST_F(MetricsServerTest, ANewClientTakesTheLeastUsefulPlace) {
  MetricsServer::Limits limits;
  limits.maxConnections = 3;
  Start(limits);
  Client served(port);
  served.Send(kGet);
  ASSERT_TRUE(served.WaitResponses(1));  // answered, now idle and kept alive
  Client partial(port);
  partial.Send("GET /met");
  ASSERT_TRUE(PumpUntil([&] { return server->OpenConnections() == 2; }));
  Client silent(port);
  ASSERT_TRUE(PumpUntil([&] { return server->OpenConnections() == 3; }));

  // Full: each newcomer is served. The connection that never sent a byte
  // goes first, though it is the newest; then the one still sending its
  // head; only then the answered one, idle the longest.
  Client first(port);
  first.Send(kGet);
  ASSERT_TRUE(first.WaitResponses(1));
  EXPECT_TRUE(silent.WaitClosed());
  EXPECT_FALSE(partial.ReadSome());
  Client second(port);
  second.Send(kGet);
  ASSERT_TRUE(second.WaitResponses(1));
  EXPECT_TRUE(partial.WaitClosed());
  EXPECT_EQ(partial.Received(), "");
  EXPECT_FALSE(served.ReadSome());
  Client third(port);
  third.Send(kGet);
  ASSERT_TRUE(third.WaitResponses(1));
  EXPECT_TRUE(served.WaitClosed());
  EXPECT_FALSE(first.ReadSome());
  EXPECT_EQ(server->Counters().droppedLimit, 3u);
  EXPECT_EQ(server->OpenConnections(), 3);
}

TEST_F(MetricsServerTest, OnlyOpenConnectionsCountAgainstTheLimit) {
  MetricsServer::Limits limits;
  limits.maxConnections = 3;
  Start(limits);
  // Scrapers that ask the server to close after each answer and are slow
  // to close their own end: once answered, each connection is over.
  std::vector<std::unique_ptr<Client>> done;
  for (int i = 0; i < 10; ++i) {
    done.push_back(std::make_unique<Client>(port));
    done.back()->Send("GET /metrics HTTP/1.1\r\nHost: test\r\nConnection: close\r\n\r\n");
    ASSERT_TRUE(done.back()->WaitResponses(1)) << i;
  }
  // Scrapers that closed their end while the server was busy elsewhere.
  for (int i = 0; i < 3; ++i) {
    Client gone(port);
    gone.Send(kGet);
    ASSERT_TRUE(gone.WaitResponses(1));
  }
  Client last(port);
  last.Send(kGet);
  ASSERT_TRUE(last.WaitResponses(1));
  EXPECT_EQ(server->Counters().droppedLimit, 0u) << "no open connection was cut";
  EXPECT_EQ(Responses(200), 14u);
}

// What a gzip body holds.
std::string Gunzip(const std::string& data) {
  z_stream stream{};
  EXPECT_EQ(inflateInit2(&stream, 15 + 16), Z_OK);
  std::string out(data.size() * 40 + 1024, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  inflateEnd(&stream);
  return out;
}

TEST_F(MetricsServerTest, GzipWhenTheScraperTakesIt) {
  Start();
  const auto ask = [&](const std::string& encoding) {
    Client client(port);
    client.Send("GET /metrics HTTP/1.1\r\nHost: test\r\n" + encoding + "\r\n");
    EXPECT_TRUE(client.WaitResponses(1));
    const std::string response = client.Responses().at(0);
    const size_t bodyAt = response.find("\r\n\r\n") + 4;
    return std::make_pair(response.substr(0, bodyAt), response.substr(bodyAt));
  };
  const auto [plainHead, plain] = ask("");
  const auto [head, gzipped] = ask("Accept-Encoding: gzip\r\n");
  EXPECT_NE(head.find("\r\nContent-Encoding: gzip\r\n"), std::string::npos) << head;
  EXPECT_NE(head.find("\r\nVary: Accept-Encoding\r\n"), std::string::npos) << head;
  EXPECT_EQ(plainHead.find("Content-Encoding"), std::string::npos);
  // The same page, but for the endpoint's count of its own responses.
  const std::string page = Gunzip(gzipped);
  EXPECT_EQ(page.substr(0, 200), plain.substr(0, 200));
  EXPECT_NE(page.find("velmar_http_responses_total{code=\"200\"} 1\n"), std::string::npos);
  for (const std::string refused :
       {"Accept-Encoding: gzip;q=0, identity\r\n", "Accept-Encoding: br\r\n",
        "Accept-Encoding: *;q=0.5, gzip;q=0\r\n"}) {
    EXPECT_EQ(ask(refused).first.find("Content-Encoding"), std::string::npos) << refused;
  }
  EXPECT_NE(ask("Accept-Encoding: deflate, *;q=0.1\r\n").first.find("Content-Encoding: gzip"),
            std::string::npos);
}

TEST_F(MetricsServerTest, SourcesThatAnswerLaterAndDevicesByName) {
  Start();
  FixedSource local;
  InterfaceFigures lo;
  lo.index = 1;
  lo.name = "lo";
  lo.counters[InterfaceFigures::kReceiveBytes] = 123456789012u;
  local.gathering.interfaces = {lo};
  local.delayMs = 300;
  FixedSource router;
  router.gathering.interfaces = {lo};
  router.delayMs = 50;
  FixedSource gone;
  gone.gathering.answered = false;
  gone.gathering.reason = "timeout";
  server->SetInterfaceSource(&local);
  server->SetTargets({{"router", &router}, {"gone", &gone}});

  // A pipelined request waits for the slow one before it: answers stay in
  // order, and the endpoint serves others meanwhile.
  Client first(port);
  first.Send(kGet + "GET /snmp?target=router HTTP/1.1\r\nHost: t\r\n\r\n");
  Client other(port);
  other.Send(
      "GET /snmp?target=gone HTTP/1.1\r\nHost: t\r\n"
      "X-Prometheus-Scrape-Timeout-Seconds: 2.5\r\n\r\n");
  ASSERT_TRUE(other.WaitResponses(1));
  EXPECT_TRUE(first.Responses().empty()) << "the first answer is still being gathered";
  ASSERT_TRUE(first.WaitResponses(2));
  EXPECT_NE(first.Responses()[0].find(
                "velmar_interface_receive_bytes_total{interface=\"lo\",ifindex=\"1\"} "
                "123456789012\n"),
            std::string::npos)
      << first.Responses()[0];
  EXPECT_NE(first.Responses()[1].find("velmar_device_up{device=\"router\"} 1\n"),
            std::string::npos);
  EXPECT_NE(first.Responses()[1].find("velmar_interface_receive_bytes_total{device=\"router\","
                                      "interface=\"lo\",ifindex=\"1\"} 123456789012\n"),
            std::string::npos);
  EXPECT_EQ(first.Responses()[1].find("velmar_build_info"), std::string::npos)
      << "a device's page holds the device alone";
  const std::string dead = other.Responses()[0];
  EXPECT_EQ(dead.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << "a dead device is no failed scrape";
  EXPECT_NE(dead.find("velmar_device_up{device=\"gone\",reason=\"timeout\"} 0\n"),
            std::string::npos);
  EXPECT_EQ(dead.find("velmar_interface_"), std::string::npos);

  // Unknown and missing targets say what is wrong.
  Client wrong(port);
  wrong.Send(
      "GET /snmp?target=nobody%20here HTTP/1.1\r\nHost: t\r\n\r\n"
      "GET /snmp HTTP/1.1\r\nHost: t\r\n\r\n");
  ASSERT_TRUE(wrong.WaitResponses(2));
  EXPECT_EQ(wrong.Responses()[0].rfind("HTTP/1.1 404 ", 0), 0u);
  EXPECT_NE(wrong.Responses()[0].find("no device \"nobody here\" in the devices file"),
            std::string::npos);
  EXPECT_EQ(wrong.Responses()[1].rfind("HTTP/1.1 400 ", 0), 0u);
  EXPECT_NE(wrong.Responses()[1].find("/snmp?target=NAME"), std::string::npos);

  // A client that leaves while its answer is gathered, and is dropped
  // meanwhile, leaves nothing behind when the answer comes late.
  const int asked = local.asked;
  {
    Client leaving(port);
    leaving.Send(kGet);
    ASSERT_TRUE(PumpUntil([&] { return local.asked == asked + 1; }));
  }
  server->SetInterfaceSource(nullptr);
  Client after(port);
  after.Send(kGet);
  ASSERT_TRUE(after.WaitResponses(1)) << "answered without a source, at once";
  PumpUntil([] { return false; }, 500);  // the late answer comes and finds nobody
  EXPECT_EQ(router.asked, 1);
  EXPECT_EQ(gone.asked, 1);
  EXPECT_EQ(gone.lastTimeoutMs, 1875) << "a quarter before Prometheus gives up";
  EXPECT_EQ(router.lastTimeoutMs, 0) << "no time-out said: the source's own";
}

TEST(MetricsServerListenTest, AnAddressInUseIsAnError) {
  MetricsServer first;
  first.Listen(ListenAddress());
  ListenAddress taken;
  taken.port = first.Port();
  MetricsServer second;
  try {
    second.Listen(taken);
    FAIL() << "listened twice on one port";
  } catch (const MetricsError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot serve metrics on 127.0.0.1:" +
                                         std::to_string(first.Port()) + ": Address already in use");
  }
  // IPv6 too, where the machine has it.
  MetricsServer six;
  try {
    six.Listen(ListenAddress::Parse("[::1]:0"));
    EXPECT_NE(six.Port(), 0);
  } catch (const MetricsError& e) {
    GTEST_SKIP() << "no IPv6 loopback here: " << e.what();
  }
}

}  // namespace
}  // namespace velmar
