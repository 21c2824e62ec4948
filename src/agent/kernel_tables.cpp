#include "agent/kernel_tables.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/ethtool.h>
#include <linux/if.h>
#include <linux/if_arp.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "agent/kernel_text.h"

namespace velmar::agent {

namespace {

// The kernel prints an IPv4 address as the 32-bit word it holds in network
// order, formatted as a host-order hexadecimal number.
bool ParseHexAddress(std::string_view text, Ip4& out) {
  uint32_t word = 0;
  if (text.size() != 8 || !ParseNumber(text, word, 16)) {
    return false;
  }
  std::memcpy(out.data(), &word, 4);
  return true;
}

bool ParseHexEndpoint(std::string_view text, Ip4& address, uint16_t& port) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) {
    return false;
  }
  return ParseHexAddress(text.substr(0, colon), address) &&
         ParseNumber(text.substr(colon + 1), port, 16);
}

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) {
    s.pop_back();
  }
  return s;
}

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  std::string content;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return content;
  }
  char chunk[16384];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      break;
    }
    content.append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  return content;
}

std::vector<LinkInfo> ParseProcNetDev(std::string_view content) {
  std::vector<LinkInfo> links;
  ForEachLine(content, [&](std::string_view line) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      return;  // the two heading lines
    }
    const auto nameWords = SplitWords(line.substr(0, colon));
    const auto fields = SplitWords(line.substr(colon + 1));
    if (nameWords.size() != 1 || fields.size() < 16) {
      return;
    }
    uint64_t v[16];
    for (int i = 0; i < 16; ++i) {
      if (!ParseNumber(fields[i], v[i])) {
        return;
      }
    }
    LinkInfo link;
    link.name = std::string(nameWords[0]);
    link.rxBytes = v[0];
    link.rxPackets = v[1];
    link.rxErrors = v[2];
    link.rxDropped = v[3];
    link.rxMulticast = v[7];
    link.txBytes = v[8];
    link.txPackets = v[9];
    link.txErrors = v[10];
    link.txDropped = v[11];
    links.push_back(std::move(link));
  });
  return links;
}

void FillFromSysfs(LinkInfo& link, const std::string& sysRoot) {
  const std::string dir = sysRoot + "/" + link.name + "/";
  const auto number = [&](const char* file, auto& out, int base = 10) {
    std::string text = Trimmed(ReadWholeFile(dir + file));
    if (base == 16 && text.rfind("0x", 0) == 0) {
      text = text.substr(2);
    }
    ParseNumber(std::string_view(text), out, base);
  };
  number("ifindex", link.index);
  number("type", link.arpType);
  number("mtu", link.mtu);
  number("flags", link.flags, 16);
  int64_t speedMbps = 0;
  number("speed", speedMbps);
  link.speedBitsPerSecond = speedMbps > 0 ? static_cast<uint64_t>(speedMbps) * 1000000 : 0;
  const std::string oper = Trimmed(ReadWholeFile(dir + "operstate"));
  static const char* const kOper[] = {"unknown", "notpresent", "down", "lowerlayerdown",
                                      "testing", "dormant",    "up"};
  static const uint8_t kOperValue[] = {
      IF_OPER_UNKNOWN, IF_OPER_NOTPRESENT, IF_OPER_DOWN, IF_OPER_LOWERLAYERDOWN,
      IF_OPER_TESTING, IF_OPER_DORMANT,    IF_OPER_UP};
  for (size_t i = 0; i < std::size(kOper); ++i) {
    if (oper == kOper[i]) {
      link.operState = kOperValue[i];
    }
  }
  number("carrier_changes", link.carrierChanges);
  link.alias = Trimmed(ReadWholeFile(dir + "ifalias"));
  link.hasDevice = HasDevice(link.name, sysRoot);
  const std::string mac = Trimmed(ReadWholeFile(dir + "address"));
  link.address.clear();
  for (size_t i = 0; i + 1 < mac.size() + 1; i += 3) {
    uint8_t octet = 0;
    if (!ParseNumber(std::string_view(mac).substr(i, 2), octet, 16)) {
      break;
    }
    link.address.push_back(static_cast<char>(octet));
  }
}

