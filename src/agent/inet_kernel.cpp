#include "agent/inet_kernel.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/if_addr.h>
#include <linux/inet_diag.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "agent/kernel_text.h"

namespace velmar::agent {

namespace {

// The kernel prints an address as the 32-bit words it holds in network
// order, each formatted as a host-order hexadecimal number: 8 digits for
// IPv4, 32 for IPv6.
bool HexAddress(std::string_view text, int family, IpAddress& out) {
  const size_t words = family == AF_INET6 ? 4 : 1;
  if (text.size() != 8 * words) {
    return false;
  }
  out = IpAddress{};
  out.family = static_cast<uint8_t>(family);
  for (size_t i = 0; i < words; ++i) {
    uint32_t word = 0;
    if (!ParseNumber(text.substr(8 * i, 8), word, 16)) {
      return false;
    }
    std::memcpy(out.octets.data() + 4 * i, &word, 4);
  }
  return true;
}

// An IPv6 address as /proc/net/ipv6_route prints it: 32 digits in network
// order, not in words.
bool PlainHexAddress(std::string_view text, IpAddress& out) {
  if (text.size() != 32) {
    return false;
  }
  out = IpAddress{};
  out.family = AF_INET6;
  for (size_t i = 0; i < 16; ++i) {
    if (!ParseNumber(text.substr(2 * i, 2), out.octets[i], 16)) {
      return false;
    }
  }
  return true;
}

bool HexEndpoint(std::string_view text, int family, IpAddress& address, uint16_t& port) {
  const size_t colon = text.find(':');
  return colon != std::string_view::npos && HexAddress(text.substr(0, colon), family, address) &&
         ParseNumber(text.substr(colon + 1), port, 16);
}

IpAddress FromOctets(int family, const void* data, size_t size) {
  IpAddress a;
  const size_t want = family == AF_INET6 ? 16 : 4;
  if ((family == AF_INET || family == AF_INET6) && size >= want) {
    a.family = static_cast<uint8_t>(family);
    std::memcpy(a.octets.data(), data, want);
  }
  return a;
}

// Sends one dump request of `type` with `body` over a netlink socket of
// `protocol`, and hands every answer to `onMessage`.
template <typename Body, typename Fn>
bool NetlinkDump(int protocol, uint16_t type, const Body& body, Fn onMessage) {
  const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, protocol);
  if (fd < 0) {
    return false;
  }
  struct {
    nlmsghdr header;
    Body body;
  } request{};
  request.header.nlmsg_len = NLMSG_LENGTH(sizeof request.body);
  request.header.nlmsg_type = type;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.header.nlmsg_seq = 1;
  request.body = body;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  bool done = ::sendto(fd, &request, request.header.nlmsg_len, 0,
                       reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) >= 0;
  bool ok = false;
  std::vector<char> buffer(64 * 1024);
  while (done && !ok) {
    const ssize_t received = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (received < 0 && errno == EINTR) {
      continue;
    }
    if (received <= 0) {
      break;
    }
    size_t remaining = static_cast<size_t>(received);
    for (auto* h = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(h, remaining);
         h = NLMSG_NEXT(h, remaining)) {
      if (h->nlmsg_type == NLMSG_DONE) {
        ok = true;
      } else if (h->nlmsg_type == NLMSG_ERROR) {
        done = false;
      } else {
        onMessage(h);
      }
    }
  }
  ::close(fd);
  return ok;
}

// A routing dump of both families.
template <typename Fn>
bool NetlinkDump(uint16_t type, Fn onMessage) {
  ndmsg body{};  // large enough for the ifaddrmsg and rtmsg of other dumps too
  body.ndm_family = AF_UNSPEC;
  return NetlinkDump(NETLINK_ROUTE, type, body, onMessage);
}

// The socket inode a descriptor link names ("socket:[12345]"), or 0.
uint64_t SocketInode(int fdDir, const char* entry) {
  char target[64];
  const ssize_t n = ::readlinkat(fdDir, entry, target, sizeof target - 1);
  static constexpr std::string_view kPrefix = "socket:[";
  if (n <= static_cast<ssize_t>(kPrefix.size()) + 1) {
    return 0;
  }
  const std::string_view link(target, static_cast<size_t>(n));
  uint64_t inode = 0;
  if (link.substr(0, kPrefix.size()) != kPrefix || link.back() != ']' ||
      !ParseNumber(link.substr(kPrefix.size(), link.size() - kPrefix.size() - 1), inode)) {
    return 0;
  }
  return inode;
}

// Whether process `pid` (its /proc folder open as `procDir`) holds any of
// `inodes`; records each one it holds.
bool ScanProcess(int procDir, uint32_t pid, const std::unordered_set<uint64_t>& inodes,
                 SocketOwners& owners) {
  const int fdDir = ::openat(procDir, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fdDir < 0) {
    return false;  // another user's process, or gone meanwhile
  }
  DIR* dir = ::fdopendir(fdDir);
  if (dir == nullptr) {
    ::close(fdDir);
    return false;
  }
  bool holds = false;
  while (const dirent* entry = ::readdir(dir)) {
    const uint64_t inode = entry->d_name[0] == '.' ? 0 : SocketInode(fdDir, entry->d_name);
    if (inode != 0 && inodes.count(inode) != 0) {
      uint32_t& owner = owners.pidOfInode[inode];
      owner = std::max(owner, pid);
      holds = true;
    }
  }
  ::closedir(dir);
  return holds;
}

std::string ProcessName(int procDir) {
  std::string name(64, '\0');
  const int fd = ::openat(procDir, "comm", O_RDONLY | O_CLOEXEC);
  ssize_t n = -1;
  if (fd >= 0) {
    n = ::read(fd, name.data(), name.size());
    ::close(fd);
  }
  name.resize(n > 0 ? static_cast<size_t>(n) : 0);
  while (!name.empty() && name.back() == '\n') {
    name.pop_back();
  }
  return name;
}

}  // namespace

