#include "agent/link_stats.h"

#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace velmar::agent {

namespace {

int OpenRouteSocket(uint32_t groups) {
  const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0) {
    return -1;
  }
  sockaddr_nl local{};
  local.nl_family = AF_NETLINK;
  local.nl_groups = groups;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The counters of one RTM_NEWSTATS message; false when it carries none.
bool ParseStats(const nlmsghdr* h, LinkCounters& counters) {
  if (h->nlmsg_len < NLMSG_LENGTH(sizeof(if_stats_msg))) {
    return false;
  }
  const auto* message = static_cast<const if_stats_msg*>(NLMSG_DATA(h));
  counters.index = static_cast<int>(message->ifindex);
  int length = static_cast<int>(h->nlmsg_len - NLMSG_LENGTH(sizeof(if_stats_msg)));
  for (auto* a = reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(message) +
                                                 NLMSG_ALIGN(sizeof(if_stats_msg)));
       RTA_OK(a, length); a = RTA_NEXT(a, length)) {
    if (a->rta_type == IFLA_STATS_LINK_64) {
      rtnl_link_stats64 stats{};
      std::memcpy(&stats, RTA_DATA(a), std::min<size_t>(RTA_PAYLOAD(a), sizeof stats));
      TakeCounters(stats, counters);
      return true;
    }
  }
  return false;
}

}  // namespace

void TakeCounters(const rtnl_link_stats64& s, LinkCounters& c) {
  c.rxBytes = s.rx_bytes;
  c.rxPackets = s.rx_packets;
  c.rxMulticast = s.multicast;
  c.rxDropped = s.rx_dropped;
  c.rxErrors = s.rx_errors;
  c.rxNoHandler = s.rx_nohandler;
  c.txBytes = s.tx_bytes;
  c.txPackets = s.tx_packets;
  c.txDropped = s.tx_dropped;
  c.txErrors = s.tx_errors;
}

namespace {
// The kernel sizes each part of a dump to the largest receive the socket
// ever asked for (up to 32 KB), and a part over two pages comes from the
// page allocator: with a 64 KB buffer every tick's dump took and freed an
// order-3 block, a tenth of the meter's whole cost. A page (8 KB at most)
// is what the kernel's own smallest part (NLMSG_GOODSIZE) fits in, and it
// comes from a slab; about fifteen links fit, more come in further parts.
// A notification longer than this arrives cut short, and counts as a
// change.
size_t ReceiveSize() {
  const long page = sysconf(_SC_PAGESIZE);
  return page > 0 ? std::min<size_t>(static_cast<size_t>(page), 8192) : 8192;
}
constexpr size_t kLargestReceive = 64 * 1024;
}  // namespace

LinkStatsReader::LinkStatsReader() : buffer_(ReceiveSize()) {
  // Subscribed before any read, so no change after it goes unseen.
  socket_ = OpenRouteSocket(RTMGRP_LINK);
}

LinkStatsReader::~LinkStatsReader() {
  if (socket_ >= 0) {
    ::close(socket_);
  }
}

void LinkStatsReader::Note(const nlmsghdr* h) {
  changed_ = changed_ || h->nlmsg_type == RTM_NEWLINK || h->nlmsg_type == RTM_DELLINK;
}

size_t LinkStatsReader::Kept(ssize_t received) {
  // MSG_TRUNC makes recv say how long the message was, not what it kept.
  if (static_cast<size_t>(received) <= buffer_.size()) {
    return static_cast<size_t>(received);
  }
  changed_ = true;  // what was cut may have been a link's change
  return buffer_.size();
}

bool LinkStatsReader::TakeNotedChange() {
  const bool changed = changed_;
  changed_ = false;
  return changed;
}

bool LinkStatsReader::Read(std::vector<LinkCounters>& counters) {
  counters.clear();
  if (socket_ < 0) {
    return false;
  }
  struct {
    nlmsghdr header;
    if_stats_msg stats;
  } request{};
  request.header.nlmsg_len = NLMSG_LENGTH(sizeof(if_stats_msg));
  request.header.nlmsg_type = RTM_GETSTATS;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.header.nlmsg_seq = ++sequence_;
  request.stats.family = AF_UNSPEC;
  request.stats.filter_mask = IFLA_STATS_FILTER_BIT(IFLA_STATS_LINK_64);
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(socket_, &request, request.header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof kernel) < 0) {
    return false;
  }
  for (;;) {
    const ssize_t received = ::recv(socket_, buffer_.data(), buffer_.size(), MSG_TRUNC);
    if (received < 0) {
      if (errno == EINTR) {
        continue;
      }
      // ENOBUFS: notifications, perhaps the answer too, were dropped.
      changed_ = changed_ || errno == ENOBUFS;
      return false;
    }
    size_t remaining = Kept(received);
    if (remaining < static_cast<size_t>(received) &&
        reinterpret_cast<const nlmsghdr*>(buffer_.data())->nlmsg_seq == sequence_) {
      // A part of the answer cut short: links would be missing. A kernel
      // that fills its parts fuller than this one is read with more room.
      buffer_.resize(std::min(buffer_.size() * 2, kLargestReceive));
      return false;
    }
    for (auto* h = reinterpret_cast<nlmsghdr*>(buffer_.data()); NLMSG_OK(h, remaining);
         h = NLMSG_NEXT(h, remaining)) {
      Note(h);  // a notification ahead of the answer, or among its parts
      if (h->nlmsg_seq != sequence_) {
        continue;  // an answer to an earlier, abandoned request
      }
      if (h->nlmsg_type == NLMSG_DONE) {
        return true;
      }
      if (h->nlmsg_type == NLMSG_ERROR) {
        return false;
      }
      LinkCounters link;
      if (h->nlmsg_type == RTM_NEWSTATS && ParseStats(h, link)) {
        counters.push_back(link);
      }
    }
  }
}

bool LinkStatsReader::LinksChanged() {
  if (socket_ < 0) {
    return true;
  }
  for (;;) {
    const ssize_t received =
        ::recv(socket_, buffer_.data(), buffer_.size(), MSG_DONTWAIT | MSG_TRUNC);
    if (received < 0) {
      if (errno == EINTR) {
        continue;
      }
      // ENOBUFS: the kernel dropped notifications; anything may have changed.
      changed_ = changed_ || errno == ENOBUFS;
      break;
    }
    size_t remaining = Kept(received);
    for (auto* h = reinterpret_cast<nlmsghdr*>(buffer_.data()); NLMSG_OK(h, remaining);
         h = NLMSG_NEXT(h, remaining)) {
      Note(h);  // answers to abandoned dumps change nothing
    }
  }
  return TakeNotedChange();
}

}  // namespace velmar::agent
