#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "net/endpoint.h"

namespace velmar {

// One name lookup (getaddrinfo, both address families) run on a helper
// thread, so the GUI thread keeps its event loop while the resolver waits.
// Done() turns true, and Descriptor() becomes readable, when the answer is
// in. A lookup that is abandoned finishes on its own and frees itself.
class HostLookup {
 public:
  HostLookup(const QString& name, uint16_t port);
  ~HostLookup();
  HostLookup(const HostLookup&) = delete;
  HostLookup& operator=(const HostLookup&) = delete;

  bool Done() const;
  // Readable once Done.
  int Descriptor() const;
  // After Done: 0 and the addresses in the resolver's order, or the
  // error number (NetworkError).
  uint16_t Error() const;
  const std::vector<Endpoint>& Addresses() const;

  // The same lookup on the calling thread.
  static uint16_t ResolveNow(const QString& name, uint16_t port, std::vector<Endpoint>& addresses);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace velmar
