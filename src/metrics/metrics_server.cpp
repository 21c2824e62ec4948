#include "metrics/metrics_server.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDateTime>
#include <QPointer>
#include <QUrlQuery>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>

#include "metrics/exposition.h"

namespace velmar {

namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// How long a source may take: a quarter of what the scraper waits less,
// a second at most, so its answer (a device that did not answer in time)
// still arrives on a busy machine; 0 when the scraper does not say.
int AnswerWithinMs(const HttpRequest& request) {
  if (request.scrapeTimeoutSeconds <= 0) {
    return 0;
  }
  const int waits = static_cast<int>(request.scrapeTimeoutSeconds * 1000);
  return std::max(100, waits - std::min(1000, waits / 4));
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "Error";
  }
}

// What a plain-HTTP client gets from a TLS port, before any TLS: it
// cannot read anything else, and it should learn why.
constexpr char kPlainToTls[] =
    "HTTP/1.0 400 Bad Request\r\nContent-Type: text/plain; charset=utf-8\r\n"
    "Connection: close\r\n\r\nClient sent an HTTP request to an HTTPS server.\n";

// The first byte of every TLS connection: a handshake record.
constexpr unsigned char kTlsHandshakeRecord = 0x16;

}  // namespace

// One client: reads a request head, writes the whole response, and either
// waits for the next request or closes.
class MetricsServer::Connection : public QObject {
 public:
  enum class Phase { kReading, kWaiting, kWriting, kLingering };

  static constexpr qint64 kMaxDiscarded = 1 << 20;

