#pragma once

#include <memory>
#include <vector>

#include "metrics/metrics_server.h"

namespace velmar {

namespace agent {
class LinkReader;
struct LinkInfo;
}  // namespace agent

// This computer's interfaces as the kernel counts them, read when a scrape
// asks (one routing netlink dump), never on the meter's tick: the figures
// match `ip -s link`, and a restart of the meter loses nothing.
class KernelInterfaces : public InterfaceSource {
 public:
  KernelInterfaces();
  ~KernelInterfaces() override;

  void Gather(Done done, int timeoutMs) override;

  // The figures of one link: packets the kernel counts as multicast apart,
  // the rest of the received ones as unicast; sent packets all as unicast
  // (the kernel does not tell their kinds apart).
  static InterfaceFigures FiguresOf(const agent::LinkInfo& link);

 private:
  std::unique_ptr<agent::LinkReader> reader_;
};

}  // namespace velmar
