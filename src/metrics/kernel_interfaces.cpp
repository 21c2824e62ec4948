#include "metrics/kernel_interfaces.h"

#include <net/if.h>

#include <chrono>

#include "agent/kernel_tables.h"
#include "interfaces/interface_name.h"

namespace velmar {

KernelInterfaces::KernelInterfaces() : reader_(std::make_unique<agent::LinkReader>()) {}

KernelInterfaces::~KernelInterfaces() = default;

InterfaceFigures KernelInterfaces::FiguresOf(const agent::LinkInfo& link) {
  InterfaceFigures f;
  f.index = link.index;
  // Named as the adapter list names it: bytes that are no UTF-8 escaped.
  f.name = InterfaceNameFromOctets(link.name.data(), link.name.size());
  f.counters[InterfaceFigures::kReceiveBytes] = link.rxBytes;
  f.counters[InterfaceFigures::kTransmitBytes] = link.txBytes;
  f.counters[InterfaceFigures::kReceiveUnicast] =
      link.rxPackets > link.rxMulticast ? link.rxPackets - link.rxMulticast : 0;
  f.counters[InterfaceFigures::kReceiveMulticast] = link.rxMulticast;
  f.counters[InterfaceFigures::kTransmitUnicast] = link.txPackets;
  f.counters[InterfaceFigures::kReceiveErrors] = link.rxErrors;
  f.counters[InterfaceFigures::kTransmitErrors] = link.txErrors;
  f.counters[InterfaceFigures::kReceiveDiscards] = link.rxDropped;
  f.counters[InterfaceFigures::kTransmitDiscards] = link.txDropped;
  f.operStatus = agent::IfOperStatus(link.operState, link.flags);
  f.adminStatus = (link.flags & IFF_UP) != 0 ? 1 : 2;
  if (link.speedBitsPerSecond > 0) {
    f.speedBitsPerSecond = link.speedBitsPerSecond;
  }
  f.mtu = link.mtu;
  return f;
}

void KernelInterfaces::Gather(Done done, int /*timeoutMs*/) {
  const auto start = std::chrono::steady_clock::now();
  InterfaceGathering gathering;
  for (const agent::LinkInfo& link : reader_->Read()) {
    gathering.interfaces.push_back(FiguresOf(link));
  }
  gathering.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  done(gathering);
}

}  // namespace velmar
