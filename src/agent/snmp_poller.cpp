// The only file that speaks net-snmp: its headers define the ASN tags as
// macros, so they stay out of everything that includes the agent ABI.
#include "agent/snmp_poller.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace velmar::agent {

namespace {

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    // A library inside the meter: no configuration files of the user or the
    // system, no MIB files, no state written to disk, no log on stderr.
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
    netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_MIBDIRS, "");
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_MIB_ERRORS, 0);
    netsnmp_ds_set_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_MIB_WARNINGS, 0);
    // Without any handler the library would fall back to stderr.
    snmp_disable_log();
    netsnmp_register_loghandler(NETSNMP_LOGHANDLER_NONE, LOG_DEBUG);
    init_snmp("velmar");
  });
}

// SNMPv3's user and engine tables are the library's globals, without a
// lock of their own: v3 sessions (the interface and the table pollers)
// take turns, one request at a time. v2c sessions share nothing.
std::mutex& V3Turns() {
  static std::mutex turns;
  return turns;
}

std::string Peer(const std::string& host, uint16_t port) {
  // An IPv6 address goes in brackets, as net-snmp's peer names want it.
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "udp6:[" + host + "]:" : "udp:" + host + ":") + std::to_string(port);
}

bool Increases(const oid* name, size_t length, const std::vector<uint32_t>& after) {
  const size_t n = std::min(length, after.size());
  for (size_t i = 0; i < n; ++i) {
    if (name[i] != after[i]) {
      return name[i] > after[i];
    }
  }
  return length > after.size();
}

bool Under(const oid* name, size_t length, const std::vector<uint32_t>& root) {
  if (length < root.size()) {
    return false;
  }
  for (size_t i = 0; i < root.size(); ++i) {
    if (name[i] != root[i]) {
      return false;
    }
  }
  return true;
}

// The value as the agent ABI carries it; false for kinds the meter has no
// use for (Opaque, NULL and the like), which the view leaves out.
bool Convert(const netsnmp_variable_list& v, RemoteObject& out) {
  out.type = v.type;
  switch (v.type) {
    case ASN_INTEGER:
      out.number = static_cast<uint32_t>(static_cast<int32_t>(*v.val.integer));
      return true;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
      out.number = static_cast<uint32_t>(*v.val.integer);
      return true;
    case ASN_COUNTER64:
      out.number = (static_cast<uint64_t>(v.val.counter64->high) << 32) |
                   static_cast<uint32_t>(v.val.counter64->low);
      return true;
    case ASN_OCTET_STR:
    case ASN_IPADDRESS:
      out.bytes.assign(reinterpret_cast<const char*>(v.val.string), v.val_len);
      return true;
    case ASN_OBJECT_ID: {
      const size_t n = v.val_len / sizeof(oid);
      out.object.assign(v.val.objid, v.val.objid + n);
      return true;
    }
    default:
      return false;
  }
}

// After a request went unanswered: true when the host says that nothing
// listens on the port (an ICMP port unreachable, which only a connected
// socket hears). An empty datagram is no SNMP message, so an agent that
// does listen just drops it.
bool NothingListens(const std::string& host, uint16_t port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
    return false;
  }
  bool refused = false;
  const int fd = socket(found->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, found->ai_addr, found->ai_addrlen) == 0 && send(fd, "", 0, 0) == 0) {
    pollfd p{fd, POLLIN, 0};
    char byte;
    if (poll(&p, 1, 200) > 0 && recv(fd, &byte, 1, MSG_DONTWAIT) < 0 && errno == ECONNREFUSED) {
      refused = true;
    }
  }
  if (fd >= 0) {
    close(fd);
  }
  freeaddrinfo(found);
  return refused;
}

