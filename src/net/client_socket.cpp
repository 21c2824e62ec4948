#include "net/client_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QStringList>
#include <algorithm>
#include <cerrno>

#include "net/connect_race.h"
#include "net/family_memory.h"
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

// What the attempts at several addresses came to: each error with the
// addresses that met it, the last one's first (it decides the code).
NetworkError ConnectFailure(const std::vector<ConnectRace::Failure>& failures) {
  std::vector<std::pair<uint16_t, QStringList>> byCode;
  for (auto it = failures.rbegin(); it != failures.rend(); ++it) {
    auto group = std::find_if(byCode.begin(), byCode.end(),
                              [&](const auto& g) { return g.first == it->code; });
    if (group == byCode.end()) {
      group = byCode.insert(byCode.end(), {it->code, QStringList()});
    }
    group->second.prepend(it->endpoint.Text());
  }
  QString text = byCode.front().second.join(QStringLiteral(", "));
  for (size_t i = 1; i < byCode.size(); ++i) {
    text +=
        QStringLiteral("); %1 (%2")
            .arg(NetworkErrorText(byCode[i].first), byCode[i].second.join(QStringLiteral(", ")));
  }
  return NetworkError(byCode.front().first, text);
}

QString Addresses(const std::vector<Endpoint>& endpoints) {
  QStringList texts;
  for (const Endpoint& e : endpoints) {
    texts << e.Text();
  }
  return texts.join(QStringLiteral(", "));
}

}  // namespace

ClientSocket::ClientSocket(QObject* owner) : StreamSocket(owner) {}

void ClientSocket::SetHost(const QString& value) {
  const QString text = value.left(kMaxTextLength);
  QString host;
  QString port;
  if (proxy_.isEmpty() && SplitHostPort(text, host, port)) {
    host_ = host;
    const int number = PortNumber(port);
    port_ = number >= 0 ? static_cast<uint16_t>(number) : defaultPort_;
    return;
  }
  host_ = proxy_.isEmpty() ? host : text;
  if (defaultPort_ > 0) {
    port_ = defaultPort_;
  }
}

void ClientSocket::SetProxy(const QString& value) {
  const QString text = value.left(kMaxTextLength);
  QString host;
  QString port;
  if (SplitHostPort(text, host, port)) {
    proxy_ = host;
    const int number = PortNumber(port);
    proxyPort_ = number >= 0 ? static_cast<uint16_t>(number) : 0;
    return;
  }
  proxy_ = host;
  proxyPort_ = 0;
  if (proxy_.isEmpty()) {
    SetHost(host_);  // a port kept in the host for the proxy is split off again
  }
}

std::vector<Endpoint> ClientSocket::Resolve(const QString& name, uint16_t port) {
  if (const auto literal = Endpoint::FromLiteral(name, port)) {
    return {*literal};
  }
  const QString plain = HostWithoutBrackets(name);
  std::vector<Endpoint> addresses;
  if (Blocking()) {
    const uint16_t error = HostLookup::ResolveNow(plain, port, addresses);
    if (error != 0) {
      throw NetworkError(error, plain);
    }
    return addresses;
  }
  HostLookup lookup(plain, port);
  QSocketNotifier answered(lookup.Descriptor(), QSocketNotifier::Read);
  // One wake-up is all it is for; the descriptor stays readable.
  connect(&answered, &QSocketNotifier::activated, &answered,
          [&answered] { answered.setEnabled(false); });
  WaitUntil([&lookup] { return lookup.Done(); });
  CheckTimeOutAndCancel();
  if (lookup.Error() != 0) {
    throw NetworkError(lookup.Error(), plain);
  }
  return lookup.Addresses();
}

int ClientSocket::ConnectInTurn(const std::vector<Endpoint>& addresses) {
  std::vector<ConnectRace::Failure> failures;
  for (const Endpoint& endpoint : addresses) {
    ++attemptsStarted_;
    const int handle = ::socket(endpoint.Family(), SocketType() | SOCK_CLOEXEC, Protocol());
    int result = handle == -1 ? -1 : 0;
    while (result == 0 && ::connect(handle, endpoint.Address(), endpoint.length) != 0) {
      result = errno == EINTR ? 0 : -1;
    }
    if (result == 0) {
      peer_ = endpoint;
      return handle;
    }
    failures.push_back({endpoint, NetworkCodeFromErrno(errno)});
    if (handle != -1) {
      ::close(handle);
    }
  }
  SetLastResult(-1);
  throw ConnectFailure(failures);
}

int ClientSocket::Race(const std::vector<Endpoint>& addresses) {
  ConnectRace race(addresses, SocketType(), Protocol());
  race.Start();
  WaitUntil([&race] { return race.Done(); });
  attemptsStarted_ = race.StartTimes().size();
  if (race.Winner() == nullptr) {
    if (TimedOut()) {
      throw TimedOutError(Addresses(addresses));
    }
    CheckTimeOutAndCancel();
    SetLastResult(-1);
    throw ConnectFailure(race.Failures());
  }
  CheckTimeOutAndCancel();
  peer_ = *race.Winner();
  return race.TakeSocket();
}

void ClientSocket::Connect() {
  // The socket of an earlier failed Connect is closed, not leaked.
  Disconnect();
  ResetState();
  peer_ = Endpoint{};
  emit connecting(*this);
  // The socket exists from here on, whatever the lookup finds: the one that
  // connects takes its place, under its descriptor number.
  const int type = SocketType() | SOCK_CLOEXEC | (Blocking() ? 0 : SOCK_NONBLOCK);
  int handle = ::socket(AF_INET6, type, Protocol());
  if (handle == -1) {
    handle = ::socket(AF_INET, type, Protocol());  // a kernel without IPv6
  }
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
  const QString name = viaProxy ? proxy_ : host_;
  const bool literal = Endpoint::FromLiteral(name, 0).has_value();
  FamilyMemory& memory = FamilyMemory::Shared();
  const std::vector<Endpoint> addresses =
      HappyEyeballsOrder(Resolve(name, viaProxy ? proxyPort_ : port_),
                         literal ? AF_INET6 : memory.FirstFamily(HostWithoutBrackets(name)));
  attemptsStarted_ = 0;
  const int reached = Blocking() ? ConnectInTurn(addresses) : Race(addresses);
  if (!literal) {
    memory.Remember(HostWithoutBrackets(name), peer_.Family());
  }
  SetLastResult(::dup3(reached, Socket(), O_CLOEXEC));
  ::close(reached);

  if (Blocking()) {
    SetConnected(true);
  } else {
    // The connect notification follows from the first write readiness,
    // as for a connect that was still running.
    SelectNotifications();
    if (SocketType() == SOCK_STREAM) {
      WaitUntil([this] { return Connected() || AsyncError() != 0; });
      if (AsyncError() != 0) {
        throw NetworkError(AsyncError(), peer_.Text());
      }
      CheckTimeOutAndCancel();
    }
  }
  emit connected(*this);
}

}  // namespace velmar
