#include "programs/tcp_socket_reader.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>

#include "platform/exception.h"

namespace velmar::programs {

namespace {

// The kernel's TCP states are 1 (ESTABLISHED) to 11 (CLOSING); LISTEN (10)
// and TIME_WAIT (6) sockets carry no data, and 12 (NEW_SYN_RECV) is a
// request, not a socket with tcp_info.
constexpr uint32_t kTimeWait = 6;
constexpr uint32_t kListen = 10;
constexpr uint32_t kDataStates = 0xffeu & ~((1u << kTimeWait) | (1u << kListen));

std::string SystemError(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

bool IsLoopbackAddress(uint8_t family, const std::array<uint8_t, 16>& a) {
  if (family == AF_INET) {
    return a[0] == 127;
  }
  static constexpr std::array<uint8_t, 16> kLoopback6{0, 0, 0, 0, 0, 0, 0, 0,
                                                      0, 0, 0, 0, 0, 0, 0, 1};
  static constexpr std::array<uint8_t, 12> kMappedPrefix{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  if (a == kLoopback6) {
    return true;
  }
  return std::equal(kMappedPrefix.begin(), kMappedPrefix.end(), a.begin()) && a[12] == 127;
}

}  // namespace

bool TcpSocketBytes::OnLoopback() const {
  // A connection to one of this machine's own addresses goes over lo too,
  // whatever address it names.
  return IsLoopbackAddress(family, remote) || (local == remote && family != 0);
}

bool ParseInetDiagMessage(const nlmsghdr* message, TcpSocketBytes& out) {
  if ((message->nlmsg_type != SOCK_DIAG_BY_FAMILY && message->nlmsg_type != TCPDIAG_GETSOCK) ||
      message->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
    return false;
  }
  const auto* diag = static_cast<const inet_diag_msg*>(NLMSG_DATA(message));
  if (diag->idiag_family != AF_INET && diag->idiag_family != AF_INET6) {
    return false;
  }
  out = TcpSocketBytes{};
  out.family = diag->idiag_family;
  const size_t size = diag->idiag_family == AF_INET ? 4 : 16;
  std::memcpy(out.local.data(), diag->id.idiag_src, size);
  std::memcpy(out.remote.data(), diag->id.idiag_dst, size);
  out.localPort = ntohs(diag->id.idiag_sport);
  out.remotePort = ntohs(diag->id.idiag_dport);
  out.boundInterface = diag->id.idiag_if;
  out.state = diag->idiag_state;
  out.uid = diag->idiag_uid;
  out.inode = diag->idiag_inode;
  int length = static_cast<int>(message->nlmsg_len - NLMSG_LENGTH(sizeof(inet_diag_msg)));
  for (auto* a = reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(diag) +
                                                 NLMSG_ALIGN(sizeof(inet_diag_msg)));
       RTA_OK(a, length); a = RTA_NEXT(a, length)) {
    if (a->rta_type != INET_DIAG_INFO) {
      continue;
    }
    // Older kernels send a shorter tcp_info; what they lack stays 0.
    tcp_info info{};
    std::memcpy(&info, RTA_DATA(a), std::min<size_t>(RTA_PAYLOAD(a), sizeof info));
    const size_t payload = RTA_PAYLOAD(a);
    if (payload >= offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received) {
      out.received = info.tcpi_bytes_received;
    }
    // What went on the wire, retransmissions included, as the interface
    // counts it. Kernels before 4.19 have only the acknowledged count, which
    // for an active open includes the SYN's one sequence number.
    if (payload >= offsetof(tcp_info, tcpi_bytes_sent) + sizeof info.tcpi_bytes_sent) {
      out.sent = info.tcpi_bytes_sent;
    } else if (payload >= offsetof(tcp_info, tcpi_bytes_acked) + sizeof info.tcpi_bytes_acked) {
      out.sent = info.tcpi_bytes_acked;
    }
  }
  return true;
}

TcpSocketReader::TcpSocketReader() {
  fd_ = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (fd_ < 0) {
    throw Exception(SystemError("Cannot open the socket diagnostics"));
  }
  // Large enough for the kernel's biggest dump part, so none is cut.
  buffer_.resize(32768);
}

TcpSocketReader::~TcpSocketReader() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

void TcpSocketReader::Read(std::vector<TcpSocketBytes>& out) {
  out.clear();
  // Both families share one hash table in the kernel, and walking it is
  // most of a dump's cost on a busy host: the older request, which asks
  // for every family at once, walks it once instead of twice.
  if (!bothFamiliesRefused_) {
    try {
      Dump(AF_UNSPEC, out);
      return;
    } catch (const Exception&) {
      bothFamiliesRefused_ = true;
      out.clear();
    }
  }
  Dump(AF_INET, out);
  Dump(AF_INET6, out);
}

void TcpSocketReader::ReadUdp(std::vector<TcpSocketBytes>& out) {
  out.clear();
  Dump(AF_INET, out, IPPROTO_UDP);
  Dump(AF_INET6, out, IPPROTO_UDP);
}

void TcpSocketReader::Dump(uint8_t family, std::vector<TcpSocketBytes>& out, uint8_t protocol) {
  struct {
    nlmsghdr header;
    inet_diag_req_v2 body;
  } request{};
  struct {
    nlmsghdr header;
    inet_diag_req body;
  } both{};
  const void* message = &request;
  size_t size = sizeof request;
  if (family == AF_UNSPEC) {
    both.header.nlmsg_len = sizeof both;
    both.header.nlmsg_type = TCPDIAG_GETSOCK;
    both.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    both.header.nlmsg_seq = ++sequence_;
    both.body.idiag_states = kDataStates;
    both.body.idiag_ext = 1u << (INET_DIAG_INFO - 1);
    message = &both;
    size = sizeof both;
  } else {
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = ++sequence_;
    request.body.sdiag_family = family;
    request.body.sdiag_protocol = protocol;
    // A UDP socket's state says only whether it is connected.
    request.body.idiag_states = protocol == IPPROTO_TCP ? kDataStates : ~0u;
    request.body.idiag_ext = protocol == IPPROTO_TCP ? 1u << (INET_DIAG_INFO - 1) : 0;
  }
  const std::string sockets = protocol == IPPROTO_TCP ? " the TCP sockets" : " the UDP sockets";
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(fd_, message, size, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0) {
    throw Exception(SystemError(("Cannot ask for" + sockets).c_str()));
  }
  ++dumps_;
  TcpSocketBytes entry;
  for (;;) {
    const ssize_t got = ::recv(fd_, buffer_.data(), buffer_.size(), 0);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw Exception(SystemError(("Cannot read" + sockets).c_str()));
    }
    int length = static_cast<int>(got);
    for (auto* h = reinterpret_cast<const nlmsghdr*>(buffer_.data()); NLMSG_OK(h, length);
         h = NLMSG_NEXT(h, length)) {
      if (h->nlmsg_seq != sequence_) {
        continue;
      }
      if (h->nlmsg_type == NLMSG_DONE) {
        return;
      }
      if (h->nlmsg_type == NLMSG_ERROR) {
        const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(h));
        errno = -error->error;
        // A kernel built without IPv6 has nothing to say of that family.
        if (family == AF_INET6 && errno == ENOENT) {
          return;
        }
        throw Exception(SystemError(("Cannot read" + sockets).c_str()));
      }
      if (ParseInetDiagMessage(h, entry)) {
        out.push_back(entry);
      }
    }
  }
}

}  // namespace velmar::programs