// One object of a walk of `walk.root`: appends it to `out` and moves the
// cursor; false when it lies past the subtree (an end of the MIB view, no
// such object or instance, a name outside), which ends this walk alone.
bool TakeObject(const netsnmp_variable_list& v, SubtreeWalk& walk, const std::string& where,
                std::vector<RemoteObject>& out) {
  if (v.type == SNMP_ENDOFMIBVIEW || v.type == SNMP_NOSUCHOBJECT || v.type == SNMP_NOSUCHINSTANCE ||
      !Under(v.name, v.name_length, walk.root)) {
    return false;
  }
  // The agent ABI's names have 32-bit sub-identifiers: a longer one
  // would be cut, and the cut name could sort before the ones taken.
  if (std::any_of(v.name, v.name + v.name_length, [](oid id) { return id > UINT32_MAX; })) {
    throw FetchError("The device at " + where +
                     " answered a name with a sub-identifier beyond 32 bits.");
  }
  if (!Increases(v.name, v.name_length, walk.cursor)) {
    throw FetchError("The device at " + where +
                     " answered out of order: its walk does not move forward.");
  }
  if (++walk.fetched > SnmpPoller::kMaxObjectsPerSubtree) {
    throw FetchError("The device at " + where + " sends a table of more than " +
                     std::to_string(SnmpPoller::kMaxObjectsPerSubtree) + " objects.");
  }
  walk.cursor.assign(v.name, v.name + v.name_length);
  RemoteObject object;
  if (Convert(v, object)) {
    object.name = walk.cursor;
    out.push_back(std::move(object));
  }
  return true;
}

void CheckStatus(const netsnmp_pdu& response, const std::string& where) {
  if (response.errstat != SNMP_ERR_NOERROR) {
    throw FetchError("The device at " + where + " answered with an error: " +
                     snmp_errstring(static_cast<int>(response.errstat)));
  }
}

}  // namespace

bool TakeAnswer(const netsnmp_pdu& response, SubtreeWalk& walk, const std::string& where,
                std::vector<RemoteObject>& out) {
  CheckStatus(response, where);
  if (response.variables == nullptr) {
    return false;
  }
  for (const netsnmp_variable_list* v = response.variables; v != nullptr; v = v->next_variable) {
    if (!TakeObject(*v, walk, where, out)) {
      return false;
    }
  }
  return true;
}

size_t TakeColumnsAnswer(const snmp_pdu& response, std::vector<SubtreeWalk>& walks,
                         const std::string& where, std::vector<RemoteObject>& out) {
  CheckStatus(response, where);
  const size_t count = walks.size();
  std::vector<bool> ended(count, response.variables == nullptr);
  // Repetition r of walk i is the (r * count + i)th object; an agent that
  // shortens the answer cuts it after any object, even within a repetition.
  size_t k = 0;
  for (const netsnmp_variable_list* v = response.variables; v != nullptr;
       v = v->next_variable, ++k) {
    const size_t i = k % count;
    if (!ended[i] && !TakeObject(*v, walks[i], where, out)) {
      ended[i] = true;
    }
  }
  std::vector<SubtreeWalk> going;
  for (size_t i = 0; i < count; ++i) {
    if (!ended[i]) {
      going.push_back(std::move(walks[i]));
    }
  }
  walks = std::move(going);
  return count - walks.size();
}

struct SnmpPoller::Session {
  netsnmp_session settings{};
  std::string peer;
  std::string community;
  std::string user;
  void* handle = nullptr;
};

SnmpPoller::SnmpPoller(const RemoteSettings& settings)
    : session_(std::make_unique<Session>()),
      version_(settings.version),
      timeoutMs_(settings.timeoutMs == 0 ? 1000 : settings.timeoutMs) {
  InitLibrary();
  NameDevice(settings);
  if (settings.version == 2) {
    UseCommunity(settings);
  } else if (settings.version == 3) {
    UseUser(settings);
  } else {
    throw FetchError("SNMP version " + std::to_string(settings.version) +
                     " is not supported: use 2c or 3.");
  }
}

void SnmpPoller::NameDevice(const RemoteSettings& settings) {
  if (settings.host.empty()) {
    throw FetchError("No device is named: give its host name or address.");
  }
  host_ = settings.host;
  port_ = settings.port == 0 ? 161 : settings.port;
  where_ = (host_.find(':') != std::string::npos ? "[" + host_ + "]" : host_) + ":" +
           std::to_string(port_);
  Session& s = *session_;
  s.peer = Peer(host_, port_);
  snmp_sess_init(&s.settings);
  s.settings.peername = s.peer.data();
  s.settings.timeout = static_cast<long>(timeoutMs_) * 1000;
  s.settings.retries = 0;
}

void SnmpPoller::UseCommunity(const RemoteSettings& settings) {
  if (settings.community.empty()) {
    throw FetchError("SNMPv2c needs a community for " + where_ +
                     ": give it on a community= line of the --snmp-secrets file (mode 0600), "
                     "or in the device dialog.");
  }
  Session& s = *session_;
  s.community = settings.community;
  s.settings.version = SNMP_VERSION_2c;
  s.settings.community = reinterpret_cast<u_char*>(s.community.data());
  s.settings.community_len = s.community.size();
}

