#include "net/host_lookup.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#include "net/socket_error.h"

namespace velmar {

struct HostLookup::State {
  std::string name;
  uint16_t port = 0;
  int eventDescriptor = -1;
  std::atomic<bool> done{false};
  uint16_t error = 0;
  std::vector<Endpoint> addresses;

  ~State() {
    if (eventDescriptor != -1) {
      ::close(eventDescriptor);
    }
  }
};

uint16_t HostLookup::ResolveNow(const QString& name, uint16_t port,
                                std::vector<Endpoint>& addresses) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* answer = nullptr;
  const QByteArray text = name.toUtf8();
  const int result = ::getaddrinfo(text.constData(), nullptr, &hints, &answer);
  const int savedErrno = errno;
  if (result != 0) {
    return NetworkCodeFromAddrInfo(result, savedErrno);
  }
  addresses.clear();
  for (const addrinfo* entry = answer; entry != nullptr; entry = entry->ai_next) {
    if ((entry->ai_family == AF_INET || entry->ai_family == AF_INET6) &&
        entry->ai_addr != nullptr && entry->ai_addrlen <= sizeof(sockaddr_storage)) {
      Endpoint e;
      std::memcpy(&e.address, entry->ai_addr, entry->ai_addrlen);
      e.length = entry->ai_addrlen;
      if (entry->ai_family == AF_INET6) {
        reinterpret_cast<sockaddr_in6*>(&e.address)->sin6_port = htons(port);
      } else {
        reinterpret_cast<sockaddr_in*>(&e.address)->sin_port = htons(port);
      }
      addresses.push_back(e);
    }
  }
  ::freeaddrinfo(answer);
  return addresses.empty() ? 11004 : 0;  // 11004: a name without an address
}

HostLookup::HostLookup(const QString& name, uint16_t port) : state_(std::make_shared<State>()) {
  state_->name = name.toStdString();
  state_->port = port;
  state_->eventDescriptor = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (state_->eventDescriptor == -1) {
    throw NetworkError(NetworkCodeFromErrno(errno));
  }
  try {
    // The thread holds its own reference: an abandoned lookup outlives this
    // object and ends quietly.
    std::thread([state = state_] {
      std::vector<Endpoint> addresses;
      state->error = ResolveNow(QString::fromStdString(state->name), state->port, addresses);
      state->addresses = std::move(addresses);
      state->done.store(true, std::memory_order_release);
      const uint64_t one = 1;
      [[maybe_unused]] const ssize_t written = ::write(state->eventDescriptor, &one, sizeof one);
    }).detach();
  } catch (const std::system_error&) {
    throw NetworkError(10055);
  }
}

HostLookup::~HostLookup() = default;

bool HostLookup::Done() const {
  return state_->done.load(std::memory_order_acquire);
}

int HostLookup::Descriptor() const {
  return state_->eventDescriptor;
}

uint16_t HostLookup::Error() const {
  return state_->error;
}

const std::vector<Endpoint>& HostLookup::Addresses() const {
  return state_->addresses;
}

}  // namespace velmar
