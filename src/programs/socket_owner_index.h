#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "programs/tcp_socket_reader.h"

namespace velmar::programs {

// Who holds a socket.
struct SocketOwner {
  enum class Kind {
    Program,    // a process this user may look into: `program` names its executable
    OtherUser,  // another user's, whose processes this user may not look into
    Unknown,    // no process found holding it (closed meanwhile, or the kernel's own)
  };
  Kind kind = Kind::Unknown;
  std::string program;
};

// The owners of sockets by inode. A socket's owner is looked up once, when
// its inode is first seen: first among the processes already known to hold
// sockets (a browser opening one more connection), and only when that
// fails among every process, at most once per `rescan`, so a tick never
// pays for a look through every process's descriptors because of one
// short-lived socket.
class SocketOwnerIndex {
 public:
  using Clock = std::chrono::steady_clock;

  explicit SocketOwnerIndex(std::string procRoot = "/proc", uid_t viewer = ::geteuid(),
                            std::chrono::milliseconds rescan = std::chrono::milliseconds(2000));

  // Looks up the owners of the sockets not seen before and forgets those
  // that are gone.
  void Update(const std::vector<TcpSocketBytes>& sockets, Clock::time_point now);
  const SocketOwner& OwnerOf(uint64_t inode) const;

  // What the look-ups cost so far, for tests and benches.
  uint64_t FullScans() const { return fullScans_; }
  uint64_t ProcessesRead() const { return processesRead_; }

 private:
  // Reads the descriptors of `pid`, taking the owners of `wanted` it holds.
  // False when the process is gone or closed to this user.
  bool ReadProcess(uint32_t pid, std::unordered_set<uint64_t>& wanted);
  void ScanAll(std::unordered_set<uint64_t>& wanted);
  std::string ProgramOf(uint32_t pid) const;

  std::string procRoot_;
  uid_t viewer_;
  std::chrono::milliseconds rescan_;
  std::unordered_map<uint64_t, SocketOwner> owners_;
  // Processes found holding sockets, with their programs.
  std::unordered_map<uint32_t, std::string> holders_;
  Clock::time_point lastFullScan_{};
  uint64_t fullScans_ = 0;
  uint64_t processesRead_ = 0;
};

}  // namespace velmar::programs
