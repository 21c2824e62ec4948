#include "net/client_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QSocketNotifier>
#include <cerrno>

#include "net/host_lookup.h"
#include "net/socket_error.h"

namespace velmar {

namespace {

// The number after the colon of a "host:port" text, or -1 when it is not
// a port number.
int PortNumber(const QString& text) {
  bool ok = false;
  const uint value = text.trimmed().toUInt(&ok);
  return ok && value <= 65535 ? static_cast<int>(value) : -1;
}

}  // namespace

ClientSocket::ClientSocket(QObject* owner) : StreamSocket(owner) {}

void ClientSocket::SetHost(const QString& value) {
  const QString text = value.left(kMaxTextLength);
  const qsizetype colon = text.indexOf(u':');
  if (colon >= 0 && proxy_.isEmpty()) {
    host_ = text.left(colon);
    const int port = PortNumber(text.mid(colon + 1));
    port_ = port >= 0 ? static_cast<uint16_t>(port) : defaultPort_;
    return;
  }
  host_ = text;
  if (defaultPort_ > 0) {
    port_ = defaultPort_;
  }
}

void ClientSocket::SetProxy(const QString& value) {
  const QString text = value.left(kMaxTextLength);
  const qsizetype colon = text.indexOf(u':');
  if (colon >= 0) {
    proxy_ = text.left(colon);
    const int port = PortNumber(text.mid(colon + 1));
    proxyPort_ = port >= 0 ? static_cast<uint16_t>(port) : 0;
    return;
  }
  proxy_ = text;
  proxyPort_ = 0;
  if (proxy_.isEmpty()) {
    SetHost(host_);  // a port kept in the host for the proxy is split off again
  }
}

uint32_t ClientSocket::Resolve(const QString& name) {
  in_addr dotted{};
  if (::inet_aton(name.toLatin1().constData(), &dotted) != 0) {
    return dotted.s_addr;
  }
  uint32_t address = 0;
  if (Blocking()) {
    const uint16_t error = HostLookup::ResolveNow(name, address);
    if (error != 0) {
      throw WinsockError(error);
    }
    return address;
  }
  HostLookup lookup(name);
  QSocketNotifier answered(lookup.Descriptor(), QSocketNotifier::Read);
  // One wake-up is all it is for; the descriptor stays readable.
  connect(&answered, &QSocketNotifier::activated, &answered,
          [&answered] { answered.setEnabled(false); });
  WaitUntil([&lookup] { return lookup.Done(); });
  CheckTimeOutAndCancel();
  if (lookup.Error() != 0) {
    throw WinsockError(lookup.Error());
  }
  return lookup.Address();
}

void ClientSocket::Connect() {
  // The socket of an earlier failed Connect is closed, not leaked.
  Disconnect();
  ResetState();
  if (OnConnecting) {
    OnConnecting(*this);
  }
  const int type = SocketType() | SOCK_CLOEXEC | (Blocking() ? 0 : SOCK_NONBLOCK);
  const int handle = ::socket(AF_INET, type, Protocol());
  if (handle == -1) {
    RaiseErrno(errno);
  }
  SetSocket(handle);
  if (Blocking()) {
    FreeTimeCounter();
  } else {
    CreateTimeCounter();
  }

  const bool viaProxy = !proxy_.isEmpty();
  sockaddr_in destination{};
  destination.sin_family = AF_INET;
  destination.sin_port = htons(viaProxy ? proxyPort_ : port_);
  destination.sin_addr.s_addr = Resolve(viaProxy ? proxy_ : host_);

  // Notifications start only now: an unconnected socket reads as writable,
  // which must not pass for the connect notification.
  if (!Blocking()) {
    SelectNotifications();
  }
  int result = 0;
  do {
    result =
        ::connect(Socket(), reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
  } while (result == -1 && errno == EINTR && Blocking());
  SetLastResult(result);
  if (result == -1) {
    const int error = errno;
    if (Blocking() || (error != EINPROGRESS && error != EAGAIN)) {
      RaiseErrno(error);
    }
  }

  if (Blocking()) {
    SetConnected(true);
  } else if (SocketType() == SOCK_STREAM) {
    WaitUntil([this] { return Connected() || AsyncError() != 0; });
    if (AsyncError() != 0) {
      throw WinsockError(AsyncError());
    }
    CheckTimeOutAndCancel();
  }
  if (OnConnected) {
    OnConnected(*this);
  }
}

}  // namespace velmar
