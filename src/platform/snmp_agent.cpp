#include "platform/snmp_agent.h"

namespace velmar {

SnmpAgent::Failure SnmpAgent::Start(const std::string& path, uint32_t tickCount,
                                    const SnmpRemoteSource* source) {
  Unload();
  if (!library_.Load(path)) {
    return Failure::kNotLoaded;
  }
  auto init = reinterpret_cast<PFNSNMPEXTENSIONINIT>(library_.Symbol(SNMP_EXTENSION_INIT_NAME));
  auto query = reinterpret_cast<PFNSNMPEXTENSIONQUERY>(library_.Symbol(SNMP_EXTENSION_QUERY_NAME));
  if (init == nullptr || query == nullptr) {
    return Failure::kNoEntryPoints;
  }
  lastError_ =
      reinterpret_cast<PFNSNMPEXTENSIONLASTERROR>(library_.Symbol(SNMP_EXTENSION_LAST_ERROR_NAME));
  if (source != nullptr) {
    auto configure =
        reinterpret_cast<PFNSNMPREMOTECONFIGURE>(library_.Symbol(SNMP_REMOTE_CONFIGURE_NAME));
    if (configure == nullptr) {
      return Failure::kNotRemote;
    }
    if (!configure(source)) {
      return Failure::kInitFailed;
    }
  }
  // An agent that fails its start may have begun some of it.
  close_ = reinterpret_cast<PFNSNMPEXTENSIONCLOSE>(library_.Symbol(SNMP_EXTENSION_CLOSE_NAME));
  if (!init(tickCount, &trapEvent_, &supportedView_)) {
    return Failure::kInitFailed;
  }
  query_ = query;
  return Failure::kNone;
}

void SnmpAgent::Unload() {
  // A library that runs threads must stop them here: unloading does not
  // (its thread-local answers keep it loaded), and the threads would run
  // on into the process's exit, when the libraries under them are gone.
  if (close_ != nullptr) {
    close_();
  }
  close_ = nullptr;
  query_ = nullptr;
  lastError_ = nullptr;
  library_.Unload();
}

}  // namespace velmar

namespace velmar {

std::string SnmpAgent::AgentError() const {
  if (lastError_ == nullptr) {
    return {};
  }
  char buffer[512];
  lastError_(buffer, sizeof buffer);
  return buffer;
}

}  // namespace velmar
