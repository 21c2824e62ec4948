#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <cstdint>

#include "net/client_socket.h"
#include "net/counting_stream.h"
#include "net/http_headers.h"

namespace velmar {

// An HTTP/1.1 GET client on the client socket, direct or through a proxy,
// synchronous for its caller while the event loop keeps running.
class HttpClient : public ClientSocket {
  Q_OBJECT

 public:
  // Where the body of a response goes: into Body, or counted and dropped
  // (BodySize still tells how much arrived).
  enum class BodyMode { kKeep, kCountAndDrop };

  explicit HttpClient(QObject* owner = nullptr);

  // One whole exchange: connect, send the request, read the head and the
  // body, disconnect. Returns the status code (-1 when the status line has
  // none); raises the socket layer's errors.
  int Get();

  QString URL() const { return url_; }
  // Drops a leading "http://" (any letter case), then: the text up to the
  // first "/" is the host (with a port, as SetHost takes it), the rest the
  // request path ("/" when there is none).
  void SetURL(const QString& url);
  QString RequestPath() const { return requestPath_; }

  // The body of the last response, at position 0 (empty in count-and-drop
  // mode).
  QBuffer& Body() { return body_; }
  int64_t BodySize() const;
  BodyMode GetBodyMode() const { return bodyMode_; }
  void SetBodyMode(BodyMode mode) { bodyMode_ = mode; }

  const HttpHeaders& Headers() const { return headers_; }

  // The steps of Get.
  void SendRequest(const QString& method);
  int ReadHeaders();
  void ReadBody();
  // The bytes of the request SendRequest sends.
  QByteArray BuildRequest(const QString& method) const;
  // The second blank-separated word of a status line as a number, or -1.
  static int StatusCode(const QString& statusLine);

  QString UserAgent;
  bool Authorization = false;
  bool ProxyAuthorization = false;
  QString UserName;
  QString Password;
  QString ProxyUserName;
  QString ProxyPassword;

 signals:
  void sendingRequest(velmar::StreamSocket& sender);
  void requestSent(velmar::StreamSocket& sender);

 private:
  QString RequestUri() const;
  void ClearBody();

  QBuffer body_;
  CountingStream counted_;
  BodyMode bodyMode_ = BodyMode::kKeep;
  QString url_;
  HttpHeaders headers_;
  QString requestPath_ = QStringLiteral("/");
};

}  // namespace velmar
