#pragma once

#include <cstdint>
#include <string>

#include "platform/dynamic_library.h"
#include "platform/snmp_abi.h"

namespace velmar {

// An SNMP extension agent loaded at run time: the library, its two entry
// points, and the agent started. Unloaded when destroyed.
class SnmpAgent {
 public:
  SnmpAgent() = default;
  ~SnmpAgent() { Unload(); }
  SnmpAgent(const SnmpAgent&) = delete;
  SnmpAgent& operator=(const SnmpAgent&) = delete;

  enum class Failure {
    kNone,
    kNotLoaded,      // the library is missing or cannot be loaded (LastError says why)
    kNoEntryPoints,  // it lacks SnmpExtensionInit or SnmpExtensionQuery
    kInitFailed,     // SnmpExtensionInit said false
    kNotRemote,      // a source was given, but the library answers for this computer only
  };
  static constexpr const char* kUnavailable = "SNMP extension agent library is not available.";
  static constexpr const char* kInitError = "Error initializing SNMP extension agent.";

  // With a `source`, the library is first told which device to answer
  // for (it must export SnmpRemoteConfigure).
  Failure Start(const std::string& path, uint32_t tickCount,
                const SnmpRemoteSource* source = nullptr);
  // Stops the agent where it can be stopped, then unloads the library.
  void Unload();

  // Null until Start succeeded.
  PFNSNMPEXTENSIONQUERY Query() const { return query_; }
  const std::string& LastError() const { return library_.LastError(); }
  // The agent's own account of its latest failure, where it gives one
  // (a remote agent names the device and the cause); else empty.
  std::string AgentError() const;

 private:
  DynamicLibrary library_;
  PFNSNMPEXTENSIONQUERY query_ = nullptr;
  PFNSNMPEXTENSIONLASTERROR lastError_ = nullptr;
  PFNSNMPEXTENSIONCLOSE close_ = nullptr;
  // The agent's trap event and supported view; the meter uses neither.
  void* trapEvent_ = nullptr;
  AsnObjectIdentifier supportedView_{};
};

}  // namespace velmar
