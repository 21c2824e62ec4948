#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace velmar {

// The head of one HTTP/1.x request, as far as the metrics endpoint cares.
struct HttpRequest {
  QByteArray method;
  QByteArray target;  // as sent
  QByteArray path;    // the target without query or fragment
  int minorVersion = 1;
  // The client wants the connection kept open after the response.
  bool keepAlive = true;
  // The request announced a body (Content-Length > 0 or Transfer-Encoding):
  // the endpoint reads none, so it closes the connection after answering.
  bool hasBody = false;
  QByteArray accept;
  QByteArray acceptEncoding;
  QByteArray authorization;
  // What Prometheus says it waits for the answer (its scrape time-out);
  // 0 when it does not say.
  double scrapeTimeoutSeconds = 0;
};

// Reads request heads from the bytes of one connection: request line and
// header fields up to the empty line, within a size limit. Bytes after a
// complete head stay buffered for the next request (pipelining). The
// parser keeps its place between feeds, so a head trickling in a byte at a
// time costs linear work, not quadratic.
class HttpRequestParser {
 public:
  enum class State { kNeedMore, kComplete, kError };

  static constexpr qsizetype kDefaultHeadLimit = 8192;

  explicit HttpRequestParser(qsizetype headLimit = kDefaultHeadLimit) : limit_(headLimit) {}

  // Appends received bytes and looks for a complete head.
  State Feed(QByteArrayView bytes);
  State Current() const { return state_; }
  // How many more bytes the buffer takes before the head is too large.
  qsizetype Room() const;
  // The bytes held: the head being read and whatever followed it.
  qsizetype Buffered() const { return buffer_.size(); }

  // Valid in kComplete.
  const HttpRequest& Request() const { return request_; }
  // Valid in kError: 400 for a malformed or oversized head, 505 for an
  // HTTP version other than 1.x.
  int ErrorStatus() const { return errorStatus_; }

  // Drops the finished head and looks at whatever followed it.
  State Next();

 private:
  State Scan();
  State Parse(QByteArrayView head);
  State Fail(int status);

  qsizetype limit_;
  QByteArray buffer_;
  qsizetype scanned_ = 0;  // bytes already searched for the end of the head
  qsizetype headEnd_ = 0;  // length of the complete head including its blank line
  State state_ = State::kNeedMore;
  HttpRequest request_;
  int errorStatus_ = 0;
};

}  // namespace velmar