  Connection(MetricsServer& server, int socket)
      : QObject(&server),
        server_(server),
        socket_(socket),
        parser_(server.limits_.maxHeadBytes),
        readable_(socket, QSocketNotifier::Read),
        writable_(socket, QSocketNotifier::Write),
        handshaking_(server.Secure()) {
    writable_.setEnabled(false);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { TimedOut(); });
    connect(&readable_, &QSocketNotifier::activated, this, [this] { Pump(); });
    connect(&writable_, &QSocketNotifier::activated, this, [this] { Pump(); });
    accepted_ = NowMs();
    lastProgress_ = accepted_;
    timer_.start(server.limits_.requestTimeoutMs);
  }
  ~Connection() override { Close(); }

  Phase CurrentPhase() const { return phase_; }
  bool Answered() const { return answered_ > 0; }
  int64_t Accepted() const { return accepted_; }
  qsizetype Held() const { return parser_.Buffered() + out_.size(); }
  int64_t LastProgress() const { return lastProgress_; }
  // The client has closed or reset its end, or the answer is out and the
  // connection only waits for the client to close: nothing more will be
  // served on it, so it holds no place among the open connections.
  bool Finished() const {
    if (phase_ == Phase::kLingering || socket_ < 0) {
      return true;
    }
    char byte;
    const ssize_t n = recv(socket_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
  }
  // Whether the client has sent anything yet, read or still waiting in
  // the kernel.
  bool SentAnything() const {
    int waiting = 0;
    return parser_.Room() < server_.limits_.maxHeadBytes ||
           (ioctl(socket_, FIONREAD, &waiting) == 0 && waiting > 0);
  }

  // Closes the socket at once (a reset when unread data is left).
  void Close() {
    timer_.stop();
    readable_.setEnabled(false);
    writable_.setEnabled(false);
    tls_.reset();
    if (socket_ >= 0) {
      ::close(socket_);
      socket_ = -1;
    }
  }

  // Runs the first request when its bytes came with the connection.
  void Begin() { Pump(); }

 private:
  // Answers pipelined requests a few per turn of the event loop, so one
  // client cannot hold up the ticks.
  static constexpr int kAnswersPerTurn = 8;

  // Reads, answers and writes as far as the socket allows without waiting.
  void Pump() {
    int answers = 0;
    while (socket_ >= 0) {
      switch (phase_) {
        case Phase::kLingering:
          Drain();
          return;
        case Phase::kWaiting:
          return;  // for a source; Write goes on
        case Phase::kReading:
          if (handshaking_ && !Handshake()) {
            return;
          }
          if (phase_ != Phase::kReading) {
            break;  // a plain request to a TLS port, answered
          }
          if (parser_.Current() == HttpRequestParser::State::kNeedMore && !ReadSome()) {
            return;
          }
          if (parser_.Current() == HttpRequestParser::State::kComplete) {
            Answer(&parser_.Request(), 0);
          } else if (parser_.Current() == HttpRequestParser::State::kError) {
            Answer(nullptr, parser_.ErrorStatus());
          }
          break;
        case Phase::kWriting:
          if (!SendSome()) {
            return;
          }
          ++answered_;
          if (closeAfter_) {
            Linger();
            return;
          }
          // Kept alive: the next request, which may already be here.
          phase_ = Phase::kReading;
          timer_.start(server_.limits_.keepAliveTimeoutMs);
          parser_.Next();
          readable_.setEnabled(true);
          if (++answers == kAnswersPerTurn) {
            QMetaObject::invokeMethod(
                this, [this] { Pump(); }, Qt::QueuedConnection);
            return;
          }
          break;
      }
    }
  }

  // Goes on with the TLS handshake as far as the socket allows; true once
  // it is over. Within the time-out of the request head, so a client that
  // stalls in it is cut as one that stalls in its head. A client speaking
  // plain HTTP gets a short 400 instead.
  bool Handshake() {
    if (!tls_) {
      unsigned char first = 0;
      const ssize_t n = recv(socket_, &first, 1, MSG_PEEK);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        Done();
        return false;
      }
      if (n < 0) {
        return false;
      }
      if (first != kTlsHandshakeRecord) {
        handshaking_ = false;
        readable_.setEnabled(false);
        server_.CountResponse(400);
        out_ = QByteArray(kPlainToTls);
        closeAfter_ = true;
        sent_ = 0;
        phase_ = Phase::kWriting;
        timer_.start(server_.limits_.writeTimeoutMs);
        return true;
      }
      tls_ = server_.security_->Open(socket_);
      if (!tls_) {
        Done();
        return false;
      }
    }
    switch (tls_->Handshake()) {
      case TlsSession::Io::kDone:
        handshaking_ = false;
        writable_.setEnabled(false);
        readable_.setEnabled(true);
        return true;
      case TlsSession::Io::kWantRead:
        writable_.setEnabled(false);
        readable_.setEnabled(true);
        return false;
      case TlsSession::Io::kWantWrite:
        writable_.setEnabled(true);
        return false;
      default:
        ++server_.counters_.droppedHandshake;
        Done();
        return false;
    }
  }

  // As recv and send, through TLS when the connection has it: a count, 0
  // at the client's end, -1 with errno (EAGAIN: the socket must be ready
  // first; TLS may have to write to read, or the other way round).
  ssize_t Receive(char* data, size_t size) {
    if (!tls_) {
      return recv(socket_, data, size, 0);
    }
    size_t moved = 0;
    const TlsSession::Io io = tls_->Read(data, size, moved);
    return Moved(io, moved);
  }
  ssize_t Transmit(const char* data, size_t size) {
    if (!tls_) {
      return send(socket_, data, size, MSG_NOSIGNAL);
    }
    size_t moved = 0;
    const TlsSession::Io io = tls_->Write(data, size, moved);
    return Moved(io, moved);
  }
  ssize_t Moved(TlsSession::Io io, size_t moved) {
    switch (io) {
      case TlsSession::Io::kDone:
        return static_cast<ssize_t>(moved);
      case TlsSession::Io::kWantRead:
        readable_.setEnabled(true);
        errno = EAGAIN;
        return -1;
      case TlsSession::Io::kWantWrite:
        writable_.setEnabled(true);
        errno = EAGAIN;
        return -1;
      case TlsSession::Io::kClosed:
        return 0;
      default:
        errno = ECONNRESET;
        return -1;
    }
  }

  // False when nothing more can be read now (or the client went away).
  bool ReadSome() {
    char buffer[16384];
    const size_t room = static_cast<size_t>(std::max<qsizetype>(parser_.Room(), 1));
    const ssize_t n = Receive(buffer, std::min(sizeof buffer, room));
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
      Done();  // the client went away (mid-head or between requests)
      return false;
    }
    if (n < 0) {
      return errno == EINTR;
    }
    parser_.Feed(QByteArrayView(buffer, n));
    return true;
  }

  void Answer(const HttpRequest* request, int errorStatus) {
    // Nothing more is read until this response is out: a client that
    // pipelines without reading is held back by its own socket buffers.
    readable_.setEnabled(false);
    phase_ = Phase::kWaiting;
    // A source answers within its own time-out; this one is a backstop.
    timer_.start(server_.limits_.writeTimeoutMs);
    answering_ = true;
    QPointer<Connection> self(this);
    server_.Respond(request, errorStatus, [self](QByteArray response, bool close) {
      if (self) {
        self->Write(std::move(response), close);
      }
    });
    answering_ = false;
  }

  // The response is ready: out it goes, at once when it came later than
  // the request (Pump goes on by itself when it came at once).
  void Write(QByteArray response, bool close) {
    if (phase_ != Phase::kWaiting || socket_ < 0) {
      return;
    }
    out_ = std::move(response);
    closeAfter_ = close;
    sent_ = 0;
    phase_ = Phase::kWriting;
    lastProgress_ = NowMs();
    timer_.start(server_.limits_.writeTimeoutMs);
    if (!answering_) {
      Pump();
    }
  }

  // True once the whole response is out; false while the client has not
  // taken it all (the rest goes when the socket is writable) or is gone.
  bool SendSome() {
    while (sent_ < out_.size()) {
      const ssize_t n =
          Transmit(out_.constData() + sent_, static_cast<size_t>(out_.size() - sent_));
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n < 0 && errno == EAGAIN) {
        writable_.setEnabled(true);
        return false;
      }
      if (n < 0) {
        Done();  // reset or gone
        return false;
      }
      sent_ += n;
      lastProgress_ = NowMs();
      timer_.start(server_.limits_.writeTimeoutMs);
    }
    writable_.setEnabled(false);
    out_.clear();
    return true;
  }

  // The response is out; the client may still be sending what will not be
  // read. Closing now would reset the connection and could destroy the
  // response before the client read it, so the sending side is shut and
  // the rest read and dropped until the client closes or time runs out.
  void Linger() {
    phase_ = Phase::kLingering;
    if (tls_) {
      tls_->Shutdown();
    }
    ::shutdown(socket_, SHUT_WR);
    timer_.start(server_.limits_.lingerMs);
    readable_.setEnabled(true);
    Drain();
  }

  // A few reads per turn of the event loop, and a bound on the whole: a
  // client that keeps sending must not hold up the ticks.
  void Drain() {
    char buffer[16384];
    for (int i = 0; i < 4; ++i) {
      const ssize_t n = recv(socket_, buffer, sizeof buffer, 0);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
      }
      discarded_ += n;
      if (n <= 0 || discarded_ > kMaxDiscarded) {
        Done();
        return;
      }
    }
  }

  void TimedOut() {
    if (phase_ != Phase::kLingering) {
      ++server_.counters_.droppedTimeout;
    }
    Done();
  }

  void Done() {
    Close();
    server_.Remove(this);
  }

  MetricsServer& server_;
  int socket_;
  HttpRequestParser parser_;
  QSocketNotifier readable_;
  QSocketNotifier writable_;
  bool handshaking_;
  std::unique_ptr<TlsSession> tls_;
  QTimer timer_;
  Phase phase_ = Phase::kReading;
  QByteArray out_;
  qsizetype sent_ = 0;
  qint64 discarded_ = 0;
  bool closeAfter_ = false;
  bool answering_ = false;
  int answered_ = 0;
  int64_t accepted_ = 0;
  int64_t lastProgress_ = 0;
};

