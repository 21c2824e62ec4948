#pragma once

#include <linux/if_link.h>
#include <linux/netlink.h>

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmar::agent {

// One link's counters as the kernel's 64-bit statistics give them.
struct LinkCounters {
  int index = 0;
  uint64_t rxBytes = 0, rxPackets = 0, rxMulticast = 0, rxDropped = 0, rxErrors = 0,
           rxNoHandler = 0;
  uint64_t txBytes = 0, txPackets = 0, txDropped = 0, txErrors = 0;
};

// The cheap half of reading the links: every link's counters from one
// RTM_GETSTATS dump that asks for IFLA_STATS_LINK_64 alone (no names,
// addresses, link info or per-family statistics built and copied), and
// word of any change to the links themselves from the kernel's RTNLGRP_LINK
// notifications, so names, types, state and relations are read again only
// when something happened to them.
// The kernel's 64-bit statistics as a link's counters (index untouched).
void TakeCounters(const rtnl_link_stats64& stats, LinkCounters& counters);

class LinkStatsReader {
 public:
  LinkStatsReader();
  ~LinkStatsReader();
  LinkStatsReader(const LinkStatsReader&) = delete;
  LinkStatsReader& operator=(const LinkStatsReader&) = delete;

  // False when the kernel offers no routing netlink socket here.
  bool Available() const { return socket_ >= 0; }

  // Every link's counters, in the kernel's (ifindex) order; false when the
  // dump failed (a kernel without RTM_GETSTATS, before 4.7). Notes the
  // notifications that came before the answer (TakeNotedChange tells).
  bool Read(std::vector<LinkCounters>& counters);

  // True when a link was added, removed or changed (state, carrier, name,
  // relations) since the last call, or when notifications were lost; takes
  // the notifications that came meanwhile. True at the first call.
  bool LinksChanged();

  // What LinksChanged tells, from the notifications the reads met, without
  // asking the socket for more: the tick's way, one system call cheaper.
  bool TakeNotedChange();

 private:
  void Note(const nlmsghdr* h);
  // How much of a received message the buffer holds; one cut short counts
  // as a change.
  size_t Kept(ssize_t received);

  // One socket for the dumps and the notifications: they arrive in order,
  // so those ahead of a dump's answer are read with it.
  int socket_ = -1;
  uint32_t sequence_ = 0;
  bool changed_ = true;
  std::vector<char> buffer_;
};

}  // namespace velmar::agent
