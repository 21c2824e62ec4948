#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

#include "net/endpoint.h"
#include "net/stream_socket.h"

namespace velmar {

// A socket that connects to a host, directly or through a proxy, over IPv4
// or IPv6: a name is resolved for both families and its addresses tried the
// Happy Eyeballs way (RFC 8305), IPv6 first unless the name's last
// connection was won by IPv4 (FamilyMemory); an IPv6 literal is written in
// brackets ("[2001:db8::1]:8080", RFC 3986) or, without a port, bare.
class ClientSocket : public StreamSocket {
  Q_OBJECT

 public:
  static constexpr int kMaxTextLength = 255;

  explicit ClientSocket(QObject* owner = nullptr);

  QString Host() const { return host_; }
  // Without a proxy a ":port" suffix goes into Port (DefaultPort when it is
  // not a port number), an IPv6 literal keeping its brackets in Host; with
  // a proxy the text is kept whole.
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
  // set; returns when connected, or raises, naming the addresses that
  // failed. A failure leaves the socket open (the next Disconnect, Cancel
  // or Connect closes it).
  virtual void Connect();

  // The address the last Connect reached; empty before one did.
  QString PeerAddress() const { return peer_.length > 0 ? peer_.Text() : QString(); }
  // How many addresses the last Connect tried, the one that answered too.
  size_t AttemptsStarted() const { return attemptsStarted_; }

 signals:
  void connecting(velmar::StreamSocket& sender);

 private:
  // The addresses of `name` with `port`: a numeric address as it stands,
  // else a name lookup that keeps the event loop running.
  std::vector<Endpoint> Resolve(const QString& name, uint16_t port);
  // Connects to one of `addresses`: in turn when blocking, else racing
  // them. Returns the connected socket.
  int ConnectInTurn(const std::vector<Endpoint>& addresses);
  int Race(const std::vector<Endpoint>& addresses);

  QString host_;
  uint16_t port_ = 0;
  QString proxy_;
  uint16_t proxyPort_ = 0;
  uint16_t defaultPort_ = 0;
  Endpoint peer_;
  size_t attemptsStarted_ = 0;
};

}  // namespace velmar