MetricsServer::MetricsServer(Limits limits, QObject* parent) : QObject(parent), limits_(limits) {
  counters_.created = QDateTime::currentMSecsSinceEpoch() / 1000.0;
  for (const int status : {200, 400, 404, 405, 505}) {
    counters_.responses.emplace_back(status, 0);
  }
  acceptPause_.setSingleShot(true);
  connect(&acceptPause_, &QTimer::timeout, this, [this] {
    acceptNotifier_->setEnabled(true);
    AcceptPending();
  });
}

MetricsServer::~MetricsServer() {
  acceptNotifier_.reset();
  if (listener_ >= 0) {
    ::close(listener_);
  }
  // The connections are children of this object and close their sockets.
}

void MetricsServer::Listen(const ListenAddress& where) {
  const auto fail = [&](int error) {
    if (listener_ >= 0) {
      ::close(listener_);
      listener_ = -1;
    }
    throw MetricsError(QStringLiteral("Cannot serve metrics on %1: %2")
                           .arg(where.Text(), QString::fromLocal8Bit(std::strerror(error))));
  };
  sockaddr_storage address{};
  socklen_t length = 0;
  const QByteArray host = where.address.toLatin1();
  if (where.ipv6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&address);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(where.port);
    length = sizeof *a;
    if (inet_pton(AF_INET6, host.constData(), &a->sin6_addr) != 1) {
      fail(EINVAL);
    }
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&address);
    a->sin_family = AF_INET;
    a->sin_port = htons(where.port);
    length = sizeof *a;
    if (inet_pton(AF_INET, host.constData(), &a->sin_addr) != 1) {
      fail(EINVAL);
    }
  }
  listener_ = socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listener_ < 0) {
    fail(errno);
  }
  // A restarted meter gets its port back while old connections linger.
  const int on = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listener_, 128) != 0) {
    fail(errno);
  }
  length = sizeof address;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(where.ipv6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                           : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  acceptNotifier_ = std::make_unique<QSocketNotifier>(listener_, QSocketNotifier::Read);
  connect(acceptNotifier_.get(), &QSocketNotifier::activated, this, [this] { AcceptPending(); });
}