bool HasDevice(const std::string& name, const std::string& sysRoot) {
  return ::access((sysRoot + "/" + name + "/device").c_str(), F_OK) == 0;
}

void FillLowerLayersFromSysfs(std::vector<LinkInfo>& links, const std::string& sysRoot) {
  std::map<std::string, int> indexOf;
  for (const LinkInfo& link : links) {
    indexOf.emplace(link.name, link.index);
  }
  for (LinkInfo& link : links) {
    link.lowerLayers.clear();
    DIR* dir = ::opendir((sysRoot + "/" + link.name).c_str());
    if (dir == nullptr) {
      continue;
    }
    while (const dirent* entry = ::readdir(dir)) {
      const std::string_view entryName(entry->d_name);
      if (entryName.rfind("lower_", 0) != 0) {
        continue;
      }
      const auto lower = indexOf.find(std::string(entryName.substr(6)));
      if (lower != indexOf.end() && lower->second != link.index) {
        link.lowerLayers.push_back(lower->second);
      }
    }
    ::closedir(dir);
    std::sort(link.lowerLayers.begin(), link.lowerLayers.end());
  }
}

void ResolveLowerLayers(std::vector<LinkInfo>& links, const std::vector<LinkRelations>& relations) {
  std::vector<std::pair<int, size_t>> positions;
  positions.reserve(links.size());
  for (size_t i = 0; i < links.size(); ++i) {
    links[i].lowerLayers.clear();
    positions.emplace_back(links[i].index, i);
  }
  std::sort(positions.begin(), positions.end());
  const auto find = [&](int index) -> LinkInfo* {
    const auto it =
        std::lower_bound(positions.begin(), positions.end(), std::make_pair(index, size_t{0}));
    return it != positions.end() && it->first == index ? &links[it->second] : nullptr;
  };
  for (size_t i = 0; i < links.size() && i < relations.size(); ++i) {
    LinkInfo& link = links[i];
    const LinkRelations& r = relations[i];
    if (r.master > 0 && r.master != link.index) {
      if (LinkInfo* master = find(r.master)) {
        master->lowerLayers.push_back(link.index);
      }
    }
    // A veth's (or vxcan's, netkit's) link is its peer beside it, not a
    // layer below it.
    const bool peerKind = link.kind == "veth" || link.kind == "vxcan" || link.kind == "netkit";
    if (r.link > 0 && r.link != link.index && !r.linkInOtherNamespace && !peerKind &&
        find(r.link) != nullptr) {
      link.lowerLayers.push_back(r.link);
    }
  }
  for (LinkInfo& link : links) {
    std::sort(link.lowerLayers.begin(), link.lowerLayers.end());
    link.lowerLayers.erase(std::unique(link.lowerLayers.begin(), link.lowerLayers.end()),
                           link.lowerLayers.end());
  }
}

std::vector<TcpConnection> ParseProcNetTcp(std::string_view content) {
  std::vector<TcpConnection> rows;
  ForEachLine(content, [&](std::string_view line) {
    const auto words = SplitWords(line);
    // "sl local_address rem_address st ..."; the heading's first word is "sl".
    if (words.size() < 4 || words[0].empty() || words[0].back() != ':') {
      return;
    }
    TcpConnection c;
    if (!ParseHexEndpoint(words[1], c.localAddress, c.localPort) ||
        !ParseHexEndpoint(words[2], c.remoteAddress, c.remotePort) ||
        !ParseNumber(words[3], c.state, 16)) {
      return;
    }
    rows.push_back(c);
  });
  return rows;
}

std::vector<Route> ParseProcNetRoute(std::string_view content) {
  std::vector<Route> routes;
  ForEachLine(content, [&](std::string_view line) {
    const auto w = SplitWords(line);
    if (w.size() < 8 || w[0] == "Iface") {
      return;
    }
    Route r;
    r.interfaceName = std::string(w[0]);
    if (!ParseHexAddress(w[1], r.destination) || !ParseHexAddress(w[2], r.gateway) ||
        !ParseNumber(w[3], r.flags, 16) || !ParseNumber(w[6], r.metric) ||
        !ParseHexAddress(w[7], r.mask)) {
      return;
    }
    routes.push_back(std::move(r));
  });
  return routes;
}

