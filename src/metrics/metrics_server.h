#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "metrics/http_request_parser.h"
#include "metrics/interface_figures.h"
#include "metrics/interface_filter.h"
#include "metrics/listen_address.h"
#include "metrics/metrics_snapshot.h"
#include "platform/exception.h"

namespace velmar {

class MetricsError : public Exception {
 public:
  using Exception::Exception;
};

// Where the interfaces' own figures come from at a scrape: the kernel at
// once, a device on the network when it has answered.
class InterfaceSource {
 public:
  using Done = std::function<void(const InterfaceGathering&)>;
  virtual ~InterfaceSource() = default;
  // Calls `done` exactly once, at once or later on the calling thread's
  // event loop, and never after `timeoutMs` (when above 0) or a time-out
  // of the source's own, whichever is shorter.
  virtual void Gather(Done done, int timeoutMs) = 0;
};

// One connection's TLS session, driven by the connection's own
// non-blocking socket: each step does what the socket allows and says what
// it waits for.
class TlsSession {
 public:
  enum class Io { kDone, kWantRead, kWantWrite, kClosed, kFailed };
  virtual ~TlsSession() = default;
  virtual Io Handshake() = 0;
  // kDone with `moved` bytes, else why none moved.
  virtual Io Read(char* data, size_t size, size_t& moved) = 0;
  virtual Io Write(const char* data, size_t size, size_t& moved) = 0;
  // Sends the end-of-session alert, without waiting for the client's.
  virtual void Shutdown() = 0;
};

// What a web configuration adds to the endpoint: TLS on each connection,
// a password on each request, headers on each response. Kept behind this
// seam so that the plain endpoint maps no TLS or YAML library.
class EndpointSecurity {
 public:
  virtual ~EndpointSecurity() = default;
  virtual bool Tls() const = 0;
  // A TLS session on an accepted socket, with the certificate and key
  // as they are on disk now; null when none can be had.
  virtual std::unique_ptr<TlsSession> Open(int socket) = 0;
  virtual bool NeedsPassword() const = 0;
  // Whether the request's Authorization field lets it in.
  virtual bool Admits(const QByteArray& authorization) = 0;
  // Lines ("Name: value\r\n") every response carries.
  virtual QByteArray ResponseHeaders() const = 0;
};

// The metrics endpoint: a small HTTP/1.1 server on the event loop's
// thread that answers GET and HEAD of /metrics from the snapshot the last
// tick published. It sits on plain non-blocking sockets watched by
// QSocketNotifier (Qt Network would add 2.6 MB to a process that is meant
// to stay small). Nothing here blocks: bytes are read as they arrive and
// written as the peer takes them, so a scrape never holds up a tick, and a
// tick (which only swaps the snapshot) never holds up a scrape.
//
// Defences: the request head is limited in size (400 beyond it); a head
// must arrive whole within a time-out, an idle kept-alive connection is
// closed after another, a response that moves no byte for a while is
// dropped; a connection answered with an error is closed once the answer
// has gone out. Connections are capped: a newcomer takes the place of the
// least useful open one (one that never sent a byte first), so a flood of
// idle connections cannot lock well-behaved scrapers out. Memory per
// connection is bounded by the head limit and one response; while a
// response is being written nothing more is read.
class MetricsServer : public QObject {
 public:
  struct Limits {
    int maxConnections = 64;
    qsizetype maxHeadBytes = HttpRequestParser::kDefaultHeadLimit;
    int requestTimeoutMs = 10000;    // a whole request head, from the connection's start
    int keepAliveTimeoutMs = 30000;  // an open connection between requests
    int writeTimeoutMs = 10000;      // a response that moves no byte
    int lingerMs = 2000;             // reading what a closed request still sends
    int stalledWriterMs = 1000;      // a writer this still may make room for a newcomer
  };

  explicit MetricsServer(Limits limits, QObject* parent = nullptr);
  explicit MetricsServer(QObject* parent = nullptr) : MetricsServer(Limits(), parent) {}
  ~MetricsServer() override;

  // Raises MetricsError when the address cannot be had. Port 0 takes any
  // free port; Port() then tells which.
  void Listen(const ListenAddress& where);
  quint16 Port() const { return port_; }

  // What the next responses show.
  void SetSnapshot(std::shared_ptr<const MetricsSnapshot> snapshot) {
    snapshot_ = std::move(snapshot);
  }
  // Where /metrics takes the interfaces' own figures (none: they are left
  // out); a `device` names the device they are read from. Not owned.
  void SetInterfaceSource(InterfaceSource* source, const QString& device = {}) {
    interfaces_ = source;
    device_ = device;
  }
  // Which interfaces every page shows.
  void SetInterfaceFilter(InterfaceFilter filter) { filter_ = std::move(filter); }
  // The devices /snmp?target=NAME serves, by name. Not owned.
  void SetTargets(std::map<QString, InterfaceSource*> targets) { targets_ = std::move(targets); }
  // TLS, basic auth and headers from a web configuration; null: none.
  void SetSecurity(std::shared_ptr<EndpointSecurity> security);
  bool Secure() const { return security_ && security_->Tls(); }
  const ServerCounters& Counters() const { return counters_; }
  int OpenConnections() const { return static_cast<int>(connections_.size()); }
  // The most any one connection holds now: request bytes read but not yet
  // answered, and the response not yet sent.
  qsizetype LargestHeld() const;

 private:
  class Connection;
  friend class Connection;

  void AcceptPending();
  bool MakeRoom();
  void RemoveFinished();
  void Remove(Connection* connection);
  void CountResponse(int status);
  // The whole response to a parsed request, or to a parse error (status),
  // handed to `reply` at once or, where a source must be asked, when it
  // has answered.
  using Reply = std::function<void(QByteArray response, bool close)>;
  void Respond(const HttpRequest* request, int errorStatus, Reply reply);
  // /snmp?target=NAME: the device's own page, or why there is none.
  void RespondTarget(const HttpRequest& request, Reply reply);
  QByteArray Compose(const HttpRequest* request, int status, const QByteArray& contentType,
                     QByteArray body, QByteArray extraHeaders, bool& close);

  Limits limits_;
  int listener_ = -1;
  quint16 port_ = 0;
  std::unique_ptr<QSocketNotifier> acceptNotifier_;
  // Out of descriptors: accepting pauses a moment instead of spinning.
  QTimer acceptPause_;
  std::vector<Connection*> connections_;
  std::shared_ptr<const MetricsSnapshot> snapshot_;
  InterfaceSource* interfaces_ = nullptr;
  QString device_;
  std::map<QString, InterfaceSource*> targets_;
  InterfaceFilter filter_;
  ServerCounters counters_;
  std::shared_ptr<EndpointSecurity> security_;
};

}  // namespace velmar
