#include "snmp_agent.h"

namespace velmar {

SnmpAgent::Failure SnmpAgent::Start(const std::string& path, uint32_t tickCount) {
  query_ = nullptr;
  if (!library_.Load(path)) {
    return Failure::kNotLoaded;
  }
  auto init = reinterpret_cast<PFNSNMPEXTENSIONINIT>(library_.Symbol(SNMP_EXTENSION_INIT_NAME));
  auto query = reinterpret_cast<PFNSNMPEXTENSIONQUERY>(library_.Symbol(SNMP_EXTENSION_QUERY_NAME));
  if (init == nullptr || query == nullptr) {
    return Failure::kNoEntryPoints;
  }
  if (!init(tickCount, &trapEvent_, &supportedView_)) {
    return Failure::kInitFailed;
  }
  query_ = query;
  return Failure::kNone;
}

}  // namespace velmar
