#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "agent/remote_view.h"

struct SnmpRemoteSource;  // platform/snmp_abi.h, kept apart from net-snmp's names

// net-snmp's PDU (netsnmp_pdu), named here without its headers.
struct snmp_pdu;

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
  uint32_t tableWaitMs = 0;  // see SnmpRemoteSource

  // The settings a caller handed over the library's C interface, with the
  // defaults for what it left empty or 0.
  static RemoteSettings From(const SnmpRemoteSource& source);
};

// A failure to fetch, with a text for the person that names the device
// and the cause and never a secret.
class FetchError : public std::runtime_error {
 public:
  enum class Kind {
    kFault,   // wrong settings or a wrong answer: asking again will not help
    kAbsent,  // no answer or no such host yet: a device that is off, or a
              // network not up, may answer later
  };
  explicit FetchError(const std::string& what, Kind kind = Kind::kFault)
      : std::runtime_error(what), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

// Where the walk of a subtree stands between two GETBULK answers.
struct SubtreeWalk {
  std::vector<uint32_t> root;
  std::vector<uint32_t> cursor;  // the last name taken, the root at first
  size_t fetched = 0;
};

// Takes one answer of a walk of `walk.root` (not a tooBig one the caller
// retries smaller): appends its objects to `out` and moves the cursor.
// False when the subtree is done (an empty answer, an end of the MIB view,
// no such object or instance, a name past the subtree); raises FetchError
// naming `where` for an error status, a walk that does not move forward or
// a subtree of more than kMaxObjectsPerSubtree objects.
bool TakeAnswer(const snmp_pdu& response, SubtreeWalk& walk, const std::string& where,
                std::vector<RemoteObject>& out);

// Takes one answer of a GETBULK that asked for the next names of every
// walk of `walks`, in that order: appends the objects to `out`, moves the
// cursors and drops from `walks` the walks that are done (each on its own:
// a column that ends leaves the others going; an empty answer ends them
// all). An answer of fewer repetitions than asked, even one cut within a
// repetition, is taken as far as it goes. Returns how many walks ended;
// raises FetchError as TakeAnswer does.
size_t TakeColumnsAnswer(const snmp_pdu& response, std::vector<SubtreeWalk>& walks,
                         const std::string& where, std::vector<RemoteObject>& out);

// One net-snmp session to a device, used from one thread at a time (others
// may use sessions of their own meanwhile). Whole
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

  // Walks the subtrees of `roots` (a table's columns) side by side: each
  // GETBULK names the next object of every subtree still going, with as
  // many repetitions as fit an answer of about kBulkAnswerBytes, so a
  // table takes about as many requests as one column would. Appends each
  // subtree's objects in its MIB order, the subtrees interleaved. Raises
  // FetchError; on failure `out` may hold part of the subtrees.
  void FetchColumns(const std::vector<std::vector<uint32_t>>& roots,
                    std::vector<RemoteObject>& out);

  // One GET of `names` (as many requests as kMaxGetNames allows), in
  // order: an object of type 0 where the device has no such object.
  // `arrived` is when the last answer came. Raises FetchError.
  void Get(const std::vector<std::vector<uint32_t>>& names, std::vector<RemoteObject>& out,
           std::chrono::steady_clock::time_point& arrived);
  // The first object after `name` (one GETNEXT); false past the end of the
  // device's view. Raises FetchError.
  bool Next(const std::vector<uint32_t>& name, RemoteObject& out);

  // Makes a fetch running on another thread end after the request in
  // flight (with FetchError), and every later one at once.
  void Cancel() { cancelled_ = true; }

  // "HOST:PORT", for messages.
  const std::string& Where() const { return where_; }

  // Requests sent since construction.
  uint64_t Requests() const { return requests_; }

  // Names one GET request carries at most: a reply of this many counters
  // stays well inside one datagram of the usual 1,472 bytes.
  static constexpr size_t kMaxGetNames = 40;

  // Most objects one subtree may hold: a device that never ends a table
  // must not fill the memory.
  static constexpr size_t kMaxObjectsPerSubtree = 200000;

  // The answer FetchColumns asks for at most: a few datagrams' worth, far
  // below what net-snmp receives (64 KiB), which an agent of a smaller
  // limit shortens by repetitions as RFC 3416 lets it.
  static constexpr size_t kBulkAnswerBytes = 8192;

 private:
  // Held around every use of the session that may touch the library's
  // shared state.
  std::unique_lock<std::mutex> Turn() const;
  // The constructor's steps: where the device is, then its credentials.
  void NameDevice(const RemoteSettings& settings);
  void UseCommunity(const RemoteSettings& settings);
  void UseUser(const RemoteSettings& settings);
  void UseAuthentication(const RemoteSettings& settings);
  void UsePrivacy(const RemoteSettings& settings);
  // Localizes `passphrase` into a key with the authentication protocol
  // chosen; raises FetchError for one too short.
  void DeriveKey(const std::string& passphrase, const char* what, unsigned char* into,
                 size_t* length);
  // The max-repetitions of a GETBULK that names the next object of each of
  // `walks`.
  long RepetitionsFor(const std::vector<SubtreeWalk>& walks) const;
  void Open();
  void Close();
  // Sends `request` (freed here) and returns the answer, owned by the
  // caller; raises FetchError for no answer or a refusal.
  snmp_pdu* Exchange(snmp_pdu* request, std::unique_lock<std::mutex>& turn);

  struct Session;
  std::unique_ptr<Session> session_;
  std::string where_;
  std::string host_;
  uint16_t port_ = 161;
  int version_ = 2;
  uint32_t timeoutMs_ = 1000;
  long maxRepetitions_ = 40;
  uint64_t requests_ = 0;
  std::atomic<bool> cancelled_{false};
};

}  // namespace velmar::agent
