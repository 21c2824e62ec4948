#include "programs/socket_owner_index.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <string_view>

namespace velmar::programs {

namespace {

bool ParseNumber(std::string_view text, uint64_t& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// The inode of a descriptor's link text "socket:[12345]"; 0 for anything else.
uint64_t SocketInode(std::string_view link) {
  constexpr std::string_view kPrefix = "socket:[";
  uint64_t inode = 0;
  if (link.size() > kPrefix.size() + 1 && link.substr(0, kPrefix.size()) == kPrefix &&
      link.back() == ']' &&
      ParseNumber(link.substr(kPrefix.size(), link.size() - kPrefix.size() - 1), inode)) {
    return inode;
  }
  return 0;
}

std::string ReadLink(int dir, const char* name) {
  char target[4096];
  const ssize_t n = ::readlinkat(dir, name, target, sizeof target);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

}  // namespace

SocketOwnerIndex::SocketOwnerIndex(std::string procRoot, uid_t viewer,
                                   std::chrono::milliseconds rescan)
    : procRoot_(std::move(procRoot)), viewer_(viewer), rescan_(rescan) {}

const SocketOwner& SocketOwnerIndex::OwnerOf(uint64_t inode) const {
  static const SocketOwner kUnknown;
  const auto found = owners_.find(inode);
  return found == owners_.end() ? kUnknown : found->second;
}

void SocketOwnerIndex::Update(const std::vector<TcpSocketBytes>& sockets, Clock::time_point now) {
  std::unordered_set<uint64_t> present;
  std::unordered_set<uint64_t> wanted;
  present.reserve(sockets.size());
  for (const TcpSocketBytes& s : sockets) {
    present.insert(s.inode);
    if (s.inode == 0 || owners_.count(s.inode) != 0) {
      continue;
    }
    // Only root looks into every user's processes; for anyone else another
    // user's socket is known to be out of sight without looking.
    if (viewer_ != 0 && s.uid != viewer_) {
      owners_[s.inode] = SocketOwner{SocketOwner::Kind::OtherUser, {}};
    } else {
      wanted.insert(s.inode);
    }
  }
  std::erase_if(owners_, [&](const auto& entry) { return present.count(entry.first) == 0; });
  if (wanted.empty()) {
    return;
  }
  for (auto it = holders_.begin(); it != holders_.end() && !wanted.empty();) {
    if (ReadProcess(it->first, wanted)) {
      ++it;
    } else {
      it = holders_.erase(it);
    }
  }
  if (!wanted.empty() && (fullScans_ == 0 || now - lastFullScan_ >= rescan_)) {
    ScanAll(wanted);
    lastFullScan_ = now;
    // What no process holds after a look through all of them is nobody's
    // to name; it is not looked for again.
    for (uint64_t inode : wanted) {
      owners_[inode] = SocketOwner{};
    }
  }
}

void SocketOwnerIndex::ScanAll(std::unordered_set<uint64_t>& wanted) {
  ++fullScans_;
  DIR* proc = ::opendir(procRoot_.c_str());
  if (proc == nullptr) {
    return;
  }
  while (const dirent* entry = ::readdir(proc)) {
    uint64_t pid = 0;
    if (wanted.empty()) {
      break;
    }
    if (ParseNumber(entry->d_name, pid) && holders_.count(static_cast<uint32_t>(pid)) == 0) {
      ReadProcess(static_cast<uint32_t>(pid), wanted);
    }
  }
  ::closedir(proc);
}

bool SocketOwnerIndex::ReadProcess(uint32_t pid, std::unordered_set<uint64_t>& wanted) {
  ++processesRead_;
  const std::string base = procRoot_ + "/" + std::to_string(pid);
  const int fdDir = ::open((base + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fdDir < 0) {
    return false;
  }
  DIR* fds = ::fdopendir(fdDir);
  if (fds == nullptr) {
    ::close(fdDir);
    return false;
  }
  std::string program;
  bool holds = false;
  while (const dirent* entry = ::readdir(fds)) {
    if (entry->d_name[0] == '.') {
      continue;
    }
    const uint64_t inode = SocketInode(ReadLink(fdDir, entry->d_name));
    if (inode == 0) {
      continue;
    }
    holds = true;
    if (wanted.erase(inode) != 0) {
      if (program.empty()) {
        program = ProgramOf(pid);
      }
      owners_[inode] = SocketOwner{SocketOwner::Kind::Program, program};
    }
  }
  ::closedir(fds);
  if (holds) {
    holders_[pid] = program.empty() ? ProgramOf(pid) : program;
  }
  return holds;
}

std::string SocketOwnerIndex::ProgramOf(uint32_t pid) const {
  const std::string base = procRoot_ + "/" + std::to_string(pid);
  std::string exe = ReadLink(AT_FDCWD, (base + "/exe").c_str());
  // An executable replaced by an upgrade while it runs is still the same
  // program.
  constexpr std::string_view kDeleted = " (deleted)";
  if (exe.size() > kDeleted.size() && exe.ends_with(kDeleted)) {
    exe.resize(exe.size() - kDeleted.size());
  }
  if (!exe.empty()) {
    return exe;
  }
  // Kernel threads and processes whose executable is hidden go by name.
  std::string name;
  if (const int fd = ::open((base + "/comm").c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
    char buffer[64];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (n > 0) {
      name.assign(buffer, static_cast<size_t>(n));
      while (!name.empty() && name.back() == '\n') {
        name.pop_back();
      }
    }
  }
  return "[" + name + "]";
}

}  // namespace velmar::programs