size_t IpAddress::Size() const {
  return family == AF_INET6 ? 16 : (family == AF_INET ? 4 : 0);
}

std::string_view IpAddress::Octets() const {
  return std::string_view(reinterpret_cast<const char*>(octets.data()), Size());
}

IpAddress IpAddress::V4(std::array<uint8_t, 4> a) {
  return FromOctets(AF_INET, a.data(), a.size());
}

IpAddress IpAddress::V6(const std::array<uint8_t, 16>& a) {
  return FromOctets(AF_INET6, a.data(), a.size());
}

uint32_t SocketOwners::PidOf(uint64_t inode) const {
  const auto it = pidOfInode.find(inode);
  return it != pidOfInode.end() ? it->second : 0;
}

std::vector<SocketEntry> ParseProcNetSockets(std::string_view content, int family) {
  std::vector<SocketEntry> rows;
  ForEachLine(content, [&](std::string_view line) {
    // "sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout
    // inode ..."; the heading's first word is "sl".
    const auto w = SplitWords(line);
    if (w.size() < 10 || w[0].empty() || w[0].back() != ':') {
      return;
    }
    SocketEntry s;
    if (HexEndpoint(w[1], family, s.local, s.localPort) &&
        HexEndpoint(w[2], family, s.remote, s.remotePort) && ParseNumber(w[3], s.state, 16) &&
        ParseNumber(w[9], s.inode)) {
      rows.push_back(s);
    }
  });
  return rows;
}

std::vector<Ipv6Route> ParseProcNetIpv6Route(std::string_view content) {
  std::vector<Ipv6Route> routes;
  ForEachLine(content, [&](std::string_view line) {
    // destination, its prefix length, source, its prefix length, next hop,
    // metric, reference count, use count, flags, device.
    const auto w = SplitWords(line);
    Ipv6Route r;
    IpAddress source;
    if (w.size() == 10 && PlainHexAddress(w[0], r.destination) &&
        ParseNumber(w[1], r.prefixLength, 16) && r.prefixLength <= 128 &&
        PlainHexAddress(w[2], source) && PlainHexAddress(w[4], r.nextHop) &&
        ParseNumber(w[5], r.metric, 16) && ParseNumber(w[8], r.flags, 16)) {
      r.interfaceName = std::string(w[9]);
      routes.push_back(std::move(r));
    }
  });
  return routes;
}

