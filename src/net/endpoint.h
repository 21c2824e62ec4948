#pragma once

#include <sys/socket.h>

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace velmar {

// A socket address of either family, as getaddrinfo gives it.
struct Endpoint {
  sockaddr_storage address{};
  socklen_t length = 0;

  int Family() const { return address.ss_family; }
  const sockaddr* Address() const { return reinterpret_cast<const sockaddr*>(&address); }
  // As people write it: "192.0.2.1:80", "[2001:db8::1]:80", "[fe80::1%eth0]:80".
  QString Text() const;

  // `host` as a numeric address (IPv4 in any form inet_aton takes, IPv6
  // with or without brackets, with a zone: "fe80::1%eth0", or as a URL
  // writes it, "[fe80::1%25eth0]" (RFC 6874)), or nothing for a name.
  static std::optional<Endpoint> FromLiteral(const QString& host, uint16_t port);
};

// The order RFC 8305 (section 4) tries addresses in: the families taking
// turns, `firstFamily` (IPv6 unless told) first, each family in the order
// the resolver sorted it.
std::vector<Endpoint> HappyEyeballsOrder(const std::vector<Endpoint>& addresses,
                                         int firstFamily = AF_INET6);

// Splits "host", "host:port", "[v6]", "[v6]:port" or a bare IPv6 literal
// (which has colons of its own) into the host, brackets kept, and the text
// after the port's colon; false when there is no port part.
bool SplitHostPort(const QString& text, QString& host, QString& port);

// The host without the brackets of an IPv6 literal.
QString HostWithoutBrackets(const QString& host);

// The host as a Host header gives it: an IPv6 literal without its zone,
// which means something on this machine only (RFC 6874, section 4).
QString HostWithoutZone(const QString& host);

}  // namespace velmar
