#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace velmar {

// An address as the MIBs carry it (RFC 4001): an InetAddressType and the
// octets of an InetAddress, written as people write addresses:
// "192.0.2.1", "2001:db8::1" (RFC 5952), "fe80::1%3" with a zone, and in
// an endpoint "[2001:db8::1]:443" (RFC 3986).
struct InetAddress {
  // InetAddressType values.
  static constexpr uint32_t kUnknown = 0, kIpv4 = 1, kIpv6 = 2, kIpv4z = 3, kIpv6z = 4, kDns = 16;

  uint32_t type = kUnknown;
  QByteArray octets;

  static InetAddress Ipv4(const uint8_t* octets);
  static InetAddress Ipv6(const uint8_t* octets);

  bool IsIpv6() const { return type == kIpv6 || type == kIpv6z; }
  // The address text; "*" for an unknown address (a listener on every
  // address of both families), and the octets in hexadecimal when their
  // number does not fit the type.
  QString Text() const;
  // The zone index of an ipv4z or ipv6z address; 0 for none.
  uint32_t ZoneIndex() const;
  // The address without its zone (an ipv6z address as ipv6).
  InetAddress WithoutZone() const;
  // "address:port", the IPv6 address in brackets.
  QString EndpointText(uint32_t port) const;
  // "address/length".
  QString PrefixText(uint32_t length) const;
  // The unspecified address of the same family ("0.0.0.0", "::").
  InetAddress Unspecified() const;

  // Reads an InetAddressType and InetAddress from an index at `at` (the
  // type, the length, the octets; each octet one sub-identifier), moving
  // `at` past them. False, with `at` unchanged, when they do not fit.
  static bool FromIndex(const uint32_t* index, uint32_t length, uint32_t& at, InetAddress& out);

  bool operator==(const InetAddress&) const = default;
  bool operator<(const InetAddress& other) const;
};

// The text of a link-layer address: "02:00:5e:10:00:01"; "-" when empty.
QString PhysicalAddressText(const QByteArray& octets);

}  // namespace velmar