std::map<std::string, uint64_t> ParseProcNetSnmpTcp(std::string_view content) {
  std::map<std::string, uint64_t> values;
  std::vector<std::string_view> names;
  ForEachLine(content, [&](std::string_view line) {
    if (line.rfind("Tcp:", 0) != 0) {
      return;
    }
    const auto words = SplitWords(line.substr(4));
    if (names.empty()) {
      names = words;
      return;
    }
    for (size_t i = 0; i < names.size() && i < words.size(); ++i) {
      int64_t v = 0;  // MaxConn is -1
      if (ParseNumber(words[i], v)) {
        values[std::string(names[i])] = static_cast<uint64_t>(v);
      }
    }
    names.clear();
  });
  return values;
}

int32_t IanaIfType(uint16_t arpType) {
  switch (arpType) {
    case ARPHRD_ETHER:
      return 6;  // ethernetCsmacd
    case ARPHRD_LOOPBACK:
      return 24;  // softwareLoopback
    case ARPHRD_PPP:
      return 23;  // ppp
    case ARPHRD_SLIP:
    case ARPHRD_CSLIP:
      return 28;  // slip
    case ARPHRD_IEEE80211:
    case ARPHRD_IEEE80211_PRISM:
    case ARPHRD_IEEE80211_RADIOTAP:
      return 71;  // ieee80211
    case ARPHRD_TUNNEL:
    case ARPHRD_TUNNEL6:
    case ARPHRD_SIT:
    case ARPHRD_IPGRE:
    case ARPHRD_IP6GRE:
      return 131;  // tunnel
    case ARPHRD_INFINIBAND:
      return 199;  // infiniband
    case ARPHRD_IEEE1394:
      return 144;  // ieee1394
    default:
      return 1;  // other
  }
}

int32_t IfOperStatus(uint8_t operState, uint32_t flags) {
  switch (operState) {
    case IF_OPER_UP:
      return 1;
    case IF_OPER_DOWN:
      return 2;
    case IF_OPER_TESTING:
      return 3;
    case IF_OPER_DORMANT:
      return 5;
    case IF_OPER_NOTPRESENT:
      return 6;
    case IF_OPER_LOWERLAYERDOWN:
      return 7;
    default:
      // Drivers that do not track carrier (the loopback, many virtual
      // links) report "unknown" while they pass traffic perfectly well.
      return (flags & IFF_UP) && (flags & IFF_RUNNING) ? 1 : 4;
  }
}

int32_t TcpConnStateOf(uint8_t kernelState) {
  // Kernel TCP_* values 1..12 in order: ESTABLISHED, SYN_SENT, SYN_RECV,
  // FIN_WAIT1, FIN_WAIT2, TIME_WAIT, CLOSE, CLOSE_WAIT, LAST_ACK, LISTEN,
  // CLOSING, NEW_SYN_RECV.
  static const int32_t kMap[] = {1, 5, 3, 4, 6, 7, 11, 1, 8, 9, 2, 10, 4};
  return kernelState < std::size(kMap) ? kMap[kernelState] : 1;
}