void SnmpPoller::UseUser(const RemoteSettings& settings) {
  if (settings.user.empty()) {
    throw FetchError("SNMPv3 needs a user name for " + where_ +
                     ": give it with --snmp-user, or in the device dialog.");
  }
  Session& s = *session_;
  s.user = settings.user;
  s.settings.version = SNMP_VERSION_3;
  s.settings.securityName = s.user.data();
  s.settings.securityNameLen = s.user.size();
  const std::string& level = settings.securityLevel;
  if (level == "noAuthNoPriv") {
    s.settings.securityLevel = SNMP_SEC_LEVEL_NOAUTH;
    return;
  }
  if (level != "authNoPriv" && level != "authPriv") {
    throw FetchError("Unknown SNMPv3 security level '" + level + "' for " + where_ +
                     ": use noAuthNoPriv, authNoPriv or authPriv.");
  }
  s.settings.securityLevel =
      level == "authPriv" ? SNMP_SEC_LEVEL_AUTHPRIV : SNMP_SEC_LEVEL_AUTHNOPRIV;
  UseAuthentication(settings);
  if (level == "authPriv") {
    UsePrivacy(settings);
  }
}

void SnmpPoller::UseAuthentication(const RemoteSettings& settings) {
  Session& s = *session_;
  const int auth = usm_lookup_auth_type(settings.authProtocol.c_str());
  size_t authLength = 0;
  const oid* authOid = auth < 0 ? nullptr : sc_get_auth_oid(auth, &authLength);
  // MD5 is weak, but many older devices know nothing else.
  if (authOid == nullptr || auth == NETSNMP_USMAUTH_NOAUTH) {
    throw FetchError("Unknown SNMPv3 authentication protocol '" + settings.authProtocol + "' for " +
                     where_ + ": use SHA, SHA-224, SHA-256, SHA-384, SHA-512 or (weak) MD5.");
  }
  s.settings.securityAuthProto = snmp_duplicate_objid(authOid, authLength);
  s.settings.securityAuthProtoLen = authLength;
  s.settings.securityAuthKeyLen = USM_AUTH_KU_LEN;
  DeriveKey(settings.authPassphrase, "authentication", s.settings.securityAuthKey,
            &s.settings.securityAuthKeyLen);
}

void SnmpPoller::UsePrivacy(const RemoteSettings& settings) {
  Session& s = *session_;
  const int priv = usm_lookup_priv_type(settings.privProtocol.c_str());
  size_t privLength = 0;
  const oid* privOid = priv < 0 ? nullptr : sc_get_priv_oid(priv, &privLength);
  // DES is weak, but many older devices know nothing else.
  if (privOid == nullptr || ((priv & USM_PRIV_MASK_ALG) != USM_CREATE_USER_PRIV_AES &&
                             (priv & USM_PRIV_MASK_ALG) != USM_CREATE_USER_PRIV_DES)) {
    throw FetchError("Unknown SNMPv3 privacy protocol '" + settings.privProtocol + "' for " +
                     where_ + ": use AES, AES-192, AES-256 or (weak) DES.");
  }
  s.settings.securityPrivProto = snmp_duplicate_objid(privOid, privLength);
  s.settings.securityPrivProtoLen = privLength;
  s.settings.securityPrivKeyLen = USM_PRIV_KU_LEN;
  DeriveKey(settings.privPassphrase, "privacy", s.settings.securityPrivKey,
            &s.settings.securityPrivKeyLen);
}

void SnmpPoller::DeriveKey(const std::string& passphrase, const char* what, unsigned char* into,
                           size_t* length) {
  const bool privacy = std::string(what) == "privacy";
  if (passphrase.size() < USM_LENGTH_P_MIN) {
    throw FetchError(std::string("The SNMPv3 ") + what + " passphrase for " + where_ +
                     " is too short (" + std::to_string(USM_LENGTH_P_MIN) +
                     " characters at least): set it on the " + (privacy ? "priv=" : "auth=") +
                     " line of the --snmp-secrets file, or in the device dialog.");
  }
  Session& s = *session_;
  std::string copy = passphrase;
  const int result = generate_Ku(s.settings.securityAuthProto, s.settings.securityAuthProtoLen,
                                 reinterpret_cast<u_char*>(copy.data()), copy.size(), into, length);
  std::fill(copy.begin(), copy.end(), '\0');
  if (result != SNMPERR_SUCCESS) {
    throw FetchError(std::string("Cannot derive the SNMPv3 ") + what + " key.");
  }
}

