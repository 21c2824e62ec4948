#include "net/endpoint.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>

namespace velmar {

QString Endpoint::Text() const {
  char host[NI_MAXHOST] = {};
  char port[NI_MAXSERV] = {};
  if (::getnameinfo(Address(), length, host, sizeof host, port, sizeof port,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return QStringLiteral("?");
  }
  const QString address = QString::fromLatin1(host);
  return (Family() == AF_INET6 ? u'[' + address + u']' : address) + u':' +
         QString::fromLatin1(port);
}

namespace {

// An IPv6 zone as a URL writes it, "%25" and the zone %-encoded, as the
// resolver takes it: "%" and the zone.
QString ZoneDecoded(const QString& address) {
  const qsizetype at = address.indexOf(QLatin1String("%25"));
  if (at < 0 || at + 3 >= address.size()) {
    return address;
  }
  return address.left(at + 1) +
         QString::fromUtf8(QByteArray::fromPercentEncoding(address.mid(at + 3).toUtf8()));
}

}  // namespace

std::optional<Endpoint> Endpoint::FromLiteral(const QString& host, uint16_t port) {
  const QByteArray text = ZoneDecoded(HostWithoutBrackets(host)).toUtf8();
  Endpoint e;
  in_addr v4{};
  // inet_aton takes the short forms ("127.1") a dotted address always could have.
  if (::inet_aton(text.constData(), &v4) != 0) {
    auto* a = reinterpret_cast<sockaddr_in*>(&e.address);
    a->sin_family = AF_INET;
    a->sin_port = htons(port);
    a->sin_addr = v4;
    e.length = sizeof(sockaddr_in);
    return e;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET6;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* answer = nullptr;
  if (text.contains(':') && ::getaddrinfo(text.constData(), nullptr, &hints, &answer) == 0) {
    std::memcpy(&e.address, answer->ai_addr, answer->ai_addrlen);
    e.length = answer->ai_addrlen;
    reinterpret_cast<sockaddr_in6*>(&e.address)->sin6_port = htons(port);
    ::freeaddrinfo(answer);
    return e;
  }
  return std::nullopt;
}

std::vector<Endpoint> HappyEyeballsOrder(const std::vector<Endpoint>& addresses, int firstFamily) {
  std::vector<Endpoint> first;
  std::vector<Endpoint> other;
  for (const Endpoint& e : addresses) {
    (e.Family() == firstFamily ? first : other).push_back(e);
  }
  std::vector<Endpoint> order;
  for (size_t i = 0; i < first.size() || i < other.size(); ++i) {
    if (i < first.size()) {
      order.push_back(first[i]);
    }
    if (i < other.size()) {
      order.push_back(other[i]);
    }
  }
  return order;
}

bool SplitHostPort(const QString& text, QString& host, QString& port) {
  if (text.startsWith(u'[')) {
    const qsizetype close = text.indexOf(u']');
    if (close > 0) {
      host = text.left(close + 1);
      const bool hasPort = text.size() > close + 1 && text[close + 1] == u':';
      port = hasPort ? text.mid(close + 2) : QString();
      return hasPort;
    }
  }
  const qsizetype colon = text.indexOf(u':');
  // An IPv6 address written without brackets has no port to split off.
  if (colon < 0 || (text.count(u':') > 1 && Endpoint::FromLiteral(text, 0).has_value())) {
    host = text;
    port.clear();
    return false;
  }
  host = text.left(colon);
  port = text.mid(colon + 1);
  return true;
}

QString HostWithoutZone(const QString& host) {
  const qsizetype zone = host.indexOf(u'%');
  if (zone < 0 || !Endpoint::FromLiteral(host, 0).has_value()) {
    return host;
  }
  return host.left(zone) + (host.startsWith(u'[') ? QStringLiteral("]") : QString());
}

QString HostWithoutBrackets(const QString& host) {
  return host.startsWith(u'[') && host.endsWith(u']') ? host.mid(1, host.size() - 2) : host;
}

}  // namespace velmar