namespace {

uint32_t U32Of(const void* data, size_t size) {
  uint32_t v = 0;
  if (size >= 4) {
    std::memcpy(&v, data, 4);
  }
  return v;
}

std::string TextOf(const void* data, size_t size) {
  return std::string(static_cast<const char*>(data), strnlen(static_cast<const char*>(data), size));
}

// The kind a link's IFLA_LINKINFO names (veth, bridge, vlan...), or empty.
std::string KindOf(const rtattr* linkInfo) {
  int length = static_cast<int>(RTA_PAYLOAD(linkInfo));
  for (auto* n = static_cast<const rtattr*>(RTA_DATA(linkInfo)); RTA_OK(n, length);
       n = RTA_NEXT(n, length)) {
    if (n->rta_type == IFLA_INFO_KIND) {
      return TextOf(RTA_DATA(n), RTA_PAYLOAD(n));
    }
  }
  return {};
}

// One attribute of an RTM_NEWLINK message into the link or its relations.
void TakeLinkAttribute(const rtattr* a, LinkInfo& link, LinkRelations& relation) {
  const void* data = RTA_DATA(a);
  const size_t size = RTA_PAYLOAD(a);
  switch (a->rta_type) {
    case IFLA_IFNAME:
      link.name = TextOf(data, size);
      break;
    case IFLA_IFALIAS:
      link.alias = TextOf(data, size);
      break;
    case IFLA_MASTER:
      relation.master = static_cast<int>(U32Of(data, size));
      break;
    case IFLA_LINK:
      relation.link = static_cast<int>(U32Of(data, size));
      break;
    case IFLA_LINK_NETNSID:
      relation.linkInOtherNamespace = true;
      break;
    case IFLA_PARENT_DEV_NAME:
      link.hasDevice = true;
      break;
    case IFLA_CARRIER_CHANGES:
      link.carrierChanges = U32Of(data, size);
      break;
    case IFLA_LINKINFO:
      link.kind = KindOf(a);
      break;
    case IFLA_MTU:
      link.mtu = size >= 4 ? U32Of(data, size) : link.mtu;
      break;
    case IFLA_ADDRESS:
      link.address.assign(static_cast<const char*>(data), size);
      break;
    case IFLA_OPERSTATE:
      if (size >= 1) {
        link.operState = *static_cast<const uint8_t*>(data);
      }
      break;
    case IFLA_STATS64: {
      rtnl_link_stats64 s{};
      std::memcpy(&s, data, std::min(size, sizeof s));
      TakeCounters(s, link);
      break;
    }
    default:
      break;
  }
}

// One RTM_NEWLINK message as a link and what it says of its relations.
void ParseLink(const nlmsghdr* h, LinkInfo& link, LinkRelations& relation) {
  const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(h));
  link.index = info->ifi_index;
  link.arpType = info->ifi_type;
  link.flags = info->ifi_flags;
  int length = static_cast<int>(IFLA_PAYLOAD(h));
  for (auto* a = IFLA_RTA(info); RTA_OK(a, length); a = RTA_NEXT(a, length)) {
    TakeLinkAttribute(a, link, relation);
  }
}

}  // namespace

// ---- LinkReader ----

LinkReader::LinkReader() {
  netlink_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (netlink_ >= 0) {
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    if (::bind(netlink_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      ::close(netlink_);
      netlink_ = -1;
    }
  }
  ioctlSocket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  utsname system{};
  int major = 0;
  int minor = 0;
  if (::uname(&system) == 0 && std::sscanf(system.release, "%d.%d", &major, &minor) == 2) {
    netlinkNamesDevices_ = major > 5 || (major == 5 && minor >= 15);
  }
}

LinkReader::~LinkReader() {
  if (netlink_ >= 0) {
    ::close(netlink_);
  }
  if (ioctlSocket_ >= 0) {
    ::close(ioctlSocket_);
  }
}

uint64_t LinkReader::SpeedOf(const std::string& name) {
  if (ioctlSocket_ < 0 || name.size() >= IFNAMSIZ) {
    return 0;
  }
  ethtool_cmd cmd{};
  cmd.cmd = ETHTOOL_GSET;
  ifreq request{};
  std::memcpy(request.ifr_name, name.c_str(), name.size() + 1);
  request.ifr_data = reinterpret_cast<char*>(&cmd);
  ++speedQueries_;
  if (::ioctl(ioctlSocket_, SIOCETHTOOL, &request) != 0) {
    return 0;
  }
  const uint32_t mbps = ethtool_cmd_speed(&cmd);
  if (mbps == 0 || mbps == static_cast<uint32_t>(SPEED_UNKNOWN) || mbps == 0xFFFF) {
    return 0;
  }
  return static_cast<uint64_t>(mbps) * 1000000;
}

bool LinkReader::ReadNetlink(std::vector<LinkInfo>& links) {
  struct {
    nlmsghdr header;
    ifinfomsg info;
  } request{};
  request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ifinfomsg));
  request.header.nlmsg_type = RTM_GETLINK;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.header.nlmsg_seq = ++sequence_;
  request.info.ifi_family = AF_UNSPEC;

  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(netlink_, &request, request.header.nlmsg_len, 0,
               reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0) {
    return false;
  }

  std::vector<LinkRelations> relations;
  for (;;) {
    const ssize_t received = ::recv(netlink_, buffer_.get(), kBufferSize, 0);
    if (received < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    size_t remaining = static_cast<size_t>(received);
    for (auto* h = reinterpret_cast<nlmsghdr*>(buffer_.get()); NLMSG_OK(h, remaining);
         h = NLMSG_NEXT(h, remaining)) {
      if (h->nlmsg_seq != sequence_) {
        continue;  // an answer to an earlier, abandoned request
      }
      if (h->nlmsg_type == NLMSG_DONE) {
        ResolveLowerLayers(links, relations);
        return true;
      }
      if (h->nlmsg_type == NLMSG_ERROR) {
        return false;
      }
      if (h->nlmsg_type != RTM_NEWLINK) {
        continue;
      }
      LinkInfo link;
      LinkRelations relation;
      ParseLink(h, link, relation);
      links.push_back(std::move(link));
      relations.push_back(relation);
    }
  }
}