void MetricsServer::AcceptPending() {
  while (true) {
    const int socket = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (socket < 0) {
      if (errno == EINTR || errno == ECONNABORTED) {
        continue;
      }
      if (errno != EAGAIN) {
        // Out of descriptors or memory: the queue waits a moment rather
        // than waking the loop again at once.
        acceptNotifier_->setEnabled(false);
        acceptPause_.start(200);
      }
      return;
    }
    // A connection arriving while the cap is reached is still accepted, so
    // a well-behaved client is never left waiting behind a flood in the
    // kernel's queue: it takes the place of an idler.
    if (static_cast<int>(connections_.size()) >= limits_.maxConnections) {
      // Clients that closed while their end was still queued in the event
      // loop take no place: only connections still open count.
      RemoveFinished();
    }
    if (static_cast<int>(connections_.size()) >= limits_.maxConnections && !MakeRoom()) {
      ++counters_.droppedLimit;
      ::close(socket);
      continue;
    }
    auto* connection = new Connection(*this, socket);
    connections_.push_back(connection);
    connection->Begin();
  }
}

bool MetricsServer::MakeRoom() {
  // The least useful connection goes: one that has been answered and is
  // only draining; then the oldest that never sent a byte (a flood of
  // idle connections); then the oldest still sending its first head (a
  // slow one); then the longest-idle kept-alive one; then a writer whose
  // client has taken nothing for a while. Writers that move are never cut,
  // and a client whose request is already waiting is cut last of those
  // that never completed one.
  const int64_t now = NowMs();
  using Phase = Connection::Phase;
  const auto pick = [&](auto eligible, auto age) -> Connection* {
    Connection* chosen = nullptr;
    for (Connection* c : connections_) {
      if (eligible(c) && (chosen == nullptr || age(c) < age(chosen))) {
        chosen = c;
      }
    }
    return chosen;
  };
  const auto progress = [](Connection* c) { return c->LastProgress(); };
  const auto accepted = [](Connection* c) { return c->Accepted(); };
  const auto firstHead = [](Connection* c) {
    return c->CurrentPhase() == Phase::kReading && !c->Answered();
  };
  Connection* victim =
      pick([](Connection* c) { return c->CurrentPhase() == Phase::kLingering; }, progress);
  if (victim == nullptr) {
    victim = pick([&](Connection* c) { return firstHead(c) && !c->SentAnything(); }, accepted);
  }
  if (victim == nullptr) {
    victim = pick(firstHead, accepted);
  }
  if (victim == nullptr) {
    victim = pick([](Connection* c) { return c->CurrentPhase() == Phase::kReading; }, progress);
  }
  if (victim == nullptr) {
    victim = pick(
        [&](Connection* c) {
          return c->CurrentPhase() == Phase::kWriting &&
                 now - c->LastProgress() >= limits_.stalledWriterMs;
        },
        progress);
  }
  if (victim == nullptr) {
    return false;
  }
  ++counters_.droppedLimit;
  victim->Close();
  Remove(victim);
  return true;
}