SocketOwners FindSocketOwners(const std::string& procRoot,
                              const std::unordered_set<uint64_t>& inodes) {
  SocketOwners owners;
  DIR* proc = ::opendir(procRoot.c_str());
  if (proc == nullptr || inodes.empty()) {
    if (proc != nullptr) {
      ::closedir(proc);
    }
    return owners;
  }
  while (const dirent* entry = ::readdir(proc)) {
    uint32_t pid = 0;
    if (!ParseNumber(std::string_view(entry->d_name), pid)) {
      continue;
    }
    const int procDir = ::openat(::dirfd(proc), entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procDir < 0) {
      continue;
    }
    if (ScanProcess(procDir, pid, inodes, owners)) {
      owners.nameOfPid[pid] = ProcessName(procDir);
    }
    ::close(procDir);
  }
  ::closedir(proc);
  // Only the owners chosen keep their names.
  std::map<uint32_t, std::string> chosen;
  for (const auto& [inode, pid] : owners.pidOfInode) {
    chosen.emplace(pid, owners.nameOfPid[pid]);
  }
  owners.nameOfPid.swap(chosen);
  return owners;
}

SocketOwnerCache::SocketOwnerCache(std::string procRoot, std::chrono::milliseconds keep)
    : procRoot_(std::move(procRoot)), keep_(keep) {}

SocketOwners SocketOwnerCache::Find(const std::unordered_set<uint64_t>& inodes) {
  const auto now = std::chrono::steady_clock::now();
  const bool fresh = scans_ > 0 && now - when_ < keep_ &&
                     std::all_of(inodes.begin(), inodes.end(),
                                 [this](uint64_t inode) { return searched_.count(inode) != 0; });
  if (!fresh) {
    owners_ = FindSocketOwners(procRoot_, inodes);
    searched_ = inodes;
    when_ = now;
    ++scans_;
  }
  return owners_;
}

bool ParseAddressMessage(const nlmsghdr* message, AddressEntry& out) {
  if (message->nlmsg_type != RTM_NEWADDR || message->nlmsg_len < NLMSG_LENGTH(sizeof(ifaddrmsg))) {
    return false;
  }
  const auto* info = static_cast<const ifaddrmsg*>(NLMSG_DATA(message));
  out = AddressEntry{};
  out.prefixLength = info->ifa_prefixlen;
  out.ifIndex = static_cast<int>(info->ifa_index);
  out.flags = info->ifa_flags;
  IpAddress address;
  IpAddress local;
  int length = static_cast<int>(IFA_PAYLOAD(message));
  for (auto* a = IFA_RTA(info); RTA_OK(a, length); a = RTA_NEXT(a, length)) {
    const size_t size = RTA_PAYLOAD(a);
    if (a->rta_type == IFA_ADDRESS) {
      address = FromOctets(info->ifa_family, RTA_DATA(a), size);
    } else if (a->rta_type == IFA_LOCAL) {
      local = FromOctets(info->ifa_family, RTA_DATA(a), size);
    } else if (a->rta_type == IFA_FLAGS && size >= 4) {
      std::memcpy(&out.flags, RTA_DATA(a), 4);
    }
  }
  // On a point-to-point link IFA_ADDRESS is the peer's; IFA_LOCAL is ours.
  out.address = local.family != 0 ? local : address;
  return out.address.family != 0;
}

bool ParseNeighbourMessage(const nlmsghdr* message, NeighbourEntry& out) {
  if (message->nlmsg_type != RTM_NEWNEIGH || message->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg))) {
    return false;
  }
  const auto* info = static_cast<const ndmsg*>(NLMSG_DATA(message));
  out = NeighbourEntry{};
  out.ifIndex = info->ndm_ifindex;
  out.state = info->ndm_state;
  int length = static_cast<int>(message->nlmsg_len - NLMSG_LENGTH(sizeof(ndmsg)));
  auto* a = reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(info) +
                                            NLMSG_ALIGN(sizeof(ndmsg)));
  for (; RTA_OK(a, length); a = RTA_NEXT(a, length)) {
    const size_t size = RTA_PAYLOAD(a);
    if (a->rta_type == NDA_DST) {
      out.address = FromOctets(info->ndm_family, RTA_DATA(a), size);
    } else if (a->rta_type == NDA_LLADDR) {
      out.linkAddress.assign(static_cast<const char*>(RTA_DATA(a)), size);
    } else if (a->rta_type == NDA_CACHEINFO && size >= sizeof(nda_cacheinfo)) {
      nda_cacheinfo cache{};
      std::memcpy(&cache, RTA_DATA(a), sizeof cache);
      out.updatedAgo = cache.ndm_updated;  // in USER_HZ, hundredths of a second
    }
  }
  return out.address.family != 0;
}

