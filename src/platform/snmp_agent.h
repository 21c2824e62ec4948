#pragma once

#include <cstdint>
#include <string>

#include "dynamic_library.h"
#include "snmp_abi.h"

namespace velmar {

// An SNMP extension agent loaded at run time: the library, its two entry
// points, and the agent started. Unloaded when destroyed.
class SnmpAgent {
 public:
  enum class Failure {
    kNone,
    kNotLoaded,      // the library is missing or cannot be loaded (LastError says why)
    kNoEntryPoints,  // it lacks SnmpExtensionInit or SnmpExtensionQuery
    kInitFailed,     // SnmpExtensionInit said false
  };
  static constexpr const char* kUnavailable = "SNMP extension agent library is not available.";
  static constexpr const char* kInitError = "Error initializing SNMP extension agent.";

  Failure Start(const std::string& path, uint32_t tickCount);
  void Unload() { library_.Unload(); }

  // Null until Start succeeded.
  PFNSNMPEXTENSIONQUERY Query() const { return query_; }
  const std::string& LastError() const { return library_.LastError(); }

 private:
  DynamicLibrary library_;
  PFNSNMPEXTENSIONQUERY query_ = nullptr;
  // The agent's trap event and supported view; the meter uses neither.
  void* trapEvent_ = nullptr;
  AsnObjectIdentifier supportedView_{};
};

}  // namespace velmar