void MetricsServer::RemoveFinished() {
  std::vector<Connection*> finished;
  std::copy_if(connections_.begin(), connections_.end(), std::back_inserter(finished),
               [](const Connection* c) { return c->Finished(); });
  for (Connection* c : finished) {
    Remove(c);
  }
}

void MetricsServer::Remove(Connection* connection) {
  const auto it = std::find(connections_.begin(), connections_.end(), connection);
  if (it != connections_.end()) {
    connections_.erase(it);
    connection->Close();
    // Not at once: this may run inside one of the connection's handlers.
    connection->deleteLater();
  }
}

qsizetype MetricsServer::LargestHeld() const {
  qsizetype largest = 0;
  for (const Connection* c : connections_) {
    largest = std::max(largest, c->Held());
  }
  return largest;
}

void MetricsServer::SetSecurity(std::shared_ptr<EndpointSecurity> security) {
  security_ = std::move(security);
  counters_.tls = Secure();
  const bool counted = std::any_of(counters_.responses.begin(), counters_.responses.end(),
                                   [](const auto& r) { return r.first == 401; });
  if (security_ && security_->NeedsPassword() && !counted) {
    const auto after = std::find_if(counters_.responses.begin(), counters_.responses.end(),
                                    [](const auto& r) { return r.first > 401; });
    counters_.responses.emplace(after, 401, 0);
  }
}

void MetricsServer::CountResponse(int status) {
  for (auto& [code, count] : counters_.responses) {
    if (code == status) {
      ++count;
    }
  }
}