SnmpPoller::~SnmpPoller() {
  {
    auto turn = Turn();
    Close();
  }
  Session& s = *session_;
  SNMP_FREE(s.settings.securityAuthProto);
  SNMP_FREE(s.settings.securityPrivProto);
  // The keys are secrets too.
  std::memset(s.settings.securityAuthKey, 0, sizeof s.settings.securityAuthKey);
  std::memset(s.settings.securityPrivKey, 0, sizeof s.settings.securityPrivKey);
  std::fill(s.community.begin(), s.community.end(), '\0');
}

void SnmpPoller::Open() {
  if (session_->handle != nullptr) {
    return;
  }
  session_->handle = snmp_sess_open(&session_->settings);
  if (session_->handle == nullptr) {
    int libraryError = 0;
    int systemError = 0;
    char* text = nullptr;
    snmp_error(&session_->settings, &libraryError, &systemError, &text);
    const std::string reason = text != nullptr ? text : "unknown error";
    SNMP_FREE(text);
    // Mostly a name that does not resolve (yet: at log-in the network may
    // still be coming up).
    throw FetchError("Cannot open an SNMP session to " + where_ + ": " + reason,
                     FetchError::Kind::kAbsent);
  }
}

std::unique_lock<std::mutex> SnmpPoller::Turn() const {
  return version_ == 3 ? std::unique_lock(V3Turns()) : std::unique_lock<std::mutex>();
}

void SnmpPoller::Close() {
  if (session_->handle != nullptr) {
    snmp_sess_close(session_->handle);
    session_->handle = nullptr;
  }
}

snmp_pdu* SnmpPoller::Exchange(snmp_pdu* request, std::unique_lock<std::mutex>& turn) {
  netsnmp_pdu* response = nullptr;
  ++requests_;
  const int status = snmp_sess_synch_response(session_->handle, request, &response);
  // An SNMPv3 request that went unanswered fails as an error of the
  // library (its engine discovery timed out), not as a time-out: it is
  // one all the same, and never a refusal of the credentials.
  bool timedOut = status == STAT_TIMEOUT;
  if (status == STAT_ERROR) {
    int systemError = 0;
    int snmpError = 0;
    char* text = nullptr;
    snmp_sess_error(session_->handle, &systemError, &snmpError, &text);
    SNMP_FREE(text);
    timedOut = snmpError == SNMPERR_TIMEOUT;
  }
  if (timedOut) {
    if (response != nullptr) {
      snmp_free_pdu(response);
    }
    // A session that timed out may hold half an exchange (a v3 engine
    // discovery): the next poll starts afresh.
    Close();
    turn = {};
    if (NothingListens(host_, port_)) {
      throw FetchError("Nothing listens for SNMP at " + where_ + " (the port is closed).",
                       FetchError::Kind::kAbsent);
    }
    throw FetchError("No answer from " + where_ + " within " + std::to_string(timeoutMs_) +
                         " ms: the device is off or unreachable" +
                         (version_ == 2 ? ", or it does not accept this community." : "."),
                     FetchError::Kind::kAbsent);
  }
  if (status != STAT_SUCCESS || response == nullptr) {
    if (response != nullptr) {
      snmp_free_pdu(response);
    }
    int libraryError = 0;
    int systemError = 0;
    char* text = nullptr;
    snmp_sess_error(session_->handle, &libraryError, &systemError, &text);
    const std::string reason = text != nullptr && *text != '\0' ? text : "the request failed";
    SNMP_FREE(text);
    Close();
    throw FetchError("The device at " + where_ + " refused the request: " + reason +
                     (version_ == 3
                          ? " (check the SNMPv3 user, security level, protocols and passphrases "
                            "against the device's)."
                          : "."));
  }
  return response;
}

