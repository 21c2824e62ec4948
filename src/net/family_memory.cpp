#include "net/family_memory.h"

#include <sys/socket.h>

namespace velmar {

FamilyMemory& FamilyMemory::Shared() {
  static FamilyMemory memory;
  return memory;
}

int FamilyMemory::FirstFamily(const QString& name) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto it = winners_.constFind(name.toLower());
  if (it == winners_.constEnd() || clock_() - it->at >= kLifetime) {
    return AF_INET6;
  }
  return it->family;
}

void FamilyMemory::Remember(const QString& name, int family) {
  const std::lock_guard<std::mutex> lock(mutex_);
  winners_.insert(name.toLower(), Winner{family, clock_()});
}

}  // namespace velmar
