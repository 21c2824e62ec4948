#include "metrics/http_request_parser.h"

#include <QList>
#include <algorithm>
#include <cctype>

namespace velmar {

namespace {

// RFC 9110 token characters (method and field names).
bool IsTokenChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
    return true;
  }
  return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool IsToken(QByteArrayView text) {
  return !text.isEmpty() && std::all_of(text.begin(), text.end(), IsTokenChar);
}

// Visible ASCII only: what a request target may hold.
bool IsTargetChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u > 0x20 && u < 0x7f;
}

// Field values may carry tabs and bytes above 0x7f, but no other controls.
bool IsFieldValueChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return c == '\t' || (u >= 0x20 && u != 0x7f);
}

QByteArrayView TrimmedWhitespace(QByteArrayView text) {
  while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t')) {
    text = text.sliced(1);
  }
  while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t')) {
    text.chop(1);
  }
  return text;
}

bool EqualsIgnoringCase(QByteArrayView a, const char* b) {
  return a.compare(QByteArrayView(b), Qt::CaseInsensitive) == 0;
}

// The path of a request target: origin form "/path?query", or absolute
// form "http://host/path", without query or fragment.
QByteArray PathOf(QByteArrayView target) {
  QByteArrayView path = target;
  for (const QByteArrayView scheme : {QByteArrayView("http://"), QByteArrayView("https://")}) {
    if (path.size() >= scheme.size() &&
        path.first(scheme.size()).compare(scheme, Qt::CaseInsensitive) == 0) {
      path = path.sliced(scheme.size());
      const qsizetype slash = path.indexOf('/');
      path = slash < 0 ? QByteArrayView("/") : path.sliced(slash);
      break;
    }
  }
  for (const char end : {'?', '#'}) {
    const qsizetype at = path.indexOf(end);
    if (at >= 0) {
      path = path.first(at);
    }
  }
  return path.toByteArray();
}

// Fills the method, target, path and version from a request line; returns
// 0, or the status that refuses it.
int ReadRequestLine(QByteArrayView line, HttpRequest& request) {
  const qsizetype firstSpace = line.indexOf(' ');
  const qsizetype lastSpace = line.lastIndexOf(' ');
  if (firstSpace <= 0 || lastSpace == firstSpace) {
    return 400;
  }
  request.method = line.first(firstSpace).toByteArray();
  const QByteArrayView target = line.sliced(firstSpace + 1, lastSpace - firstSpace - 1);
  const QByteArrayView version = line.sliced(lastSpace + 1);
  if (!IsToken(request.method) || target.isEmpty() ||
      !std::all_of(target.begin(), target.end(), IsTargetChar)) {
    return 400;
  }
  if (version.size() != 8 || !version.startsWith("HTTP/") || version[6] != '.' ||
      !std::isdigit(static_cast<unsigned char>(version[5])) ||
      !std::isdigit(static_cast<unsigned char>(version[7]))) {
    return 400;
  }
  if (version[5] != '1') {
    return 505;
  }
  request.minorVersion = version[7] - '0';
  request.target = target.toByteArray();
  request.path = PathOf(target);
  return 0;
}

// What the header fields say, as far as they are checked across lines.
struct FieldSummary {
  int hosts = 0;
  bool close = false;
  bool keepAliveAsked = false;
  qint64 contentLength = -1;
};

// Reads one header field into the request and the summary; returns 0, or
// the status that refuses it.
int ReadField(QByteArrayView line, HttpRequest& request, FieldSummary& fields) {
  if (line.front() == ' ' || line.front() == '\t') {
    return 400;  // obsolete line folding
  }
  const qsizetype colon = line.indexOf(':');
  if (colon <= 0 || !IsToken(line.first(colon))) {
    return 400;
  }
  const QByteArrayView name = line.first(colon);
  const QByteArrayView value = TrimmedWhitespace(line.sliced(colon + 1));
  if (!std::all_of(value.begin(), value.end(), IsFieldValueChar)) {
    return 400;
  }
  if (EqualsIgnoringCase(name, "host")) {
    ++fields.hosts;
  } else if (EqualsIgnoringCase(name, "connection")) {
    for (const QByteArray& option : value.toByteArray().split(',')) {
      const QByteArrayView token = TrimmedWhitespace(option);
      fields.close = fields.close || EqualsIgnoringCase(token, "close");
      fields.keepAliveAsked = fields.keepAliveAsked || EqualsIgnoringCase(token, "keep-alive");
    }
  } else if (EqualsIgnoringCase(name, "content-length")) {
    if (value.isEmpty() || value.size() > 18 ||
        !std::all_of(value.begin(), value.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
      return 400;
    }
    const qint64 length = value.toLongLong();
    if (fields.contentLength >= 0 && fields.contentLength != length) {
      return 400;
    }
    fields.contentLength = length;
  } else if (EqualsIgnoringCase(name, "transfer-encoding")) {
    request.hasBody = true;
  } else if (EqualsIgnoringCase(name, "accept")) {
    if (!request.accept.isEmpty()) {
      request.accept += ',';
    }
    request.accept += value.toByteArray();
  } else if (EqualsIgnoringCase(name, "accept-encoding")) {
    if (!request.acceptEncoding.isEmpty()) {
      request.acceptEncoding += ',';
    }
    request.acceptEncoding += value.toByteArray();
  } else if (EqualsIgnoringCase(name, "authorization")) {
    // Two credentials leave it open which one a check would see.
    if (!request.authorization.isEmpty()) {
      return 400;
    }
    request.authorization = value.toByteArray();
  } else if (EqualsIgnoringCase(name, "x-prometheus-scrape-timeout-seconds")) {
    bool ok = false;
    const double seconds = value.toByteArray().toDouble(&ok);
    request.scrapeTimeoutSeconds = ok && seconds > 0 && seconds < 86400 ? seconds : 0;
  }
  return 0;
}

}  // namespace