std::vector<AddressEntry> ReadAddresses() {
  std::vector<AddressEntry> addresses;
  NetlinkDump(RTM_GETADDR, [&](const nlmsghdr* h) {
    AddressEntry entry;
    if (ParseAddressMessage(h, entry)) {
      addresses.push_back(std::move(entry));
    }
  });
  return addresses;
}

bool ParseRouteMessage(const nlmsghdr* message, RouteEntry& out) {
  if (message->nlmsg_type != RTM_NEWROUTE || message->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg))) {
    return false;
  }
  const auto* info = static_cast<const rtmsg*>(NLMSG_DATA(message));
  if ((info->rtm_family != AF_INET && info->rtm_family != AF_INET6) ||
      (info->rtm_flags & RTM_F_CLONED)) {
    return false;
  }
  out = RouteEntry{};
  out.destination.family = info->rtm_family;
  out.prefixLength = info->rtm_dst_len;
  out.table = info->rtm_table;
  out.type = info->rtm_type;
  out.protocol = info->rtm_protocol;
  int length = static_cast<int>(RTM_PAYLOAD(message));
  for (auto* a = RTM_RTA(info); RTA_OK(a, length); a = RTA_NEXT(a, length)) {
    const size_t size = RTA_PAYLOAD(a);
    if (a->rta_type == RTA_DST) {
      out.destination = FromOctets(info->rtm_family, RTA_DATA(a), size);
    } else if (a->rta_type == RTA_GATEWAY) {
      out.gateway = FromOctets(info->rtm_family, RTA_DATA(a), size);
    } else if (a->rta_type == RTA_OIF && size >= 4) {
      std::memcpy(&out.ifIndex, RTA_DATA(a), 4);
    } else if (a->rta_type == RTA_PRIORITY && size >= 4) {
      std::memcpy(&out.metric, RTA_DATA(a), 4);
    } else if (a->rta_type == RTA_TABLE && size >= 4) {
      std::memcpy(&out.table, RTA_DATA(a), 4);
    } else if (a->rta_type == RTA_MULTIPATH && size >= sizeof(rtnexthop)) {
      // Of several next hops (ECMP), the first stands for the route, as
      // /proc/net/route shows it.
      const auto* hop = static_cast<const rtnexthop*>(RTA_DATA(a));
      out.ifIndex = hop->rtnh_ifindex;
      int hopLength = static_cast<int>(std::min<size_t>(hop->rtnh_len, size)) -
                      static_cast<int>(RTNH_LENGTH(0));
      for (auto* h = reinterpret_cast<const rtattr*>(RTNH_DATA(hop)); RTA_OK(h, hopLength);
           h = RTA_NEXT(h, hopLength)) {
        if (h->rta_type == RTA_GATEWAY) {
          out.gateway = FromOctets(info->rtm_family, RTA_DATA(h), RTA_PAYLOAD(h));
        }
      }
    }
  }
  return out.destination.family != 0;
}

bool ReadRoutes(std::vector<RouteEntry>& out) {
  out.clear();
  return NetlinkDump(RTM_GETROUTE, [&](const nlmsghdr* h) {
    RouteEntry entry;
    if (ParseRouteMessage(h, entry)) {
      out.push_back(std::move(entry));
    }
  });
}

std::vector<NeighbourEntry> ReadNeighbours() {
  std::vector<NeighbourEntry> neighbours;
  NetlinkDump(RTM_GETNEIGH, [&](const nlmsghdr* h) {
    NeighbourEntry entry;
    if (ParseNeighbourMessage(h, entry)) {
      neighbours.push_back(std::move(entry));
    }
  });
  return neighbours;
}

}  // namespace velmar::agent

namespace velmar::agent {

std::unordered_map<uint64_t, uint32_t> ReadBoundInterfaces(uint8_t protocol) {
  std::unordered_map<uint64_t, uint32_t> bound;
  inet_diag_req_v2 request{};
  request.sdiag_family = AF_INET6;
  request.sdiag_protocol = protocol;
  request.idiag_states = ~0u;
  NetlinkDump(NETLINK_SOCK_DIAG, SOCK_DIAG_BY_FAMILY, request, [&](const nlmsghdr* h) {
    if (h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
      return;
    }
    const auto* socket = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
    if (socket->idiag_inode != 0 && socket->id.idiag_if != 0) {
      bound.emplace(socket->idiag_inode, socket->id.idiag_if);
    }
  });
  return bound;
}

}  // namespace velmar::agent
