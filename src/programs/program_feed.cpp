#include "programs/program_feed.h"

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

extern char** environ;

namespace velmar::programs {

namespace {

// How long a reading waits for the helper's snapshot at most.
constexpr int kSnapshotWaitMs = 500;

// An IPv6 socket's IPv4-mapped addresses as the IPv4 packets name them.
struct Endpoint {
  uint8_t family = 0;
  std::array<uint8_t, 16> local{};
  std::array<uint8_t, 16> remote{};
};

Endpoint EndpointOf(const TcpSocketBytes& s) {
  static constexpr std::array<uint8_t, 12> kMapped{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  Endpoint e{s.family, s.local, s.remote};
  const auto mapped = [](const std::array<uint8_t, 16>& a) {
    return std::equal(kMapped.begin(), kMapped.end(), a.begin());
  };
  if (s.family == AF_INET6 && mapped(s.local) &&
      (mapped(s.remote) || s.remote == decltype(s.remote){})) {
    e.family = AF_INET;
    e.local = {s.local[12], s.local[13], s.local[14], s.local[15]};
    e.remote =
        s.remote == decltype(s.remote){}
            ? decltype(s.remote){}
            : std::array<uint8_t, 16>{s.remote[12], s.remote[13], s.remote[14], s.remote[15]};
  }
  return e;
}

using ExactKey = std::tuple<uint8_t, uint8_t, std::array<uint8_t, 16>, uint16_t,
                            std::array<uint8_t, 16>, uint16_t>;
using BoundKey = std::tuple<uint8_t, std::array<uint8_t, 16>, uint16_t>;

}  // namespace

std::string FindCaptureHelper(const std::string& applicationDir) {
  for (const char* place : {"/velmar-capture", "/../lib/velmar/velmar-capture"}) {
    const std::string path = applicationDir + place;
    if (::access(path.c_str(), X_OK) == 0) {
      return path;
    }
  }
  return {};
}

std::string DefaultCaptureSocket() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return std::string(runtime != nullptr && *runtime != '\0' ? runtime : "/tmp") +
         "/velmar/capture.sock";
}

std::optional<std::vector<FlowBytes>> FetchCaptureSnapshot(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    return std::nullopt;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return std::nullopt;
  }
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  std::string text;
  char buffer[65536];
  bool complete = false;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kSnapshotWaitMs) <= 0) {
      break;
    }
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      complete = n == 0;
      break;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  // A snapshot cut short would take bytes away from its flows.
  if (!complete) {
    return std::nullopt;
  }
  return ParseFlowSnapshot(text);
}

ProgramFeed::ProgramFeed(Options options)
    : options_(std::move(options)),
      owners_(options_.procRoot, options_.viewer),
      traffic_(std::make_unique<ProgramTraffic>(options_.counts)) {}

ProgramFeed::~ProgramFeed() {
  if (helperPid_ > 0) {
    ::kill(helperPid_, SIGTERM);
    ::waitpid(helperPid_, nullptr, 0);
  }
}

void ProgramFeed::StartHelper() {
  if (options_.helper.empty() || ::access(options_.helper.c_str(), X_OK) != 0) {
    return;
  }
  const std::string& path = options_.captureSocket;
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    ::mkdir(path.substr(0, slash).c_str(), 0700);
  }
  char* argv[] = {const_cast<char*>(options_.helper.c_str()), const_cast<char*>(path.c_str()),
                  nullptr};
  pid_t pid = -1;
  if (::posix_spawn(&pid, options_.helper.c_str(), nullptr, nullptr, argv, environ) == 0) {
    helperPid_ = pid;
  }
}

void ProgramFeed::ReapHelper() {
  if (helperPid_ > 0 && ::waitpid(helperPid_, nullptr, WNOHANG) == helperPid_) {
    helperPid_ = 0;  // ended (no capabilities): not started again
  }
}