void LinkReader::CompleteFromCache(std::vector<LinkInfo>& links) {
  uint64_t carrierChanges = 0;
  for (const LinkInfo& link : links) {
    carrierChanges += link.carrierChanges;
  }
  const bool carrierMoved = carrierChanges != carrierChangesSeen_;
  carrierChangesSeen_ = carrierChanges;

  std::vector<std::pair<int, Remembered>> kept;
  kept.reserve(links.size());
  for (LinkInfo& link : links) {
    const auto old = std::lower_bound(
        remembered_.begin(), remembered_.end(), link.index,
        [](const std::pair<int, Remembered>& r, int index) { return r.first < index; });
    Remembered r;
    bool speedKnown = false;
    if (old != remembered_.end() && old->first == link.index && old->second.name == link.name) {
      r = std::move(old->second);
      speedKnown = !carrierMoved;
    } else {
      r.name = link.name;
    }
    if (!speedKnown) {
      r.speed = (link.flags & IFF_LOOPBACK) ? 0 : SpeedOf(link.name);
    }
    link.speedBitsPerSecond = r.speed;
    if (!netlinkNamesDevices_) {
      if (!r.deviceKnown) {
        r.hasDevice = HasDevice(link.name, "/sys/class/net");
        r.deviceKnown = true;
      }
      link.hasDevice = r.hasDevice;
    }
    kept.emplace_back(link.index, std::move(r));
  }
  std::sort(kept.begin(), kept.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  remembered_.swap(kept);
}

std::vector<LinkInfo> LinkReader::Read() {
  std::vector<LinkInfo> links;
  links.reserve(remembered_.size());
  ++fullReads_;
  if (netlink_ < 0 || !ReadNetlink(links)) {
    links = ParseProcNetDev(ReadWholeFile("/proc/net/dev"));
    for (LinkInfo& link : links) {
      FillFromSysfs(link, "/sys/class/net");
    }
    FillLowerLayersFromSysfs(links, "/sys/class/net");
  } else {
    CompleteFromCache(links);
  }
  std::sort(links.begin(), links.end(),
            [](const LinkInfo& a, const LinkInfo& b) { return a.index < b.index; });
  return links;
}

bool LinkReader::Update(std::vector<LinkInfo>& links) {
  // Notifications that came before the counters' answer are read with it,
  // so a change shows at this call, one during the read at the next.
  if (stats_.Available() && !links.empty() && UpdateCounters(links) && !stats_.TakeNotedChange()) {
    return false;
  }
  stats_.LinksChanged();  // the whole read tells what they would
  links = Read();
  return true;
}

bool LinkReader::UpdateCounters(std::vector<LinkInfo>& links) {
  if (!stats_.Read(counters_) || counters_.size() != links.size()) {
    return false;
  }
  if (!std::is_sorted(
          counters_.begin(), counters_.end(),
          [](const LinkCounters& a, const LinkCounters& b) { return a.index < b.index; })) {
    std::sort(counters_.begin(), counters_.end(),
              [](const LinkCounters& a, const LinkCounters& b) { return a.index < b.index; });
  }
  // A set that changed without a word (notifications lost before the
  // socket saw them) shows as other indexes: then everything is read.
  for (size_t i = 0; i < links.size(); ++i) {
    if (counters_[i].index != links[i].index) {
      return false;
    }
  }
  for (size_t i = 0; i < links.size(); ++i) {
    static_cast<LinkCounters&>(links[i]) = counters_[i];
  }
  return true;
}

}  // namespace velmar::agent
