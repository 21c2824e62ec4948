#include "programs/packet_flows.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <charconv>
#include <cstring>

namespace velmar::programs {

namespace {

constexpr size_t kCookedHeader = 20;
constexpr uint8_t kOutgoing = 4;  // PACKET_OUTGOING
constexpr uint16_t kIpv4 = 0x0800;
constexpr uint16_t kIpv6 = 0x86dd;

uint16_t Be16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

// The transport header's offset and protocol after an IPv6 header and its
// extension headers; false for what this cannot walk.
bool SkipIpv6Extensions(const uint8_t* ip, size_t size, size_t& offset, uint8_t& next) {
  offset = 40;
  next = ip[6];
  for (int hops = 0; hops < 8; ++hops) {
    switch (next) {
      case IPPROTO_TCP:
      case IPPROTO_UDP:
        return true;
      case IPPROTO_HOPOPTS:
      case IPPROTO_ROUTING:
      case IPPROTO_DSTOPTS:
        if (size < offset + 8) {
          return false;
        }
        next = ip[offset];
        offset += (static_cast<size_t>(ip[offset + 1]) + 1) * 8;
        break;
      case IPPROTO_FRAGMENT:
        if (size < offset + 8 || (Be16(ip + offset + 2) & 0xfff8) != 0) {
          return false;  // a later fragment carries no ports
        }
        next = ip[offset];
        offset += 8;
        break;
      default:
        return false;
    }
  }
  return false;
}

void Hex(std::string& out, const uint8_t* data, size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
}

bool FromHex(std::string_view text, std::array<uint8_t, 16>& out) {
  if (text.size() != 8 && text.size() != 32) {
    return false;
  }
  for (size_t i = 0; i < text.size() / 2; ++i) {
    unsigned value = 0;
    const auto [end, error] =
        std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, value, 16);
    if (error != std::errc() || end != text.data() + 2 * i + 2) {
      return false;
    }
    out[i] = static_cast<uint8_t>(value);
  }
  return true;
}

template <typename T>
bool Number(std::string_view text, T& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::optional<CapturedPacket> ParseCookedPacket(const uint8_t* data, size_t captured) {
  if (captured < kCookedHeader) {
    return std::nullopt;
  }
  CapturedPacket packet;
  const uint16_t protocol = Be16(data);
  uint32_t index = 0;
  std::memcpy(&index, data + 4, 4);
  packet.key.interface = ntohl(index);
  packet.outgoing = data[10] == kOutgoing;
  const uint8_t* ip = data + kCookedHeader;
  const size_t size = captured - kCookedHeader;
  size_t transport = 0;
  uint8_t next = 0;
  const uint8_t* source = nullptr;
  const uint8_t* destination = nullptr;
  if (protocol == kIpv4 && size >= 20 && ip[0] >> 4 == 4) {
    transport = static_cast<size_t>(ip[0] & 15) * 4;
    // A later fragment carries no ports.
    if ((Be16(ip + 6) & 0x1fff) != 0) {
      return std::nullopt;
    }
    next = ip[9];
    packet.key.family = AF_INET;
    packet.bytes = Be16(ip + 2);
    source = ip + 12;
    destination = ip + 16;
  } else if (protocol == kIpv6 && size >= 40 && ip[0] >> 4 == 6) {
    if (!SkipIpv6Extensions(ip, size, transport, next)) {
      return std::nullopt;
    }
    packet.key.family = AF_INET6;
    packet.bytes = 40u + Be16(ip + 4);
    source = ip + 8;
    destination = ip + 24;
  } else {
    return std::nullopt;
  }
  if ((next != IPPROTO_TCP && next != IPPROTO_UDP) || size < transport + 4) {
    return std::nullopt;
  }
  packet.key.protocol = next;
  const size_t length = packet.key.family == AF_INET ? 4 : 16;
  const uint16_t sourcePort = Be16(ip + transport);
  const uint16_t destinationPort = Be16(ip + transport + 2);
  // The machine's own end is the source of what it sends, the destination
  // of what it receives.
  std::memcpy(packet.key.local.data(), packet.outgoing ? source : destination, length);
  std::memcpy(packet.key.remote.data(), packet.outgoing ? destination : source, length);
  packet.key.localPort = packet.outgoing ? sourcePort : destinationPort;
  packet.key.remotePort = packet.outgoing ? destinationPort : sourcePort;
  return packet;
}

void FlowTable::Count(const CapturedPacket& packet, int64_t now) {
  Entry& entry = flows_[packet.key];
  entry.bytes.key = packet.key;
  entry.lastSeen = now;
  (packet.outgoing ? entry.bytes.transmitted : entry.bytes.received) += packet.bytes;
}

void FlowTable::Prune(int64_t now, int64_t idle) {
  std::erase_if(flows_, [&](const auto& f) { return now - f.second.lastSeen >= idle; });
}

std::string FlowTable::Snapshot() const {
  std::string text;
  text.reserve(flows_.size() * 100);
  for (const auto& [key, entry] : flows_) {
    const FlowBytes& flow = entry.bytes;
    const size_t length = key.family == AF_INET ? 4 : 16;
    text += key.protocol == IPPROTO_TCP ? "tcp " : "udp ";
    text += key.family == AF_INET ? "4 " : "6 ";
    text += std::to_string(key.interface) + ' ';
    Hex(text, key.local.data(), length);
    text += ' ' + std::to_string(key.localPort) + ' ';
    Hex(text, key.remote.data(), length);
    text += ' ' + std::to_string(key.remotePort) + ' ' + std::to_string(flow.received) + ' ' +
            std::to_string(flow.transmitted) + '\n';
  }
  return text;
}

std::vector<FlowBytes> ParseFlowSnapshot(std::string_view text) {
  std::vector<FlowBytes> flows;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    std::vector<std::string_view> f;
    for (size_t start = 0; start <= line.size();) {
      const size_t space = line.find(' ', start);
      f.push_back(line.substr(start, space == std::string_view::npos ? line.npos : space - start));
      if (space == std::string_view::npos) {
        break;
      }
      start = space + 1;
    }
    FlowBytes flow;
    if (f.size() != 9 || (f[0] != "tcp" && f[0] != "udp") || (f[1] != "4" && f[1] != "6")) {
      continue;
    }
    flow.key.protocol = f[0] == "tcp" ? IPPROTO_TCP : IPPROTO_UDP;
    flow.key.family = f[1] == "4" ? AF_INET : AF_INET6;
    const size_t hexLength = flow.key.family == AF_INET ? 8 : 32;
    if (f[3].size() != hexLength || f[5].size() != hexLength || !Number(f[2], flow.key.interface) ||
        !FromHex(f[3], flow.key.local) || !Number(f[4], flow.key.localPort) ||
        !FromHex(f[5], flow.key.remote) || !Number(f[6], flow.key.remotePort) ||
        !Number(f[7], flow.received) || !Number(f[8], flow.transmitted)) {
      continue;
    }
    flows.push_back(flow);
  }
  return flows;
}

}  // namespace velmar::programs
