#pragma once

#include <QString>
#include <cstdint>

#include "net/stream_socket.h"

namespace velmar {

// A socket that connects to a host, directly or through a proxy.
class ClientSocket : public StreamSocket {
 public:
  static constexpr int kMaxTextLength = 255;

  explicit ClientSocket(QObject* owner = nullptr);

  QString Host() const { return host_; }
  // Without a proxy a ":port" suffix goes into Port (DefaultPort when it is
  // not a port number); with a proxy the text is kept whole.
  void SetHost(const QString& text);
  uint16_t Port() const { return port_; }
  void SetPort(uint16_t port) { port_ = port; }
  QString Proxy() const { return proxy_; }
  // "host:port" is split; an empty proxy (no proxy) splits the port off the
  // host again.
  void SetProxy(const QString& text);
  uint16_t ProxyPort() const { return proxyPort_; }
  void SetProxyPort(uint16_t port) { proxyPort_ = port; }
  uint16_t DefaultPort() const { return defaultPort_; }
  void SetDefaultPort(uint16_t port) { defaultPort_ = port; }

  virtual bool IsClient() const { return true; }

  // Opens the connection to Host:Port, or Proxy:ProxyPort when a proxy is
  // set; returns when connected, or raises. A failure leaves the socket
  // open (the next Disconnect, Cancel or Connect closes it).
  virtual void Connect();

  SocketEvent OnConnecting;

 private:
  // The IPv4 address of `name`: a dotted address as it stands, else a
  // name lookup that keeps the event loop running.
  uint32_t Resolve(const QString& name);

  QString host_;
  uint16_t port_ = 0;
  QString proxy_;
  uint16_t proxyPort_ = 0;
  uint16_t defaultPort_ = 0;
};

}  // namespace velmar
