#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>
#include <vector>

#include "metrics/http_request_parser.h"
#include "metrics/listen_address.h"
#include "metrics/metrics_snapshot.h"
#include "platform/exception.h"

namespace velmar {

class MetricsError : public Exception {
 public:
  using Exception::Exception;
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
  // The whole response to a parsed request, or to a parse error (status).
  QByteArray Respond(const HttpRequest* request, int errorStatus, bool& close);

  Limits limits_;
  int listener_ = -1;
  quint16 port_ = 0;
  std::unique_ptr<QSocketNotifier> acceptNotifier_;
  // Out of descriptors: accepting pauses a moment instead of spinning.
  QTimer acceptPause_;
  std::vector<Connection*> connections_;
  std::shared_ptr<const MetricsSnapshot> snapshot_;
  ServerCounters counters_;
};

}  // namespace velmar
