#include "netstat/inet_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <tuple>

namespace velmar {

namespace {

QString Hex(const QByteArray& octets) {
  return octets.isEmpty() ? QStringLiteral("-") : QString::fromLatin1(octets.toHex(':'));
}

// inet_ntop writes what RFC 5952 asks: lower case, the longest run of zero
// groups (the first of equals) as "::", an IPv4-mapped address dotted.
QString NumericText(int family, const char* octets) {
  char text[INET6_ADDRSTRLEN] = {};
  return ::inet_ntop(family, octets, text, sizeof text) != nullptr ? QString::fromLatin1(text)
                                                                   : QString();
}

uint32_t Zone(const QByteArray& octets, qsizetype at) {
  const auto byte = [&](qsizetype i) { return static_cast<uint8_t>(octets[at + i]); };
  return uint32_t{byte(0)} << 24 | uint32_t{byte(1)} << 16 | uint32_t{byte(2)} << 8 | byte(3);
}

}  // namespace

InetAddress InetAddress::Ipv4(const uint8_t* octets) {
  return InetAddress{kIpv4, QByteArray(reinterpret_cast<const char*>(octets), 4)};
}

InetAddress InetAddress::Ipv6(const uint8_t* octets) {
  return InetAddress{kIpv6, QByteArray(reinterpret_cast<const char*>(octets), 16)};
}

QString InetAddress::Text() const {
  const qsizetype size = octets.size();
  switch (type) {
    case kUnknown:
      return size == 0 ? QStringLiteral("*") : Hex(octets);
    case kIpv4:
    case kIpv4z:
      if (size == (type == kIpv4 ? 4 : 8)) {
        const QString text = NumericText(AF_INET, octets.constData());
        return type == kIpv4 ? text : text + u'%' + QString::number(Zone(octets, 4));
      }
      break;
    case kIpv6:
    case kIpv6z:
      if (size == (type == kIpv6 ? 16 : 20)) {
        const QString text = NumericText(AF_INET6, octets.constData());
        return type == kIpv6 ? text : text + u'%' + QString::number(Zone(octets, 16));
      }
      break;
    case kDns:
      return QString::fromUtf8(octets);
    default:
      break;
  }
  return Hex(octets);
}

uint32_t InetAddress::ZoneIndex() const {
  if ((type == kIpv4z && octets.size() == 8) || (type == kIpv6z && octets.size() == 20)) {
    return Zone(octets, octets.size() - 4);
  }
  return 0;
}

InetAddress InetAddress::WithoutZone() const {
  if (ZoneIndex() == 0 && type != kIpv4z && type != kIpv6z) {
    return *this;
  }
  const bool v6 = type == kIpv6z;
  return InetAddress{v6 ? kIpv6 : kIpv4, octets.left(v6 ? 16 : 4)};
}

QString InetAddress::EndpointText(uint32_t port) const {
  const QString address = Text();
  return (IsIpv6() ? u'[' + address + u']' : address) + u':' + QString::number(port);
}

QString InetAddress::PrefixText(uint32_t length) const {
  return Text() + u'/' + QString::number(length);
}

InetAddress InetAddress::Unspecified() const {
  switch (type) {
    case kIpv4:
    case kIpv4z:
      return InetAddress{kIpv4, QByteArray(4, '\0')};
    case kIpv6:
    case kIpv6z:
      return InetAddress{kIpv6, QByteArray(16, '\0')};
    default:
      return InetAddress{};
  }
}

bool InetAddress::FromIndex(const uint32_t* index, uint32_t length, uint32_t& at,
                            InetAddress& out) {
  if (at + 2 > length || index[at + 1] > 255 || at + 2 + index[at + 1] > length) {
    return false;
  }
  InetAddress address;
  address.type = index[at];
  const uint32_t size = index[at + 1];
  for (uint32_t i = 0; i < size; ++i) {
    if (index[at + 2 + i] > 255) {
      return false;
    }
    address.octets.append(static_cast<char>(index[at + 2 + i]));
  }
  out = std::move(address);
  at += 2 + size;
  return true;
}

bool InetAddress::operator<(const InetAddress& other) const {
  return std::tie(type, octets) < std::tie(other.type, other.octets);
}

QString PhysicalAddressText(const QByteArray& octets) {
  return Hex(octets);
}

}  // namespace velmar
