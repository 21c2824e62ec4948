#include "net/http_client.h"

#include "net/socket_error.h"
#include "platform/message_queue.h"

namespace velmar {

namespace {

const QLatin1String kScheme("HTTP://");

bool HasScheme(const QString& text) {
  return text.left(kScheme.size()).toUpper() == kScheme;
}

// Bytes that may not stand in a request line as they are (controls, the
// blank, anything beyond ASCII) are sent %-escaped, so a URL typed with a
// blank or a line break cannot split or add request lines.
QByteArray EscapeRequestUri(const QString& uri) {
  QByteArray out;
  for (const char c : uri.toUtf8()) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) {
      out += '%';
      out += QByteArray::number(byte, 16).rightJustified(2, '0').toUpper();
    } else {
      out += c;
    }
  }
  return out;
}

// A header value without control characters: none can end the line early.
QByteArray HeaderValue(const QString& value) {
  QByteArray out = value.toUtf8();
  out.removeIf([](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
  return out;
}

QByteArray BasicCredentials(const QString& user, const QString& password) {
  return QByteArray("Basic ") + (user + u':' + password).toUtf8().toBase64();
}

}  // namespace

HttpClient::HttpClient(QObject* owner) : ClientSocket(owner) {
  SetPort(80);
  SetDefaultPort(80);
  body_.open(QIODevice::ReadWrite);
}

int64_t HttpClient::BodySize() const {
  return bodyMode_ == BodyMode::kKeep ? body_.size() : counted_.size();
}

void HttpClient::SetURL(const QString& url) {
  url_ = url;
  QString rest = HasScheme(url) ? url.mid(kScheme.size()) : url;
  const qsizetype slash = rest.indexOf(u'/');
  if (slash >= 0) {
    SetHost(rest.left(slash));
    requestPath_ = rest.mid(slash);
  } else {
    SetHost(rest);
    requestPath_ = QStringLiteral("/");
  }
}

QString HttpClient::RequestUri() const {
  if (Proxy().isEmpty()) {
    return requestPath_;
  }
  // A proxy needs the absolute form; a URL typed without its scheme gets
  // one, else the proxy could not tell what to fetch.
  QString uri = HasScheme(url_) ? url_ : QStringLiteral("http://") + url_;
  if (uri.indexOf(u'/', kScheme.size()) < 0) {
    uri += u'/';
  }
  return uri;
}

QByteArray HttpClient::BuildRequest(const QString& method) const {
  static const QByteArray kLineEnd("\r\n");
  QByteArray request;
  request += method.toLatin1() + ' ' + EscapeRequestUri(RequestUri()) + " HTTP/1.1" + kLineEnd;
  request += "Host: " + HeaderValue(HostWithoutZone(Host())) + kLineEnd;
  request += "Accept: */*" + kLineEnd;
  if (Authorization) {
    request += "Authorization: " + BasicCredentials(UserName, Password) + kLineEnd;
  }
  if (ProxyAuthorization) {
    request += "Proxy-Authorization: " + BasicCredentials(ProxyUserName, ProxyPassword) + kLineEnd;
  }
  if (!UserAgent.isEmpty()) {
    request += "User-Agent: " + HeaderValue(UserAgent) + kLineEnd;
  }
  request += "Connection: close" + kLineEnd;
  request += kLineEnd;
  return request;
}

void HttpClient::SendRequest(const QString& method) {
  QByteArray request = BuildRequest(method);
  QBuffer stream(&request);
  stream.open(QIODevice::ReadOnly);
  SendStream(stream, 0);
}

int HttpClient::StatusCode(const QString& statusLine) {
  const qsizetype blank = statusLine.indexOf(u' ');
  if (blank < 0) {
    return -1;
  }
  QString word = statusLine.mid(blank + 1).trimmed();
  const qsizetype next = word.indexOf(u' ');
  if (next >= 0) {
    word = word.left(next).trimmed();
  }
  bool ok = false;
  const int code = word.toInt(&ok);
  return ok ? code : -1;
}

int HttpClient::ReadHeaders() {
  headers_.clear();
  // The whole head shares one allowance: a peer that sends header lines
  // without end is refused instead of filling the memory.
  int64_t budget = kHeadLimit;
  QString line;
  do {
    MessageQueue::RunNow();
    bool ended = false;
    line = ReadLineWithin(&budget, &ended);
    headers_ << line;
    // A head cut off by the peer's close is no response to read a body of.
    if (!ended) {
      throw SocketError(kStreamError);
    }
  } while (!line.isEmpty());
  return headers_.isEmpty() ? -1 : StatusCode(headers_.first());
}

void HttpClient::ClearBody() {
  body_.close();
  body_.setData(QByteArray());
  body_.open(QIODevice::ReadWrite);
  counted_.Clear();
}

void HttpClient::ReadBody() {
  ClearBody();
  QIODevice& target = bodyMode_ == BodyMode::kKeep ? static_cast<QIODevice&>(body_) : counted_;
  if (headers_.GetFieldValue(QStringLiteral("Transfer-Encoding")).toLower() ==
      QLatin1String("chunked")) {
    ReceiveChunked(target);
  } else {
    bool ok = false;
    int64_t length = headers_.GetFieldValue(QStringLiteral("Content-Length")).toLongLong(&ok);
    if (!ok) {
      length = -1;
    }
    ReceiveStream(target, length, 0);
  }
  body_.seek(0);
}

int HttpClient::Get() {
  ResetState();
  Connect();
  int code = -1;
  try {
    emit sendingRequest(*this);
    SendRequest(QStringLiteral("GET"));
    emit requestSent(*this);
    code = ReadHeaders();
    ReadBody();
  } catch (...) {
    Disconnect();
    throw;
  }
  Disconnect();
  return code;
}

}  // namespace velmar