std::vector<TcpSocketBytes> ProgramFeed::SocketsOfFlows(const std::vector<FlowBytes>& flows) {
  std::map<ExactKey, const TcpSocketBytes*> exact;
  std::map<BoundKey, const TcpSocketBytes*> bound;
  std::map<uint16_t, const TcpSocketBytes*> port;
  for (const TcpSocketBytes& s : tcp_) {
    const Endpoint e = EndpointOf(s);
    exact[{IPPROTO_TCP, e.family, e.local, s.localPort, e.remote, s.remotePort}] = &s;
  }
  for (const TcpSocketBytes& s : udp_) {
    const Endpoint e = EndpointOf(s);
    exact[{IPPROTO_UDP, e.family, e.local, s.localPort, e.remote, s.remotePort}] = &s;
    bound.try_emplace({e.family, e.local, s.localPort}, &s);
    port.try_emplace(s.localPort, &s);
  }
  std::map<FlowKey, Previous> seen;
  std::unordered_map<uint64_t, TcpSocketBytes> matched;
  for (const FlowBytes& flow : flows) {
    const FlowKey& k = flow.key;
    const TcpSocketBytes* socket = nullptr;
    if (const auto it =
            exact.find({k.protocol, k.family, k.local, k.localPort, k.remote, k.remotePort});
        it != exact.end()) {
      socket = it->second;
    } else if (k.protocol == IPPROTO_UDP) {
      // An unconnected socket takes datagrams of any peer, on its address
      // or on every address.
      if (const auto b = bound.find({k.family, k.local, k.localPort}); b != bound.end()) {
        socket = b->second;
      } else if (const auto p = port.find(k.localPort); p != port.end()) {
        socket = p->second;
      }
    }
    seen[k] = Previous{flow.received, flow.transmitted};
    if (socket == nullptr) {
      continue;  // closed since: the interfaces' count keeps it "not attributed"
    }
    // Whether it counts is the flow's to say: an unconnected UDP socket
    // names no peer, and one socket may reach the loopback and the line.
    TcpSocketBytes probe = *socket;
    probe.family = k.family;
    probe.local = k.local;
    probe.remote = k.remote;
    probe.localPort = k.localPort;
    probe.remotePort = k.remotePort;
    if (!options_.counts(probe)) {
      continue;
    }
    const auto before = flowLast_.find(k);
    const Previous old = before == flowLast_.end() ? Previous{} : before->second;
    Previous& total = flowSums_[socket->inode];
    total.received += Grown(flow.received, old.received);
    total.sent += Grown(flow.transmitted, old.sent);
    matched.try_emplace(socket->inode, probe);
  }
  flowLast_.swap(seen);
  std::vector<TcpSocketBytes> sockets;
  sockets.reserve(matched.size());
  std::unordered_map<uint64_t, Previous> kept;
  for (const auto& [inode, socket] : matched) {
    TcpSocketBytes s = socket;
    const Previous& total = flowSums_[inode];
    s.received = total.received;
    s.sent = total.sent;
    kept[inode] = total;
    sockets.push_back(s);
  }
  flowSums_.swap(kept);
  return sockets;
}

bool ProgramFeed::Update(uint64_t countedReceived, uint64_t countedTransmitted,
                         Clock::time_point now) {
  if (started_ && now - last_ < options_.interval) {
    return false;
  }
  ReapHelper();
  std::optional<std::vector<FlowBytes>> flows = FetchCaptureSnapshot(options_.captureSocket);
  if (!flows && helperPid_ < 0) {
    StartHelper();
    helperPid_ = std::max(helperPid_, pid_t{0});
  }
  reader_.Read(tcp_);
  std::vector<TcpSocketBytes> counted;
  if (flows) {
    reader_.ReadUdp(udp_);
    counted = SocketsOfFlows(*flows);
  }
  const bool precise = flows.has_value();
  if (started_ && precise != precise_) {
    // The helper's counts are whole packets, the sockets' payload: a new
    // baseline, the volumes so far kept.
    for (const ProgramFigures& row : traffic_->Rows()) {
      Previous& carried = carried_[row.program];
      carried.received += row.received;
      carried.sent += row.transmitted;
    }
    traffic_ = std::make_unique<ProgramTraffic>(options_.counts);
    flowLast_.clear();
    flowSums_.clear();
  }
  precise_ = precise;
  std::vector<TcpSocketBytes> all = precise ? counted : tcp_;
  if (precise) {
    all.insert(all.end(), tcp_.begin(), tcp_.end());
  }
  owners_.Update(all, now);
  traffic_->Update(precise ? counted : tcp_, owners_, countedReceived, countedTransmitted, now);
  rows_ = traffic_->Rows();
  for (const auto& [program, carried] : carried_) {
    const auto it = std::find_if(rows_.begin(), rows_.end(),
                                 [&](const ProgramFigures& r) { return r.program == program; });
    if (it != rows_.end()) {
      it->received += carried.received;
      it->transmitted += carried.sent;
    }
  }
  UpdateConnections(now);
  started_ = true;
  last_ = now;
  ++readings_;
  return true;
}

void ProgramFeed::UpdateConnections(Clock::time_point now) {
  const double seconds = started_ ? std::chrono::duration<double>(now - last_).count() : 0;
  std::unordered_map<uint64_t, Previous> seen;
  seen.reserve(tcp_.size());
  connections_.clear();
  connections_.reserve(tcp_.size());
  for (const TcpSocketBytes& s : tcp_) {
    ConnectionFigures c;
    c.socket = s;
    const SocketOwner& owner = owners_.OwnerOf(s.inode);
    c.program = owner.kind == SocketOwner::Kind::Program     ? owner.program
                : owner.kind == SocketOwner::Kind::OtherUser ? kOtherUsers
                                                             : kNotAttributed;
    const auto before = previous_.find(s.inode);
    if (before != previous_.end() && seconds > 0) {
      c.receiveRate = static_cast<double>(Grown(s.received, before->second.received)) / seconds;
      c.transmitRate = static_cast<double>(Grown(s.sent, before->second.sent)) / seconds;
    }
    seen[s.inode] = Previous{s.received, s.sent};
    connections_.push_back(std::move(c));
  }
  previous_.swap(seen);
}

std::string ProgramFeed::NotAttributedText() const {
  return precise_ ? "Packets of sockets closed before they were read, and the kernel's own "
                    "traffic."
                  : "UDP and QUIC, connections opened and closed between two readings, protocol "
                    "headers, and the kernel's own traffic (the capture helper is not running).";
}

}  // namespace velmar::programs
