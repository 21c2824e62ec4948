#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace velmar::programs {

// A TCP connection over the loopback of one family, made by this process.
struct LoopbackPair {
  int client = -1;
  int server = -1;

  explicit LoopbackPair(int family) {
    const int listener = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage address{};
    socklen_t size = 0;
    if (family == AF_INET) {
      auto* a = reinterpret_cast<sockaddr_in*>(&address);
      a->sin_family = AF_INET;
      a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      size = sizeof *a;
    } else {
      auto* a = reinterpret_cast<sockaddr_in6*>(&address);
      a->sin6_family = AF_INET6;
      a->sin6_addr = in6addr_loopback;
      size = sizeof *a;
    }
    EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
    EXPECT_EQ(::listen(listener, 1), 0);
    EXPECT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    client = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), size), 0);
    server = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ::close(listener);
  }
  ~LoopbackPair() {
    ::close(client);
    ::close(server);
  }

  // Sends `count` bytes one way and reads them all on the other end.
  static void Move(int from, int to, size_t count) {
    std::vector<char> data(count, 'x');
    size_t sent = 0;
    size_t got = 0;
    while (got < count) {
      if (sent < count) {
        const ssize_t n = ::send(from, data.data() + sent, count - sent, MSG_DONTWAIT);
        sent += n > 0 ? static_cast<size_t>(n) : 0;
      }
      pollfd p{to, POLLIN, 0};
      ::poll(&p, 1, 100);
      const ssize_t n = ::recv(to, data.data(), count - got, MSG_DONTWAIT);
      got += n > 0 ? static_cast<size_t>(n) : 0;
    }
  }
};

inline uint64_t InodeOf(int fd) {
  struct stat s {};
  ::fstat(fd, &s);
  return s.st_ino;
}

inline std::string OwnExecutable() {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path);
  return std::string(path, n > 0 ? static_cast<size_t>(n) : 0);
}

}  // namespace velmar::programs
