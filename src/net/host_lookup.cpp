#include "net/host_lookup.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <system_error>
#include <thread>

#include "net/socket_error.h"

namespace velmar {

struct HostLookup::State {
  std::string name;
  int eventDescriptor = -1;
  std::atomic<bool> done{false};
  uint16_t error = 0;
  uint32_t address = 0;

  ~State() {
    if (eventDescriptor != -1) {
      ::close(eventDescriptor);
    }
  }
};

uint16_t HostLookup::ResolveNow(const QString& name, uint32_t& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* answer = nullptr;
  const QByteArray text = name.toUtf8();
  const int result = ::getaddrinfo(text.constData(), nullptr, &hints, &answer);
  const int savedErrno = errno;
  if (result != 0) {
    return WinsockCodeFromAddrInfo(result, savedErrno);
  }
  uint16_t error = 11004;  // a name without an IPv4 address
  for (const addrinfo* entry = answer; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
      address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
      error = 0;
      break;
    }
  }
  ::freeaddrinfo(answer);
  return error;
}

HostLookup::HostLookup(const QString& name) : state_(std::make_shared<State>()) {
  state_->name = name.toStdString();
  state_->eventDescriptor = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (state_->eventDescriptor == -1) {
    throw WinsockError(WinsockCodeFromErrno(errno));
  }
  try {
    // The thread holds its own reference: an abandoned lookup outlives this
    // object and ends quietly.
    std::thread([state = state_] {
      uint32_t address = 0;
      const uint16_t error = ResolveNow(QString::fromStdString(state->name), address);
      state->error = error;
      state->address = address;
      state->done.store(true, std::memory_order_release);
      const uint64_t one = 1;
      [[maybe_unused]] const ssize_t written = ::write(state->eventDescriptor, &one, sizeof one);
    }).detach();
  } catch (const std::system_error&) {
    throw WinsockError(10055);
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

uint32_t HostLookup::Address() const {
  return state_->address;
}

}  // namespace velmar