void SnmpPoller::Get(const std::vector<std::vector<uint32_t>>& names,
                     std::vector<RemoteObject>& out,
                     std::chrono::steady_clock::time_point& arrived) {
  out.assign(names.size(), RemoteObject{});
  for (size_t first = 0; first < names.size(); first += kMaxGetNames) {
    if (cancelled_) {
      throw FetchError("The fetch from " + where_ + " was stopped.");
    }
    const size_t end = std::min(names.size(), first + kMaxGetNames);
    auto turn = Turn();
    Open();
    netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GET);
    for (size_t i = first; i < end; ++i) {
      std::vector<oid> name(names[i].begin(), names[i].end());
      snmp_add_null_var(request, name.data(), name.size());
    }
    std::unique_ptr<netsnmp_pdu, void (*)(netsnmp_pdu*)> response(Exchange(request, turn),
                                                                  snmp_free_pdu);
    arrived = std::chrono::steady_clock::now();
    if (response->errstat != SNMP_ERR_NOERROR) {
      // An SNMPv1-style refusal of one name (noSuchName) fails the whole
      // request; SNMPv2 agents answer each name on its own.
      throw FetchError("The device at " + where_ + " answered with an error: " +
                       snmp_errstring(static_cast<int>(response->errstat)));
    }
    size_t i = first;
    for (const netsnmp_variable_list* v = response->variables; v != nullptr && i < end;
         v = v->next_variable, ++i) {
      if (v->type == ASN_NULL) {
        // An agent says what it has not; a bare NULL is the request echoed.
        throw FetchError("The device at " + where_ +
                         " answered without values: it is no SNMP agent, or a broken one.");
      }
      RemoteObject object;
      if (v->type != SNMP_NOSUCHOBJECT && v->type != SNMP_NOSUCHINSTANCE &&
          v->type != SNMP_ENDOFMIBVIEW && Convert(*v, object)) {
        object.name = names[i];
        out[i] = std::move(object);
      }
    }
  }
}

bool SnmpPoller::Next(const std::vector<uint32_t>& name, RemoteObject& out) {
  auto turn = Turn();
  Open();
  netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GETNEXT);
  std::vector<oid> asked(name.begin(), name.end());
  snmp_add_null_var(request, asked.data(), asked.size());
  std::unique_ptr<netsnmp_pdu, void (*)(netsnmp_pdu*)> response(Exchange(request, turn),
                                                                snmp_free_pdu);
  if (response->errstat == SNMP_ERR_NOSUCHNAME) {
    return false;  // SNMPv1's end of the view
  }
  SubtreeWalk walk{{}, name, 0};
  std::vector<RemoteObject> taken;
  // Every name is under the empty root: a walk of the whole tree.
  if (!TakeAnswer(*response, walk, where_, taken)) {
    return false;
  }
  if (taken.empty()) {
    // A value of a kind the view leaves out: go on past it.
    return Next(walk.cursor, out);
  }
  out = std::move(taken.front());
  return true;
}

void SnmpPoller::FetchSubtree(const std::vector<uint32_t>& root, std::vector<RemoteObject>& out) {
  // One column of one: the same requests, TOOBIG halving and stop.
  FetchColumns({root}, out);
}

void SnmpPoller::FetchColumns(const std::vector<std::vector<uint32_t>>& roots,
                              std::vector<RemoteObject>& out) {
  for (size_t first = 0; first < roots.size(); first += kMaxGetNames) {
    std::vector<SubtreeWalk> going;
    for (size_t i = first; i < std::min(roots.size(), first + kMaxGetNames); ++i) {
      going.push_back({roots[i], roots[i], 0});
    }
    while (!going.empty()) {
      // A table of thousands of rows takes hundreds of requests: a meter
      // that stops must not wait for all of them.
      if (cancelled_) {
        throw FetchError("The fetch from " + where_ + " was stopped.");
      }
      const long repetitions = RepetitionsFor(going);
      auto turn = Turn();
      Open();
      netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GETBULK);
      request->non_repeaters = 0;
      request->max_repetitions = repetitions;
      for (const SubtreeWalk& walk : going) {
        std::vector<oid> name(walk.cursor.begin(), walk.cursor.end());
        snmp_add_null_var(request, name.data(), name.size());
      }
      std::unique_ptr<netsnmp_pdu, void (*)(netsnmp_pdu*)> response(Exchange(request, turn),
                                                                    snmp_free_pdu);
      if (response->errstat == SNMP_ERR_TOOBIG && repetitions > 1) {
        maxRepetitions_ = std::max(1L, repetitions / 2);
        continue;
      }
      TakeColumnsAnswer(*response, going, where_, out);
    }
  }
}

long SnmpPoller::RepetitionsFor(const std::vector<SubtreeWalk>& walks) const {
  // An object of an interface table: its name (the column's and an index
  // of a few bytes), a value of up to a Counter64 and the BER headers.
  size_t objectBytes = 0;
  for (const SubtreeWalk& walk : walks) {
    objectBytes += walk.root.size() + 4 + 11 + 6;
  }
  const auto fitting = static_cast<long>(kBulkAnswerBytes / std::max<size_t>(1, objectBytes));
  return std::clamp(fitting, 1L, maxRepetitions_);
}

}  // namespace velmar::agent