void MetricsServer::Respond(const HttpRequest* request, int errorStatus, Reply reply) {
  // A short answer of the endpoint's own, at once.
  const auto plain = [&](int status, const QByteArray& text, const QByteArray& headers = {}) {
    bool close = false;
    QByteArray response =
        Compose(request, status, "text/plain; charset=utf-8", text, headers, close);
    reply(std::move(response), close);
  };
  if (request == nullptr) {
    plain(errorStatus, errorStatus == 505 ? "HTTP version not supported\n" : "Bad request\n");
    return;
  }
  if (security_ && !security_->Admits(request->authorization)) {
    plain(401, "Unauthorized\n", "WWW-Authenticate: Basic realm=\"velmar\"\r\n");
    return;
  }
  const bool known = request->path == "/metrics" || (request->path == "/snmp" && !targets_.empty());
  if (!known) {
    plain(404, targets_.empty() ? "Not found: the metrics are at /metrics\n"
                                : "Not found: the metrics are at /metrics, a device's at "
                                  "/snmp?target=NAME\n");
    return;
  }
  if (request->method != "GET" && request->method != "HEAD") {
    plain(405, "Method not allowed\n", "Allow: GET, HEAD\r\n");
    return;
  }
  if (request->path == "/snmp") {
    RespondTarget(*request, std::move(reply));
    return;
  }
  const Exposition::Format format = Exposition::Negotiate(request->accept);
  // What the answer needs of the request, kept: a source may answer after
  // the connection has moved on.
  auto render = [this, format, copy = *request,
                 reply = std::move(reply)](const InterfaceGathering* interfaces) {
    static const MetricsSnapshot kNothingYet;
    QByteArray body = Exposition::Render(snapshot_ ? *snapshot_ : kNothingYet, counters_, format,
                                         ProcessFigures::OfThisProcess(), interfaces, device_);
    bool close = false;
    QByteArray response =
        Compose(&copy, 200, Exposition::ContentType(format), std::move(body), {}, close);
    reply(std::move(response), close);
  };
  if (interfaces_ == nullptr) {
    render(nullptr);
    return;
  }
  interfaces_->Gather(
      [this, render = std::move(render)](const InterfaceGathering& gathering) {
        InterfaceGathering shown = gathering;
        filter_.Apply(shown);
        render(&shown);
      },
      AnswerWithinMs(*request));
}

void MetricsServer::RespondTarget(const HttpRequest& request, Reply reply) {
  const qsizetype question = request.target.indexOf('?');
  const QUrlQuery query(
      QString::fromUtf8(question < 0 ? QByteArray() : request.target.mid(question + 1)));
  const QString name = query.queryItemValue(QStringLiteral("target"), QUrl::FullyDecoded);
  const auto plain = [&](int status, const QByteArray& text) {
    bool close = false;
    QByteArray response = Compose(&request, status, "text/plain; charset=utf-8", text, {}, close);
    reply(std::move(response), close);
  };
  if (name.isEmpty()) {
    plain(400, "Bad request: name the device, /snmp?target=NAME\n");
    return;
  }
  const auto found = targets_.find(name);
  if (found == targets_.end()) {
    plain(404, "Not found: no device \"" + name.toUtf8() + "\" in the devices file\n");
    return;
  }
  const Exposition::Format format = Exposition::Negotiate(request.accept);
  found->second->Gather(
      [this, name, format, copy = request,
       reply = std::move(reply)](const InterfaceGathering& gathering) {
        InterfaceGathering shown = gathering;
        filter_.Apply(shown);
        bool close = false;
        QByteArray response = Compose(&copy, 200, Exposition::ContentType(format),
                                      Exposition::RenderDevice(name, shown, format), {}, close);
        reply(std::move(response), close);
      },
      AnswerWithinMs(request));
}

QByteArray MetricsServer::Compose(const HttpRequest* request, int status,
                                  const QByteArray& contentType, QByteArray body,
                                  QByteArray extraHeaders, bool& close) {
  const bool head = request != nullptr && request->method == "HEAD";
  if (status == 200) {
    extraHeaders += "Vary: Accept-Encoding\r\n";
    if (Exposition::AcceptsGzip(request->acceptEncoding)) {
      body = Exposition::Gzip(body);
      extraHeaders += "Content-Encoding: gzip\r\n";
    }
  }
  CountResponse(status);
  // A request with a body we did not read, or one we could not read at
  // all, leaves the stream at an unknown place: the connection ends.
  close = request == nullptr || !request->keepAlive || request->hasBody;

  QByteArray response;
  response.reserve(body.size() + 160);
  response += "HTTP/1.1 " + QByteArray::number(status) + ' ' + ReasonPhrase(status) + "\r\n";
  response += "Content-Type: " + contentType + "\r\n";
  response += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
  response += extraHeaders;
  if (security_) {
    response += security_->ResponseHeaders();
  }
  response += close ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
  response += "\r\n";
  if (!head) {
    response += body;
  }
  return response;
}

}  // namespace velmar
