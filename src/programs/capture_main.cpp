// velmar-capture: counts the bytes of every TCP and UDP flow from packet
// headers, for the meter's precise per-program figures (UDP, QUIC, and
// connections too short to be seen between two readings of the sockets).
//   velmar-capture [SOCKET]
// It needs cap_net_raw and cap_net_admin, given to the file by the package,
// and gives them up once the capture is open. It serves the counts on a
// Unix socket (default $XDG_RUNTIME_DIR/velmar/capture.sock, this user's
// alone): each connection gets one snapshot, then the end of the stream.
// It ends with its parent, or on SIGTERM or SIGINT.
#include <linux/capability.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "programs/packet_flows.h"

using velmar::programs::FlowTable;
using velmar::programs::ParseCookedPacket;

namespace {

// Headers only: the largest IPv6 header chain this counts through, and the
// ports, fit in 128 bytes of a cooked packet.
constexpr int kSnapLength = 128;
constexpr int64_t kIdleFlowSeconds = 300;

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
  stopRequested = 1;
}

int64_t Seconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec;
}

int Fail(const char* what, const char* detail) {
  std::fprintf(stderr, "velmar-capture: %s: %s\n", what, detail);
  return 1;
}

// Every capability, effective, permitted and inheritable, given up: what
// the file granted serves the capture's opening and nothing after it.
bool DropCapabilities() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
  return ::syscall(SYS_capset, &header, data) == 0 && ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

std::string DefaultSocketPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string dir =
      std::string(runtime != nullptr && *runtime != '\0' ? runtime : "/tmp") + "/velmar";
  ::mkdir(dir.c_str(), 0700);
  return dir + "/capture.sock";
}

int Listen(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  ::unlink(path.c_str());
  const mode_t old = ::umask(077);
  const bool ok = fd >= 0 &&
                  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  ::listen(fd, 8) == 0;
  ::umask(old);
  if (!ok && fd >= 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// One snapshot to one reader, who has a second to take it.
void Serve(int listener, const FlowTable& flows) {
  const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (client < 0) {
    return;
  }
  const timeval limit{1, 0};
  ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  const std::string text = flows.Snapshot();
  for (size_t sent = 0; sent < text.size();) {
    const ssize_t n = ::send(client, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) {
      break;
    }
    sent += static_cast<size_t>(n);
  }
  ::close(client);
}

pcap_t* OpenCapture(char* error) {
  pcap_t* pcap = ::pcap_create("any", error);
  if (pcap == nullptr) {
    return nullptr;
  }
  if (::pcap_set_snaplen(pcap, kSnapLength) != 0 || ::pcap_set_immediate_mode(pcap, 1) != 0 ||
      ::pcap_set_buffer_size(pcap, 4 << 20) != 0 || ::pcap_activate(pcap) < 0 ||
      ::pcap_set_datalink(pcap, DLT_LINUX_SLL2) != 0) {
    std::snprintf(error, PCAP_ERRBUF_SIZE, "%s", ::pcap_geterr(pcap));
    ::pcap_close(pcap);
    return nullptr;
  }
  // The kernel hands over only TCP and UDP, cut to their headers.
  bpf_program filter{};
  if (::pcap_compile(pcap, &filter, "tcp or udp", 1, PCAP_NETMASK_UNKNOWN) != 0 ||
      ::pcap_setfilter(pcap, &filter) != 0 || ::pcap_setnonblock(pcap, 1, error) != 0) {
    std::snprintf(error, PCAP_ERRBUF_SIZE, "%s", ::pcap_geterr(pcap));
    ::pcap_freecode(&filter);
    ::pcap_close(pcap);
    return nullptr;
  }
  ::pcap_freecode(&filter);
  return pcap;
}

void CountPacket(u_char* table, const pcap_pkthdr* header, const u_char* bytes) {
  if (const auto packet = ParseCookedPacket(bytes, header->caplen)) {
    reinterpret_cast<FlowTable*>(table)->Count(*packet, Seconds());
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  const pid_t parent = ::getppid();
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (::getppid() != parent) {
    return 0;  // the parent ended before the line above
  }
  struct sigaction stop {};
  stop.sa_handler = RequestStop;
  ::sigaction(SIGTERM, &stop, nullptr);
  ::sigaction(SIGINT, &stop, nullptr);

  char error[PCAP_ERRBUF_SIZE] = {};
  pcap_t* pcap = OpenCapture(error);
  if (pcap == nullptr) {
    return Fail("cannot capture (it needs cap_net_raw and cap_net_admin)", error);
  }
  if (!DropCapabilities()) {
    return Fail("cannot give up its capabilities", std::strerror(errno));
  }
  const std::string path = argc > 1 ? argv[1] : DefaultSocketPath();
  const int listener = Listen(path);
  if (listener < 0) {
    return Fail(path.c_str(), std::strerror(errno));
  }
  std::fprintf(stderr, "velmar-capture: serving %s\n", path.c_str());

  FlowTable flows;
  int64_t lastPrune = Seconds();
  pollfd watched[2] = {{::pcap_get_selectable_fd(pcap), POLLIN, 0}, {listener, POLLIN, 0}};
  while (stopRequested == 0) {
    if (::poll(watched, 2, 1000) < 0 && errno != EINTR) {
      break;
    }
    if (watched[0].revents != 0) {
      ::pcap_dispatch(pcap, -1, CountPacket, reinterpret_cast<u_char*>(&flows));
    }
    if (watched[1].revents != 0) {
      Serve(listener, flows);
    }
    if (Seconds() - lastPrune >= 60) {
      lastPrune = Seconds();
      flows.Prune(lastPrune, kIdleFlowSeconds);
    }
  }
  ::close(listener);
  ::unlink(path.c_str());
  ::pcap_close(pcap);
  return 0;
}
