#pragma once

#include <QString>
#include <cstdint>
#include <memory>

namespace velmar {

// One name lookup (getaddrinfo, IPv4) run on a helper thread, so the GUI
// thread keeps its event loop while the resolver waits. Done() turns true,
// and Descriptor() becomes readable, when the answer is in. A lookup that
// is abandoned finishes on its own and frees itself.
class HostLookup {
 public:
  explicit HostLookup(const QString& name);
  ~HostLookup();
  HostLookup(const HostLookup&) = delete;
  HostLookup& operator=(const HostLookup&) = delete;

  bool Done() const;
  // Readable once Done.
  int Descriptor() const;
  // After Done: 0 and the address (network order), or the Winsock code.
  uint16_t Error() const;
  uint32_t Address() const;

  // The same lookup on the calling thread.
  static uint16_t ResolveNow(const QString& name, uint32_t& address);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace velmar
