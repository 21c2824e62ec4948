#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "remote_view.h"

namespace velmar::agent {

// Where a device is and how to speak to it, with the secrets. Kept only in
// the agent's memory.
struct RemoteSettings {
  std::string host;
  uint16_t port = 161;
  int version = 2;  // 2 = v2c, 3 = v3
  std::string community;
  std::string user;
  std::string securityLevel = "authPriv";
  std::string authProtocol = "SHA";
  std::string authPassphrase;
  std::string privProtocol = "AES";
  std::string privPassphrase;
  uint32_t timeoutMs = 1000;
};

// A failure to fetch, with a text for the person that names the device
// and the cause and never a secret.
class FetchError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One net-snmp session to a device, used from one thread at a time. Whole
// subtrees come with GETBULK, as many objects per request as the device's
// answer size allows.
class SnmpPoller {
 public:
  // Checks the settings (the protocols known, passphrases long enough);
  // raises FetchError otherwise. Opens no socket yet.
  explicit SnmpPoller(const RemoteSettings& settings);
  ~SnmpPoller();
  SnmpPoller(const SnmpPoller&) = delete;
  SnmpPoller& operator=(const SnmpPoller&) = delete;

  // Appends every object under `root` in MIB order to `out`. Raises
  // FetchError; on failure `out` may hold part of the subtree.
  void FetchSubtree(const std::vector<uint32_t>& root, std::vector<RemoteObject>& out);

  // "HOST:PORT", for messages.
  const std::string& Where() const { return where_; }

  // Requests sent since construction.
  uint64_t Requests() const { return requests_; }

  // Most objects one subtree may hold: a device that never ends a table
  // must not fill the memory.
  static constexpr size_t kMaxObjectsPerSubtree = 200000;

 private:
  void Open();
  void Close();

  struct Session;
  std::unique_ptr<Session> session_;
  std::string where_;
  std::string host_;
  uint16_t port_ = 161;
  int version_ = 2;
  uint32_t timeoutMs_ = 1000;
  long maxRepetitions_ = 40;
  uint64_t requests_ = 0;
};

}  // namespace velmar::agent