qsizetype HttpRequestParser::Room() const {
  if (state_ == State::kError) {
    return 0;
  }
  return std::max<qsizetype>(0, limit_ - (buffer_.size() - headEnd_));
}

HttpRequestParser::State HttpRequestParser::Feed(QByteArrayView bytes) {
  if (state_ == State::kError) {
    return state_;
  }
  buffer_.append(bytes.data(), bytes.size());
  if (state_ == State::kComplete) {
    return state_;  // the rest waits for Next()
  }
  return Scan();
}

HttpRequestParser::State HttpRequestParser::Next() {
  if (state_ != State::kComplete) {
    return state_;
  }
  buffer_.remove(0, headEnd_);
  headEnd_ = 0;
  scanned_ = 0;
  request_ = HttpRequest();
  state_ = State::kNeedMore;
  return Scan();
}

HttpRequestParser::State HttpRequestParser::Scan() {
  if (scanned_ == 0) {
    // Empty lines before a request line are ignored (a client may send a
    // stray CRLF after a previous request).
    qsizetype skip = 0;
    while (skip < buffer_.size() &&
           (buffer_[skip] == '\n' ||
            (buffer_[skip] == '\r' && skip + 1 < buffer_.size() && buffer_[skip + 1] == '\n'))) {
      skip += buffer_[skip] == '\r' ? 2 : 1;
    }
    buffer_.remove(0, skip);
    if (buffer_ == "\r") {
      return state_ = State::kNeedMore;  // its line feed may come next
    }
  }
  const char* data = buffer_.constData();
  for (qsizetype i = scanned_; i < buffer_.size(); ++i) {
    if (data[i] != '\n' || i == 0) {
      continue;
    }
    // A line ending right after another line's end: the blank line.
    if (data[i - 1] == '\n' || (i >= 2 && data[i - 1] == '\r' && data[i - 2] == '\n')) {
      if (i + 1 > limit_) {
        return Fail(400);
      }
      headEnd_ = i + 1;
      scanned_ = headEnd_;
      return Parse(QByteArrayView(buffer_).first(headEnd_));
    }
  }
  scanned_ = buffer_.size();
  if (buffer_.size() >= limit_) {
    return Fail(400);
  }
  return state_ = State::kNeedMore;
}

HttpRequestParser::State HttpRequestParser::Fail(int status) {
  errorStatus_ = status;
  return state_ = State::kError;
}

HttpRequestParser::State HttpRequestParser::Parse(QByteArrayView head) {
  HttpRequest request;
  FieldSummary fields;
  bool firstLine = true;
  while (!head.isEmpty()) {
    const qsizetype end = head.indexOf('\n');
    QByteArrayView line = head.first(end);
    head = head.sliced(end + 1);
    if (line.endsWith('\r')) {
      line.chop(1);
    }
    if (line.contains('\r')) {
      return Fail(400);  // a bare CR inside a line
    }
    if (line.isEmpty()) {
      break;  // the blank line that ends the head
    }
    const int refusal =
        firstLine ? ReadRequestLine(line, request) : ReadField(line, request, fields);
    if (refusal != 0) {
      return Fail(refusal);
    }
    firstLine = false;
  }

  if (firstLine || fields.hosts > 1 || (request.minorVersion >= 1 && fields.hosts == 0)) {
    return Fail(400);
  }
  request.hasBody = request.hasBody || fields.contentLength > 0;
  request.keepAlive = !fields.close && (request.minorVersion >= 1 || fields.keepAliveAsked);
  request_ = std::move(request);
  return state_ = State::kComplete;
}

}  // namespace velmar
